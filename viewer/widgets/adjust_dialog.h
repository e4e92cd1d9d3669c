#pragma once
// "調整": one slider from -100 to 100 for the brightness or the contrast.
// The photo follows the slider while the dialog is open; ｷｬﾝｾﾙ puts back
// the value it had.
#include <QDialog>
#include <functional>

class QLineEdit;
class QSlider;

namespace kv::viewer {

class AdjustDialog : public QDialog {
  Q_OBJECT
 public:
  // preview: called with every value the slider takes, and with the first
  // value again on cancel.
  AdjustDialog(const QString& prompt, int value, std::function<void(int)> preview,
               QWidget* parent = nullptr);
  int Value() const { return value_; }
  QSlider* Slider() const { return slider_; }
  QLineEdit* ValueEdit() const { return valueEdit_; }

 public slots:
  void reject() override;

 private:
  void SetValue(int v);

  int initial_;
  int value_;
  std::function<void(int)> preview_;
  QSlider* slider_ = nullptr;
  QLineEdit* valueEdit_ = nullptr;
};

}  // namespace kv::viewer
