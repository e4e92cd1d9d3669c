#include "authoring/widgets/dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "authoring/model/kovasand_document.h"
#include "platform/services.h"

namespace kv::authoring {

SizeDoneDialog::SizeDoneDialog(int32_t imageLengthPx, platform::MessageService* messages,
                               QWidget* parent)
    : QDialog(parent), messages_(messages) {
  setObjectName("sizeDoneDialog");
  setWindowTitle(QString::fromUtf8("完了"));
  add_ = new QPushButton(QString::fromUtf8("追加"), this);
  add_->setObjectName("add");
  add_->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
  cancel->setObjectName("cancel");
  auto* prompt = new QLabel(QString::fromUtf8("ｻｲｽﾞを登録しました。この写真にｻｲｽﾞ登録を追加する場合は"
                                              "実測値を入力してから追加ﾎﾞﾀﾝを押して下さい。"),
                            this);
  prompt->setWordWrap(true);
  prompt->setMinimumWidth(300);
  measured_ = new QLineEdit(QString::number(measuredMm_), this);
  measured_->setObjectName("measured");
  measured_->setMaximumWidth(80);
  imageLength_ = new QLineEdit(QString::number(imageLengthPx), this);
  imageLength_->setObjectName("imageLength");
  imageLength_->setReadOnly(true);
  imageLength_->setFrame(false);
  imageLength_->setFocusPolicy(Qt::NoFocus);
  imageLength_->setMaximumWidth(80);
  imageLength_->setAlignment(Qt::AlignRight);

  auto* values = new QGridLayout;
  values->addWidget(new QLabel(QString::fromUtf8("実測値"), this), 0, 0);
  values->addWidget(measured_, 0, 1);
  values->addWidget(new QLabel("mm", this), 0, 2);
  values->addWidget(new QLabel(QString::fromUtf8("（参考）画像値"), this), 1, 0);
  values->addWidget(imageLength_, 1, 1);
  values->addWidget(new QLabel("dot", this), 1, 2);
  auto* buttons = new QVBoxLayout;
  buttons->addStretch();
  buttons->addWidget(add_);
  buttons->addWidget(cancel);
  auto* row = new QHBoxLayout;
  row->addLayout(values);
  row->addStretch();
  row->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addLayout(row);

  connect(add_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  // "追加" first, so that Enter at once accepts the length shown.
  setTabOrder(add_, cancel);
  setTabOrder(cancel, measured_);
  add_->setFocus();
}

std::optional<int32_t> SizeDoneDialog::Validate(const QString& text) {
  bool okNumber = false;
  const qlonglong v = text.trimmed().toLongLong(&okNumber);
  if (!okNumber || v < kMinLengthMm || v > kMaxLengthMm) return std::nullopt;
  return int32_t(v);
}

void SizeDoneDialog::accept() {
  const std::optional<int32_t> v = Validate(measured_->text());
  if (!v) {
    if (messages_)
      messages_->Show("実測値は 1 から 1000000 までの整数(mm)で入力して下さい。",
                      platform::MsgIcon::Warning, platform::MsgButtons::Ok);
    measured_->setFocus();
    measured_->selectAll();
    return;
  }
  measuredMm_ = *v;
  QDialog::accept();
}

LogoLinkDialog::LogoLinkDialog(const QString& link, QWidget* parent) : QDialog(parent) {
  setObjectName("logoLinkDialog");
  setWindowTitle(QString::fromUtf8("ﾛｺﾞのﾘﾝｸ先を指定して下さい"));
  auto* example =
      new QLabel(QString::fromUtf8("例：") + QString::fromUtf8(kExampleLink), this);
  edit_ = new QLineEdit(link, this);
  edit_->setObjectName("link");
  edit_->setReadOnly(true);
  edit_->setMinimumWidth(400);
  auto* ok = new QPushButton(QString::fromUtf8("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
  cancel->setObjectName("cancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(example);
  layout->addWidget(edit_);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  ok->setFocus();
}

}  // namespace kv::authoring
