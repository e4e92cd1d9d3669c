#include "viewer/widgets/display_size_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/core/util/text.h"
#include "platform/services.h"
#include "viewer/model/calibration.h"

namespace kv::viewer {

DisplaySizeDialog::DisplaySizeDialog(platform::MessageService* messages, QWidget* parent)
    : QDialog(parent), messages_(messages) {
  setObjectName("displaySizeDialog");
  setWindowTitle(QString::fromUtf8("ﾃﾞｨｽﾌﾟﾚｲ設定"));
  auto* ok = new QPushButton(QString::fromUtf8("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
  cancel->setObjectName("cancel");
  edit_ = new QLineEdit(this);
  edit_->setObjectName("sizeEdit");
  edit_->setText(QString::number(sizeMm_));
  edit_->setMaximumWidth(80);
  auto* prompt = new QLabel(QString::fromUtf8("任意ｻｲｽﾞでﾓﾆﾀｰの設定をおこないます。\n"
                                              "これからｸﾘｯｸする2点間のｻｲｽﾞをmmで指定して下さい。"),
                            this);
  auto* mm = new QLabel("mm", this);
  auto* layout = new QGridLayout(this);
  layout->addWidget(prompt, 0, 0, 1, 3);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(edit_);
  row->addWidget(mm);
  row->addStretch();
  layout->addLayout(row, 1, 0, 2, 2);
  layout->addWidget(ok, 1, 2);
  layout->addWidget(cancel, 2, 2);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  // Typing starts in the length with its text selected: the digits replace
  // it and Enter takes what was typed, never the default unseen.
  setTabOrder(edit_, ok);
  setTabOrder(ok, cancel);
  edit_->setFocus();
  edit_->selectAll();
}

std::optional<int32_t> DisplaySizeDialog::Validate(const QString& text) {
  // Full-width digits, as Japanese input types them, are digits too.
  const std::optional<int64_t> v =
      ParseTypedNumber(text.toStdString(), kMinCalibrationMm, kMaxCalibrationMm);
  if (!v) return std::nullopt;
  return int32_t(*v);
}

void DisplaySizeDialog::accept() {
  const std::optional<int32_t> v = Validate(edit_->text());
  if (!v) {
    if (messages_)
      messages_->Show(std::string("1 から 1000000 までの整数を入力して下さい。\r") +
                          kTypedDigitsNote,
                      platform::MsgIcon::Warning, platform::MsgButtons::Ok);
    edit_->setFocus();
    edit_->selectAll();
    return;  // stays open
  }
  sizeMm_ = *v;
  QDialog::accept();
}

}  // namespace kv::viewer
