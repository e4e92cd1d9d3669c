#pragma once
// The viewer's parts for the shared shell: the document, the view model and
// the view widget, and the routing of the viewer's commands to them.
#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/shell/program.h"
#include "viewer/model/viewer_document.h"
#include "viewer/model/viewer_view.h"

class QFileDialog;
class QPrinter;

namespace kv::print {
struct RealSizeRequest;
}

namespace kv::viewer {

class KovalindraViewWidget;
class ToolboxWindow;

// What tests replace: the message boxes, the settings folders and the two
// modal questions (file to open, calibration length).
struct PartsOptions {
  platform::MessageService* messages = nullptr;  // null: the frame's
  std::optional<SettingsLocation> settings;       // unset: program folder, user config folder
  std::function<std::optional<std::string>()> chooseFile;  // unset: the open dialog
  std::function<std::optional<int32_t>()> askLength;       // unset: the length dialog
  // Called with the open "調整" dialog before it runs (tests drive it).
  std::function<void(QDialog&)> onAdjustDialog;
  std::function<std::optional<std::string>()> choosePdfPath;  // unset: the save dialog
  // Sets the printer up in place of the print dialog; false cancels.
  std::function<bool(QPrinter&)> setUpPrinter;
};

class KovalindraParts : public shell::ProgramParts {
 public:
  KovalindraParts(shell::AppContext& context, PartsOptions options);
  ~KovalindraParts() override;

  platform::DocumentBase& Document() override { return doc_; }
  QWidget* CreateView(QWidget* parent) override;
  bool OnNewDocument() override;
  bool OnOpenDocument(const std::string& path) override;
  bool OpensInBackground() const override { return doc_.Session().Async(); }
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, shell::CommandUi& ui) override;
  void OnFrameCreated() override;
  void OnFrameClosing() override;

  KovalindraDoc& Doc() { return doc_; }
  KovalindraView& View();
  KovalindraViewWidget* Widget() { return widget_; }
  ToolboxWindow* Toolbox();

 private:
  void OpenWithDialog();
  void StartCustomCalibration();
  void Adjust(bool brightness);
  // Before a calibration over lengthMm: a window too narrow for it is
  // offered to be maximised.
  // False when the user cancelled the calibration (Esc).
  bool MakeRoomForCalibration(int32_t lengthMm);
  void SetToolboxCaption(const std::string& utf8);
  // The photo on paper at the current registration's real size. A photo
  // without a usable registration is refused with a message before any
  // dialog, headed by `what` could not be done.
  bool CheckPrintable(const std::string& what);
  print::RealSizeRequest PrintRequest();
  void Print();
  void ExportPdf();

  shell::AppContext& context_;
  PartsOptions options_;
  platform::Services services_;
  KovalindraDoc doc_;
  // Owned by the frame, but deleted with the parts: its view model is
  // registered with the document.
  QPointer<KovalindraViewWidget> widget_;
  QPointer<ToolboxWindow> toolbox_;
  bool initialised_ = false;
};

std::unique_ptr<shell::ProgramParts> CreateKovalindraPartsWith(shell::AppContext& context,
                                                               PartsOptions options);

// Where the settings live for the running program.
SettingsLocation DefaultSettingsLocation(const shell::AppContext& context);

// The viewer's own open dialog, starting in `folder` with "*.kvi" as its
// file name and our name for the type of ".kvi" files.
std::unique_ptr<QFileDialog> MakePhotoOpenDialog(QWidget* parent, const QString& folder);

}  // namespace kv::viewer
