#pragma once
// The authoring tool's parts for the shared shell: the document, the view
// widget with its view model and tool windows, and the routing of the
// import, registration, publishing and preview commands.
#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "authoring/model/kovasand_document.h"
#include "foundation/shell/program.h"

namespace kv::authoring {

class KovasandViewWidget;

// The status bar pane that shows the view's scale.
inline constexpr int kScalePane = 5;

// What tests replace: message boxes, the program and temporary folders, and
// every modal question and the preview's way to the viewer.
struct PartsOptions {
  platform::MessageService* messages = nullptr;  // null: the frame's
  std::string programFolder;                     // empty: the program's own folder
  std::string userFolder;  // unset with programFolder: the user's config folder; else none
  std::string tempRoot;                          // empty: $TMPDIR or /tmp
  std::function<std::optional<std::string>()> chooseJpeg;     // unset: the open dialog
  std::function<bool(const QString& link)> confirmLink;       // unset: the link dialog
  std::function<std::optional<std::string>()> chooseKviPath;  // unset: the save dialog
  std::function<std::optional<std::string>()> chooseWebFolder;  // unset: the folder dialog
  std::function<std::optional<int32_t>(int32_t imageLengthPx)> askLength;  // unset: "完了"
  std::function<bool(const std::string& path)> openPreview;   // unset: desktop, else viewer
  // Editing a registration's length: (image length, current length).
  std::function<std::optional<int32_t>(int32_t, int32_t)> askEditLength;  // unset: the dialog
  // Called with the open "ﾛｺﾞとﾘﾝｸ先の設定" dialog before it runs (tests).
  std::function<void(QDialog&)> onProgramFilesDialog;
};

class KovasandParts : public shell::ProgramParts, private platform::ViewBase {
 public:
  KovasandParts(shell::AppContext& context, PartsOptions options);
  ~KovasandParts() override;

  platform::DocumentBase& Document() override { return doc_; }
  QWidget* CreateView(QWidget* parent) override;
  bool OnNewDocument() override;
  bool OnOpenDocument(const std::string& path) override;
  bool OnSaveDocument(const std::string& path) override;
  std::string SuggestedSavePath() override;
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, shell::CommandUi& ui) override;
  void OnFrameClosing() override;

  KovasandDoc& Doc() { return doc_; }
  KovasandViewWidget* Widget() { return widget_; }

  void ImportJpeg();
  // "写真の場所を指定...": the project's missing photo chosen again.
  void LocatePhoto();
  void Publish();
  void PublishWeb();
  void Preview();
  void EditLength(size_t index);
  void EditProgramFiles();

 private:
  // Menus and keys follow every change of the document, from whichever
  // window it came.
  void OnNotify(const std::string& text, int code) override;
  void InitialUpdate();
  void ShowScale();
  // The project's photo is not where it names it: told, and the user may
  // choose where it is now.
  void OfferLocatePhoto();
  std::optional<std::string> ChoosePhoto(const QString& title);
  std::optional<std::string> AskKviPath();
  // Where file dialogs start: the project's folder, else the photo's.
  QString WorkFolder() const;

  shell::AppContext& context_;
  PartsOptions options_;
  platform::Services services_;
  KovasandDoc doc_;
  // Owned by the frame, deleted with the parts: its view model is
  // registered with the document.
  QPointer<KovasandViewWidget> widget_;
  bool remindedOfLink_ = false;
  int initialUpdates_ = 0;
};

std::unique_ptr<shell::ProgramParts> CreateKovasandPartsWith(shell::AppContext& context,
                                                             PartsOptions options);

// The name with ".kvi" appended when its file name has no extension.
QString WithKviExtension(const QString& path);

}  // namespace kv::authoring
