#pragma once
// The dialog that asks for the length of a calibration of any size.
#include <QDialog>
#include <optional>

class QLineEdit;

namespace kv::platform {
class MessageService;
}

namespace kv::viewer {

class DisplaySizeDialog : public QDialog {
  Q_OBJECT
 public:
  DisplaySizeDialog(platform::MessageService* messages, QWidget* parent = nullptr);
  QLineEdit* Edit() const { return edit_; }
  int32_t SizeMm() const { return sizeMm_; }
  // The typed length when it is a whole number from 1 to 1000000.
  static std::optional<int32_t> Validate(const QString& text);
  void accept() override;

 private:
  platform::MessageService* messages_;
  QLineEdit* edit_;
  int32_t sizeMm_ = 210;
};

}  // namespace kv::viewer
