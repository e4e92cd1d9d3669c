#pragma once
// The authoring tool's modal dialogs: the completion of a size registration
// and the confirmation of the logo's link before publishing.
#include <QDialog>
#include <cstdint>
#include <optional>

class QLineEdit;
class QPushButton;

namespace kv::platform {
class MessageService;
}

namespace kv::authoring {

// "完了": the measured length in millimetres (100 to begin with) and, for
// reference, the length between the clicked points in photo pixels.
class SizeDoneDialog : public QDialog {
  Q_OBJECT
 public:
  SizeDoneDialog(int32_t imageLengthPx, platform::MessageService* messages,
                 QWidget* parent = nullptr);
  QLineEdit* MeasuredEdit() const { return measured_; }
  QLineEdit* ImageLengthEdit() const { return imageLength_; }
  QPushButton* AddButton() const { return add_; }
  int32_t MeasuredMm() const { return measuredMm_; }
  // A whole number from 1 to 1000000 (blanks around it allowed).
  static std::optional<int32_t> Validate(const QString& text);
  // Stays open, with a message, while the measured length is not valid.
  void accept() override;

 private:
  platform::MessageService* messages_;
  QLineEdit* measured_;
  QLineEdit* imageLength_;
  QPushButton* add_;
  int32_t measuredMm_ = 100;
};

// "ﾛｺﾞのﾘﾝｸ先を指定して下さい": shows the link of the settings file, which
// cannot be edited here, for the user to confirm.
class LogoLinkDialog : public QDialog {
  Q_OBJECT
 public:
  explicit LogoLinkDialog(const QString& link, QWidget* parent = nullptr);
  QLineEdit* LinkEdit() const { return edit_; }

 private:
  QLineEdit* edit_;
};

// The example address the link dialog shows.
inline constexpr const char* kExampleLink = "https://www.example.com/";

}  // namespace kv::authoring
