#pragma once
// Which targets may be handed to the desktop shell. Qt-free.
#include <string_view>

namespace kv::platform {

// Targets of this many bytes or more are refused.
constexpr size_t kMaxShellTargetBytes = 1024;

enum class ShellTargetKind { Refused, LocalFile, WebAddress };

// A web address is "http://" or "https://" (either case) followed by a host,
// with no blanks or control characters; a local file is an existing regular
// file (UTF-8 path). Everything else, and anything of kMaxShellTargetBytes
// or more, is refused.
ShellTargetKind ClassifyShellTarget(std::string_view target);

}  // namespace kv::platform
