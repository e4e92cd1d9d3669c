#include "platform/qt_services.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPushButton>
#include <QMessageBox>
#include <QUrl>
#include <mutex>

#include "platform/qt_text.h"
#include "platform/shell_target.h"

namespace kv::platform {
namespace {

QString Key(const std::string& section, const std::string& key) {
  return Utf8ToQString(section) + "/" + Utf8ToQString(key);
}

std::mutex g_openerMutex;
DesktopShell::Opener g_opener;

void WaitCursorHook(bool on) {
  if (!QGuiApplication::instance()) return;
  if (on)
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace

QtProfile::QtProfile(const QString& application, const QString& organisation)
    : settings_(std::make_unique<QSettings>(organisation, application)) {}

QtProfile::QtProfile(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}

std::string QtProfile::GetString(const std::string& section, const std::string& key,
                                 const std::string& fallback) {
  const QVariant v = settings_->value(Key(section, key));
  if (!v.isValid()) return fallback;
  return QStringToUtf8(v.toString());
}

bool QtProfile::WriteString(const std::string& section, const std::string& key,
                            const std::string& value) {
  settings_->setValue(Key(section, key), Utf8ToQString(value));
  return settings_->status() == QSettings::NoError;
}

int32_t QtProfile::GetInt(const std::string& section, const std::string& key, int32_t fallback) {
  const QVariant v = settings_->value(Key(section, key));
  if (!v.isValid()) return fallback;
  bool ok = false;
  const qlonglong n = v.toString().trimmed().toLongLong(&ok);
  if (!ok || n < INT32_MIN || n > INT32_MAX) return fallback;
  return int32_t(n);
}

bool QtProfile::WriteInt(const std::string& section, const std::string& key, int32_t value) {
  settings_->setValue(Key(section, key), QString::number(value));
  return settings_->status() == QSettings::NoError;
}

std::vector<std::string> QtProfile::RecentFiles() {
  std::vector<std::string> files;
  for (int i = 1; i <= kRecentFiles; ++i) {
    const QString p = settings_->value(QString("Recent File List/File%1").arg(i)).toString();
    if (!p.isEmpty()) files.push_back(QStringToUtf8(p));
  }
  return files;
}

void QtProfile::AddRecentFile(const std::string& path) {
  if (path.empty()) return;
  std::vector<std::string> files = RecentFiles();
  std::erase(files, path);
  files.insert(files.begin(), path);
  if (files.size() > size_t(kRecentFiles)) files.resize(kRecentFiles);
  for (int i = 1; i <= kRecentFiles; ++i) {
    const QString key = QString("Recent File List/File%1").arg(i);
    if (size_t(i) <= files.size())
      settings_->setValue(key, Utf8ToQString(files[size_t(i - 1)]));
    else
      settings_->remove(key);
  }
}

void QtProfile::RemoveRecentFile(const std::string& path) {
  std::vector<std::string> files = RecentFiles();
  std::erase(files, path);
  for (int i = 1; i <= kRecentFiles; ++i) {
    const QString key = QString("Recent File List/File%1").arg(i);
    if (size_t(i) <= files.size())
      settings_->setValue(key, Utf8ToQString(files[size_t(i - 1)]));
    else
      settings_->remove(key);
  }
}

bool QtProfile::Sync() {
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

QString MessageBoxText(const std::string& utf8) {
  QString t = Utf8ToQString(utf8);
  t.replace("\r\n", "\n");
  t.replace('\r', '\n');
  return t;
}

namespace {

// A line may end after these.
bool BreaksAfter(QChar c) {
  static const QString kAfter = QString::fromUtf8("/\\ 、。，．・）」』】");
  return kAfter.contains(c);
}

// A line may not start with these.
bool ClosingMark(QChar c) {
  static const QString kClosing = QString::fromUtf8("、。，．）」』】ｰー ");
  return kClosing.contains(c);
}

QStringList WrapOneLine(const QString& line, const QFontMetrics& fm, int maxWidth) {
  const int total = fm.horizontalAdvance(line);
  if (total <= maxWidth || line.size() < 2) return {line};
  const int pieces = (total + maxWidth - 1) / maxWidth;
  const int target = (total + pieces - 1) / pieces;
  QStringList out;
  int start = 0;
  while (start < line.size()) {
    const QString rest = line.mid(start);
    if (fm.horizontalAdvance(rest) <= maxWidth) {
      out << rest;
      break;
    }
    // The longest piece up to the even width, then back to a good break.
    int end = start + 1;
    while (end < line.size() && fm.horizontalAdvance(line.mid(start, end + 1 - start)) <= target)
      ++end;
    int cut = end;
    for (int k = end; k > start + (end - start) * 6 / 10; --k) {
      if (BreaksAfter(line[k - 1]) && (k >= line.size() || !ClosingMark(line[k]))) {
        cut = k;
        break;
      }
    }
    // Never a closing mark at a line's start: it stays with what it closes.
    while (cut < line.size() && ClosingMark(line[cut]) &&
           fm.horizontalAdvance(line.mid(start, cut + 1 - start)) <= maxWidth)
      ++cut;
    while (cut > start + 1 && cut < line.size() && ClosingMark(line[cut])) --cut;
    out << line.mid(start, cut - start);
    start = cut;
  }
  return out;
}

}  // namespace

QString WrapMessageLines(const QString& text, const QFontMetrics& metrics, int maxWidth) {
  QStringList lines;
  for (const QString& line : text.split('\n')) lines << WrapOneLine(line, metrics, maxWidth);
  return lines.join('\n');
}

void QtDispatcher::Post(std::function<void()> task) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

QtMessageService::QtMessageService(QString title, QWidget* parent)
    : title_(std::move(title)), parent_(parent) {}

MsgResult QtMessageService::Show(const std::string& text, MsgIcon icon, MsgButtons buttons) {
  QMessageBox box(parent_);
  box.setWindowTitle(title_);
  box.setTextFormat(Qt::PlainText);
  // Narrower than the width past which the box wraps by itself.
  box.setText(WrapMessageLines(MessageBoxText(text), QFontMetrics(box.font()), 440));
  switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
  }
  QMessageBox::StandardButtons set;
  QMessageBox::StandardButton def = QMessageBox::Ok;
  switch (buttons) {
    case MsgButtons::Ok:
    case MsgButtons::OkEscapeCancels: set = QMessageBox::Ok; break;
    case MsgButtons::OkCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MsgButtons::YesNo: set = QMessageBox::Yes | QMessageBox::No; def = QMessageBox::Yes; break;
    case MsgButtons::YesNoDefaultNo:
      set = QMessageBox::Yes | QMessageBox::No;
      def = QMessageBox::No;
      break;
    case MsgButtons::YesNoCancel:
      set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      def = QMessageBox::Yes;
      break;
  }
  box.setStandardButtons(set);
  box.setDefaultButton(def);
  // Closing the box without a button counts as its safe answer.
  if (buttons == MsgButtons::OkEscapeCancels) {
    // Esc must be told from OK: it presses a Cancel the user never sees.
    QPushButton* escape = box.addButton(QMessageBox::Cancel);
    escape->hide();
    box.setEscapeButton(escape);
  } else if (buttons == MsgButtons::Ok) {
    box.setEscapeButton(QMessageBox::Ok);
  } else if (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoDefaultNo) {
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setEscapeButton(QMessageBox::Cancel);
  }
  const int r = box.exec();
  switch (r) {
    case QMessageBox::Ok: return MsgResult::Ok;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    case QMessageBox::Cancel: return MsgResult::Cancel;
    default: break;
  }
  switch (buttons) {
    case MsgButtons::Ok: return MsgResult::Ok;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoDefaultNo: return MsgResult::No;
    default: return MsgResult::Cancel;
  }
}

bool DesktopShell::Open(const std::string& target) {
  QUrl url;
  switch (ClassifyShellTarget(target)) {
    case ShellTargetKind::Refused: return false;
    case ShellTargetKind::WebAddress:
      url = QUrl(Utf8ToQString(target), QUrl::StrictMode);
      if (!url.isValid() || url.host().isEmpty()) return false;
      break;
    case ShellTargetKind::LocalFile:
      url = QUrl::fromLocalFile(QFileInfo(Utf8ToQString(target)).absoluteFilePath());
      break;
  }
  Opener opener;
  {
    std::lock_guard lock(g_openerMutex);
    opener = g_opener;
  }
  if (opener) return opener(url);
  return QDesktopServices::openUrl(url);
}

void DesktopShell::SetOpenerForTesting(Opener opener) {
  std::lock_guard lock(g_openerMutex);
  g_opener = std::move(opener);
}

bool OpenWithShell(const std::string& target) { return DesktopShell().Open(target); }

void InstallQtWaitCursor() { WaitCursor::InstallHook(&WaitCursorHook); }

}  // namespace kv::platform
