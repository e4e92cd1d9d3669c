#pragma once
// The Qt implementations of the services in platform/services.h.
#include <QSettings>
#include <QFontMetrics>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "platform/services.h"

class QUrl;
class QWidget;

namespace kv::platform {

// The per-user profile of one program: Qt's settings store under the
// organisation "Tessaloft" and the program's name. Section and key become
// "section/key".
class QtProfile : public Profile {
 public:
  explicit QtProfile(const QString& application, const QString& organisation = "Tessaloft");
  // A profile in a given file (tests).
  explicit QtProfile(std::unique_ptr<QSettings> settings);

  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback) override;
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  int32_t GetInt(const std::string& section, const std::string& key, int32_t fallback) override;
  bool WriteInt(const std::string& section, const std::string& key, int32_t value) override;

  // The recent-file list, newest first, at most kRecentFiles entries (UTF-8
  // paths), in section "Recent File List", keys "File1" to "File4".
  static constexpr int kRecentFiles = 4;
  std::vector<std::string> RecentFiles();
  // Moves or adds the path to the top; the oldest entry falls off.
  void AddRecentFile(const std::string& path);
  void RemoveRecentFile(const std::string& path);

  QSettings& Settings() { return *settings_; }
  bool Sync();

 private:
  std::unique_ptr<QSettings> settings_;
};

// Message boxes with the program's name as title. Line breaks written as
// "\r" (or "\r\n") in a message become lines of the box.
class QtMessageService : public MessageService {
 public:
  QtMessageService(QString title, QWidget* parent = nullptr);
  void SetParent(QWidget* parent) { parent_ = parent; }
  MsgResult Show(const std::string& text, MsgIcon icon, MsgButtons buttons) override;

 private:
  QString title_;
  QWidget* parent_;
};

// The interface thread's event loop; tasks posted after the application
// object is gone are dropped.
class QtDispatcher : public Dispatcher {
 public:
  void Post(std::function<void()> task) override;
};

// Hands a local file or a web address to the desktop (Qt's desktop services,
// which use xdg-open on Linux), after the refusals of ClassifyShellTarget.
class DesktopShell : public Shell {
 public:
  bool Open(const std::string& target) override;

  // Replaces the desktop for the whole process (tests); an empty function
  // puts the desktop back. The opener gets the URL that would be opened.
  using Opener = std::function<bool(const QUrl&)>;
  static void SetOpenerForTesting(Opener opener);
};

// A file path or web address to the desktop, with DesktopShell's refusals;
// true when the desktop took it.
bool OpenWithShell(const std::string& target);

// Makes platform::WaitCursor show Qt's busy cursor (override cursor).
void InstallQtWaitCursor();

// Message text as a box shows it: "\r\n" and "\r" become "\n".
QString MessageBoxText(const std::string& utf8);

// Lines wider than maxWidth broken into lines of even width, each break
// after a path separator, a blank or Japanese punctuation where one lies
// near, never before a closing mark: a box that wraps by itself cuts a path
// where it likes and may leave "い。" alone on the last line.
QString WrapMessageLines(const QString& text, const QFontMetrics& metrics, int maxWidth);

}  // namespace kv::platform
