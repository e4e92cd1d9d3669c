#include "authoring/widgets/preview_opener.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "platform/qt_text.h"
#include "platform/services.h"

namespace kv::authoring {
namespace {

constexpr int kQueryTimeoutMs = 3000;

// The tool's first line of output, or empty when it failed or took too long.
QString Ask(const QString& program, const QStringList& arguments) {
  QProcess p;
  p.setProgram(program);
  p.setArguments(arguments);
  p.setStandardInputFile(QProcess::nullDevice());
  p.start();
  if (!p.waitForStarted(kQueryTimeoutMs)) return {};
  if (!p.waitForFinished(kQueryTimeoutMs)) {
    p.kill();
    p.waitForFinished(1000);
    return {};
  }
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
  const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
  return out.section('\n', 0, 0).trimmed();
}

}  // namespace

bool DesktopHasApplicationFor(const QString& file, const QString& xdgMime) {
  const QString tool = xdgMime.contains('/') ? xdgMime : QStandardPaths::findExecutable(xdgMime);
  if (tool.isEmpty() || !QFileInfo(tool).isExecutable()) return false;
  const QString mime = Ask(tool, {"query", "filetype", file});
  // A type the desktop guessed from the bytes alone names no application
  // that knows these files.
  if (mime.isEmpty() || mime == "application/octet-stream") return false;
  return !Ask(tool, {"query", "default", mime}).isEmpty();
}

bool OpenPreviewFile(const std::string& path, const PreviewRoute& route) {
  const QString file = platform::Utf8ToQString(path);
  if (route.shell && DesktopHasApplicationFor(file, route.xdgMime) && route.shell->Open(path))
    return true;
  const QString viewer = platform::Utf8ToQString(route.viewerPath);
  const QFileInfo info(viewer);
  if (viewer.isEmpty() || !info.isFile() || !info.isExecutable()) return false;
  return QProcess::startDetached(viewer, {file});
}

}  // namespace kv::authoring
