#pragma once
// How a preview file reaches the viewer: through the desktop when it knows
// an application for ".kvi" files, else by starting the viewer built beside
// this program.
#include <QString>
#include <string>

namespace kv::platform {
class Shell;
}

namespace kv::authoring {

// True when the desktop names a default application for this file's type.
// Asks `xdg-mime query filetype FILE` and then `xdg-mime query default
// MIME`, each with a short timeout; without the tool the answer is no.
// xdgMime: the program to ask (tests pass a script of their own).
bool DesktopHasApplicationFor(const QString& file, const QString& xdgMime = "xdg-mime");

struct PreviewRoute {
  platform::Shell* shell = nullptr;  // the desktop
  std::string viewerPath;            // the viewer program beside ours
  QString xdgMime = "xdg-mime";
};

// Opens the file; false when neither the desktop nor the viewer took it.
bool OpenPreviewFile(const std::string& path, const PreviewRoute& route);

}  // namespace kv::authoring
