#pragma once
// The authoring tool's modal dialogs: the completion of a size registration
// and the confirmation of the logo's link before publishing.
#include <QDialog>
#include <QImage>
#include <cstdint>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kv::platform {
class MessageService;
}

namespace kv::authoring {

// "完了": the measured length in millimetres (100 to begin with) and, for
// reference, the length between the clicked points in photo pixels. Given
// a current length, it edits that registration's instead ("実測値の修正").
class SizeDoneDialog : public QDialog {
  Q_OBJECT
 public:
  SizeDoneDialog(int32_t imageLengthPx, platform::MessageService* messages,
                 QWidget* parent = nullptr, std::optional<int32_t> currentMm = std::nullopt);
  QLineEdit* MeasuredEdit() const { return measured_; }
  QLineEdit* ImageLengthEdit() const { return imageLength_; }
  QPushButton* AddButton() const { return add_; }
  int32_t MeasuredMm() const { return measuredMm_; }
  // A whole number from 1 to 1000000 (blanks around it allowed, full-width
  // digits as Japanese input types them read as digits).
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

// "ﾛｺﾞとﾘﾝｸ先の設定": the link every published file carries and its logo,
// chosen from an ordinary picture and fitted into 400 x 120 pixels with its
// proportions. The result is what the settings and logo files hold.
class ProgramFilesDialog : public QDialog {
  Q_OBJECT
 public:
  ProgramFilesDialog(const QString& link, const QImage& logo, platform::MessageService* messages,
                     QWidget* parent = nullptr);
  QLineEdit* LinkEdit() const { return link_; }
  QPushButton* ChooseButton() const { return choose_; }
  // Loads and fits a picture file; false (told) when it is not one.
  bool LoadLogo(const QString& path);
  const QImage& Logo() const { return logo_; }
  QString Link() const;
  // The logo as the logo file stores it: red, green, blue per pixel, rows
  // top-down.
  std::vector<uint8_t> LogoRgb() const;
  void accept() override;

 private:
  void ShowLogo();

  platform::MessageService* messages_;
  QLineEdit* link_;
  QPushButton* choose_;
  QLabel* preview_;
  QImage logo_;
};

inline constexpr int kMaxLogoWidth = 400;
inline constexpr int kMaxLogoHeight = 120;
// Fits a picture into 400 x 120 with its proportions (never enlarged),
// opaque on white.
QImage FitLogo(const QImage& picture);
// The logo file's bytes as a picture (empty when they do not match).
QImage LogoFromRgb(const std::vector<uint8_t>& rgb, int32_t width, int32_t height);

}  // namespace kv::authoring
