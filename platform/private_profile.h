#pragma once
// Settings files next to a program (".ini"): sections "[name]" holding lines
// "key=value". Bytes are kept as they are (CP932 in practice); section and key
// names match without regard to ASCII case, and a double-byte character is
// never split or case-folded. Qt-free, so models and tools use it.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

// The value of `key` in `section` of the file at `path` (UTF-8 path), with
// blanks around it removed and one pair of surrounding quotes stripped; the
// fallback (without trailing blanks) when the file, the section or the key is
// missing. At most bufferSize - 1 bytes are returned, as a caller's buffer of
// that size would receive them; a double-byte character that does not fit
// whole is dropped.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const std::string& path,
                                    size_t bufferSize = 4096);

// Sets `key` in `section` to `value`, creating the file or the section when
// missing; a nullopt value removes the key. Only that line changes: the
// rest of the file keeps its bytes, line breaks included, and lines added
// take the style of its first line break. The file is rewritten beside
// itself and renamed, so a failure leaves it as it was. False when the file
// cannot be read or written, when it is too large to be a settings file, or
// when a name or value holds a line break, a name holds '=' or ']', or a name
// ends in the first byte of a double-byte character.
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::optional<std::string_view> value, const std::string& path);

// The same two operations on file contents in memory (what the file
// functions use; tests and fuzzers call them directly).
std::string LookupProfileValue(std::string_view contents, std::string_view section,
                               std::string_view key, std::string_view fallback,
                               size_t bufferSize = 4096);
std::optional<std::string> SetProfileValue(std::string_view contents, std::string_view section,
                                           std::string_view key,
                                           std::optional<std::string_view> value);

// Larger files are refused rather than read.
constexpr size_t kMaxPrivateProfileBytes = size_t(1) << 20;

}  // namespace kv::platform
