#include "platform/shell_target.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace kv::platform {
namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

ShellTargetKind ClassifyShellTarget(std::string_view target) {
  if (target.empty() || target.size() >= kMaxShellTargetBytes) return ShellTargetKind::Refused;
  for (char c : target) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return ShellTargetKind::Refused;
  }
  for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
    if (!StartsWithNoCase(target, scheme)) continue;
    const std::string_view rest = target.substr(scheme.size());
    if (rest.empty() || rest.front() == '/' || rest.find(' ') != std::string_view::npos)
      return ShellTargetKind::Refused;
    return ShellTargetKind::WebAddress;
  }
  // Anything else with a scheme ("file:", "javascript:", ...) is not a path.
  if (target.find("://") != std::string_view::npos) return ShellTargetKind::Refused;
  std::error_code ec;
  const std::filesystem::path p{std::string(target)};
  if (std::filesystem::is_regular_file(p, ec) && !ec) return ShellTargetKind::LocalFile;
  return ShellTargetKind::Refused;
}

}  // namespace kv::platform
