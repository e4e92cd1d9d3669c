#include "authoring/widgets/dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QImageReader>
#include <QPainter>
#include <QVBoxLayout>
#include <cstring>

#include "authoring/model/kovasand_document.h"
#include "foundation/core/util/text.h"
#include "platform/services.h"

namespace kv::authoring {

SizeDoneDialog::SizeDoneDialog(int32_t imageLengthPx, platform::MessageService* messages,
                               QWidget* parent, std::optional<int32_t> currentMm)
    : QDialog(parent), messages_(messages) {
  setObjectName("sizeDoneDialog");
  setWindowTitle(QString::fromUtf8(currentMm ? "実測値の修正" : "完了"));
  if (currentMm) measuredMm_ = *currentMm;
  add_ = new QPushButton(QString::fromUtf8(currentMm ? "変更" : "追加"), this);
  add_->setObjectName("add");
  add_->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
  cancel->setObjectName("cancel");
  auto* prompt = new QLabel(
      QString::fromUtf8(currentMm ? "このｻｲｽﾞ登録の実測値を入力してから変更ﾎﾞﾀﾝを押して下さい。"
                                  : "ｻｲｽﾞを登録しました。この写真にｻｲｽﾞ登録を追加する場合は"
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
  // Typing starts in the length with its text selected: digits replace it
  // and Enter takes what was typed, never a default the user did not see.
  setTabOrder(measured_, add_);
  setTabOrder(add_, cancel);
  measured_->setFocus();
  measured_->selectAll();
}

std::optional<int32_t> SizeDoneDialog::Validate(const QString& text) {
  const std::optional<int64_t> v =
      ParseTypedNumber(text.toStdString(), kMinLengthMm, kMaxLengthMm);
  if (!v) return std::nullopt;
  return int32_t(*v);
}

void SizeDoneDialog::accept() {
  const std::optional<int32_t> v = Validate(measured_->text());
  if (!v) {
    if (messages_)
      messages_->Show(std::string("実測値は 1 から 1000000 までの整数(mm)で入力して下さい。\r") +
                          kTypedDigitsNote,
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

QImage FitLogo(const QImage& picture) {
  if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) return QImage();
  QImage fitted = picture;
  if (picture.width() > kMaxLogoWidth || picture.height() > kMaxLogoHeight)
    fitted = picture.scaled(kMaxLogoWidth, kMaxLogoHeight, Qt::KeepAspectRatio,
                            Qt::SmoothTransformation);
  // Transparent parts go on white: the file has no transparency.
  QImage out(fitted.size(), QImage::Format_RGB888);
  out.fill(Qt::white);
  QPainter p(&out);
  p.drawImage(0, 0, fitted);
  p.end();
  return out;
}

QImage LogoFromRgb(const std::vector<uint8_t>& rgb, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || rgb.size() != size_t(width) * size_t(height) * 3)
    return QImage();
  QImage img(width, height, QImage::Format_RGB888);
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(img.scanLine(y), rgb.data() + size_t(y) * size_t(width) * 3, size_t(width) * 3);
  return img;
}

ProgramFilesDialog::ProgramFilesDialog(const QString& link, const QImage& logo,
                                       platform::MessageService* messages, QWidget* parent)
    : QDialog(parent), messages_(messages), logo_(logo) {
  setObjectName("programFilesDialog");
  setWindowTitle(QString::fromUtf8("ﾛｺﾞとﾘﾝｸ先の設定"));
  auto* explain = new QLabel(
      QString::fromUtf8("出力するkviﾌｧｲﾙには、このﾛｺﾞとﾘﾝｸ先が入ります。\n"
                        "ﾋﾞｭｰｱでﾛｺﾞをｸﾘｯｸすると、ﾘﾝｸ先が開きます。"),
      this);
  link_ = new QLineEdit(link, this);
  link_->setObjectName("link");
  link_->setMinimumWidth(400);
  auto* example = new QLabel(QString::fromUtf8("例：") + QString::fromUtf8(kExampleLink), this);
  preview_ = new QLabel(this);
  preview_->setObjectName("logoPreview");
  preview_->setMinimumSize(kMaxLogoWidth + 8, kMaxLogoHeight + 8);
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setFrameShape(QFrame::StyledPanel);
  choose_ = new QPushButton(QString::fromUtf8("画像を選択..."), this);
  choose_->setObjectName("chooseLogo");
  choose_->setAutoDefault(false);
  auto* ok = new QPushButton(QString::fromUtf8("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
  cancel->setObjectName("cancel");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(explain);
  layout->addWidget(new QLabel(QString::fromUtf8("ﾘﾝｸ先"), this));
  layout->addWidget(link_);
  layout->addWidget(example);
  layout->addWidget(new QLabel(QString::fromUtf8("ﾛｺﾞ (PNGかJPEGの画像。400x120ﾄﾞｯﾄに収めます)"), this));
  layout->addWidget(preview_);
  auto* chooseRow = new QHBoxLayout;
  chooseRow->addWidget(choose_);
  chooseRow->addStretch();
  layout->addLayout(chooseRow);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(choose_, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(
        this, QString::fromUtf8("ﾛｺﾞの画像を選択"), QString(),
        QString::fromUtf8("画像ﾌｧｲﾙ(*.png *.jpg *.jpeg);;全ﾌｧｲﾙ(*)"));
    if (!path.isEmpty()) LoadLogo(path);
  });
  ShowLogo();
  link_->setFocus();
  link_->selectAll();
}

bool ProgramFilesDialog::LoadLogo(const QString& path) {
  QImageReader reader(path);
  reader.setAutoTransform(true);
  // A picture far larger than any logo is not decoded whole just to shrink it.
  const QSize size = reader.size();
  if (size.isValid() && qint64(size.width()) * size.height() > 100'000'000) {
    if (messages_)
      messages_->Show("画像が大きすぎます。", platform::MsgIcon::Warning, platform::MsgButtons::Ok);
    return false;
  }
  const QImage picture = reader.read();
  const QImage fitted = FitLogo(picture);
  if (fitted.isNull()) {
    if (messages_)
      messages_->Show(QFileInfo(path).fileName().toStdString() +
                          " を読み込めませんでした。\rPNGかJPEGの画像を選んで下さい。",
                      platform::MsgIcon::Warning, platform::MsgButtons::Ok);
    return false;
  }
  logo_ = fitted;
  ShowLogo();
  return true;
}

void ProgramFilesDialog::ShowLogo() {
  preview_->setPixmap(logo_.isNull() ? QPixmap() : QPixmap::fromImage(logo_));
}

QString ProgramFilesDialog::Link() const { return link_->text().trimmed(); }

std::vector<uint8_t> ProgramFilesDialog::LogoRgb() const {
  std::vector<uint8_t> out;
  if (logo_.isNull()) return out;
  const QImage rgb = logo_.convertToFormat(QImage::Format_RGB888);
  out.resize(size_t(rgb.width()) * size_t(rgb.height()) * 3);
  for (int y = 0; y < rgb.height(); ++y)
    std::memcpy(out.data() + size_t(y) * size_t(rgb.width()) * 3, rgb.constScanLine(y),
                size_t(rgb.width()) * 3);
  return out;
}

void ProgramFilesDialog::accept() {
  // Refused here, the dialog stays open with what was typed and chosen.
  const std::string why = WhyLinkRefused(Link().toStdString());
  if (!why.empty() || logo_.isNull()) {
    if (messages_)
      messages_->Show(why.empty() ? "ﾛｺﾞの画像を選んで下さい。" : why, platform::MsgIcon::Warning,
                      platform::MsgButtons::Ok);
    (why.empty() ? static_cast<QWidget*>(choose_) : link_)->setFocus();
    return;
  }
  QDialog::accept();
}

}  // namespace kv::authoring
