#pragma once
// The dialogs of the marker and folder commands: the marker's printed size
// (with the paper for the marker sheet) and the folder batch's choices.
#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/shell/program.h"

class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace kv::authoring {

class KovasandDoc;

// "ﾏｰｶｰの大きさ": the printed black square's side in millimetres; with
// `withPaper`, also A4 or Letter for the sheet.
class MarkerSizeDialog : public QDialog {
  Q_OBJECT
 public:
  MarkerSizeDialog(int32_t sizeMm, bool withPaper, QWidget* parent = nullptr);
  QSpinBox* SizeBox() const { return size_; }
  QComboBox* PaperBox() const { return paper_; }
  int32_t SizeMm() const;
  bool Letter() const;

 private:
  QSpinBox* size_;
  QComboBox* paper_ = nullptr;
};

// "ﾌｫﾙﾀﾞの一括出力": where the photos are, how they are registered, where
// the ".kvi" files go.
class BatchDialog : public QDialog {
  Q_OBJECT
 public:
  // canUseProject: the document has a photo with registrations.
  BatchDialog(const QString& source, const QString& target, int32_t markerMm, bool canUseProject,
              QWidget* parent = nullptr);
  QLineEdit* SourceEdit() const { return source_; }
  QLineEdit* TargetEdit() const { return target_; }
  QRadioButton* MarkerButton() const { return byMarker_; }
  QRadioButton* ProjectButton() const { return byProject_; }
  QSpinBox* SizeBox() const { return size_; }
  void accept() override;

 private:
  QLineEdit* source_;
  QLineEdit* target_;
  QRadioButton* byMarker_;
  QRadioButton* byProject_;
  QSpinBox* size_;
};

// The three commands, for the parts to call.
void RegisterByMarkersCommand(KovasandDoc& doc, shell::AppContext& context,
                              platform::Services& services);
void MarkerSheetCommand(KovasandDoc& doc, shell::AppContext& context, platform::Services& services);
void FolderBatchCommand(KovasandDoc& doc, shell::AppContext& context, platform::Services& services);

}  // namespace kv::authoring
