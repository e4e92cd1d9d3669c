#include "viewer/widgets/adjust_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <algorithm>

#include "viewer/model/adjust.h"

namespace kv::viewer {

AdjustDialog::AdjustDialog(const QString& prompt, int value, std::function<void(int)> preview,
                           QWidget* parent)
    : QDialog(parent),
      initial_(ClampAdjust(value)),
      value_(initial_),
      preview_(std::move(preview)) {
  setObjectName("adjustDialog");
  setWindowTitle(QString::fromUtf8("調整"));
  auto* promptEdit = new QLineEdit(prompt, this);
  promptEdit->setObjectName("adjustPrompt");
  promptEdit->setReadOnly(true);
  promptEdit->setFocusPolicy(Qt::NoFocus);
  valueEdit_ = new QLineEdit(QString::number(value_), this);
  valueEdit_->setObjectName("adjustValue");
  valueEdit_->setReadOnly(true);
  valueEdit_->setFocusPolicy(Qt::NoFocus);
  valueEdit_->setAlignment(Qt::AlignRight);
  valueEdit_->setMaximumWidth(60);
  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setObjectName("adjustSlider");
  slider_->setRange(kMinAdjust, kMaxAdjust);
  slider_->setTickInterval(5);
  slider_->setTickPosition(QSlider::NoTicks);
  slider_->setPageStep(5);
  slider_->setValue(value_);
  slider_->setMinimumWidth(280);
  auto* ok = new QPushButton(QString::fromUtf8("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
  cancel->setObjectName("cancel");
  auto* layout = new QGridLayout(this);
  layout->addWidget(promptEdit, 0, 0, 1, 3);
  layout->addWidget(valueEdit_, 1, 2);
  layout->addWidget(slider_, 2, 0, 1, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 3, 0, 1, 3);
  connect(slider_, &QSlider::valueChanged, this, [this](int v) { SetValue(v); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &AdjustDialog::reject);
  // The arrow keys move the slider from the start.
  slider_->setFocus();
}

void AdjustDialog::SetValue(int v) {
  value_ = ClampAdjust(v);
  valueEdit_->setText(QString::number(value_));
  if (preview_) preview_(value_);
}

void AdjustDialog::reject() {
  value_ = initial_;
  if (preview_) preview_(initial_);
  QDialog::reject();
}

}  // namespace kv::viewer
