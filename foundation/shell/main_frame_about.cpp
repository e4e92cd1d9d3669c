// The about box and where the help and home pages are: the bundled pages
// beside the program, or the web addresses a site configured.
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <optional>

#include "foundation/shell/main_frame.h"
#include "foundation/shell/toolbar_images.h"
#include "platform/private_profile.h"
#include "platform/qt_text.h"
#include "platform/shell_target.h"

namespace kv::shell {
namespace {

using platform::Utf8ToQString;

// A site that keeps its manual on the web says where in "links.ini" beside
// the bundled pages ("[Links]", keys "Support" and "Home"). Only an http(s)
// address with a host is taken; anything else leaves the bundled page.
std::optional<QString> ConfiguredAddress(const QString& helpFolder, std::string_view key) {
  const std::string file = platform::QStringToUtf8(QDir(helpFolder).filePath("links.ini"));
  const std::string value = platform::GetPrivateProfileString("Links", key, "", file);
  if (value.empty() || platform::ClassifyShellTarget(value) != platform::ShellTargetKind::WebAddress)
    return std::nullopt;
  const QUrl url(QString::fromLatin1(value.data(), qsizetype(value.size())), QUrl::StrictMode);
  if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
  return url.toString();
}

}  // namespace

QString MainFrame::HelpFolder() const {
  return helpFolder_.isEmpty() ? Utf8ToQString(ProgramFolder()) + "help/" : helpFolder_;
}

QString MainFrame::HelpPagePath() const {
  if (std::optional<QString> web = ConfiguredAddress(HelpFolder(), "Support")) return *web;
  return QDir::cleanPath(HelpFolder() + "/" + Utf8ToQString(table_.helpFile));
}

QString MainFrame::HomePagePath() const {
  if (std::optional<QString> web = ConfiguredAddress(HelpFolder(), "Home")) return *web;
  return QDir::cleanPath(HelpFolder() + "/index.html");
}

void MainFrame::ShowAboutBox() {
  QDialog box(this);
  box.setObjectName("aboutBox");
  box.setWindowTitle(Utf8ToQString(table_.aboutTitle));
  auto* layout = new QVBoxLayout(&box);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(&box);
  icon->setPixmap(QPixmap::fromImage(ProgramIconImage(kind_, 32)));
  icon->setAlignment(Qt::AlignTop);
  top->addWidget(icon);
  auto* texts = new QVBoxLayout;
  auto* version = new QLabel(Utf8ToQString(table_.aboutVersion), &box);
  version->setObjectName("aboutVersion");
  auto* notice = new QLabel(Utf8ToQString(table_.aboutNotice), &box);
  notice->setObjectName("aboutNotice");
  notice->setWordWrap(true);
  texts->addWidget(version);
  texts->addWidget(notice);
  top->addLayout(texts, 1);
  layout->addLayout(top);
  auto* web = new QPushButton(QString::fromUtf8("オンラインサポートWEBページを開く"), &box);
  web->setObjectName("aboutWebButton");
  web->setProperty("controlId", table_.aboutWebButtonId);
  connect(web, &QPushButton::clicked, this,
          [this] { shell_.Open(platform::QStringToUtf8(HelpPagePath())); });
  layout->addWidget(web);
  // A web address is shown for the reader to note; a path on this machine
  // tells them nothing.
  const QString help = HelpPagePath();
  if (help.startsWith("http://", Qt::CaseInsensitive) ||
      help.startsWith("https://", Qt::CaseInsensitive)) {
    auto* address = new QLabel(help, &box);
    address->setObjectName("aboutAddress");
    address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(address);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  buttons->button(QDialogButtonBox::Ok)->setText("OK");
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  layout->addWidget(buttons);
  box.exec();
}

}  // namespace kv::shell
