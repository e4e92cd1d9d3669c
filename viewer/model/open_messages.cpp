#include "viewer/model/open_messages.h"

#include <optional>

#include "foundation/core/util/file_io.h"

namespace kv::viewer {
namespace {

constexpr const char* kDamaged = "ﾌｧｲﾙが壊れているか、kviﾌｧｲﾙではありません";

}  // namespace

std::string ShownFileName(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const size_t slash = path.rfind('/', end - 1);
  const size_t start = slash == std::string::npos || end == 0 ? 0 : slash + 1;
  return start < end ? path.substr(start, end - start) : path;
}

// Missing, a folder, a pipe, not permitted: said as such. Anything else the
// reader refused is a file that is damaged or of another kind, with the
// reader's own reason after it.
std::string OpenFailureMessage(const std::string& path, const std::string& reason) {
  std::string text = "実寸情報ﾌｧｲﾙを開けませんでした。\r" + ShownFileName(path) + "\r";
  if (const std::optional<std::string> why = UnreadableReason(path)) return text + *why + "。";
  text += std::string(kDamaged) + "。";
  if (!reason.empty()) text += "\r(" + reason + ")";
  return text;
}

std::string StepFailureText(const std::string& path, const std::string& reason) {
  std::string why;
  if (const std::optional<std::string> unreadable = UnreadableReason(path))
    why = *unreadable;
  else
    why = reason.empty() ? std::string(kDamaged) : std::string(kDamaged) + ": " + reason;
  return ShownFileName(path) + " を開けませんでした (" + why + ")";
}

std::string BrokenPhotoMessage(const std::string& path, const std::string& reason) {
  std::string text = "写真(JPEG)を表示できませんでした。\r";
  if (!path.empty()) text += ShownFileName(path) + "\r";
  text += "ﾌｧｲﾙの中の画像が壊れています。";
  if (!reason.empty()) text += "\r(" + reason + ")";
  return text;
}

}  // namespace kv::viewer
