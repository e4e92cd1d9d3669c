#pragma once
// Text in files is CP932 (Shift-JIS as the other platform writes it: the
// backslash stays a backslash). The user interface speaks UTF-8/Unicode.
// Conversion never corrupts silently: a text that has no exact counterpart
// fails, and the caller refuses it with a message.
#include <optional>
#include <string>
#include <string_view>

namespace kv {

// nullopt when the bytes are not valid CP932.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);
// nullopt when the text is not valid UTF-8 or has a character CP932 lacks,
// or one that would read back as another character.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);
// The UTF-8 text with every character CP932 lacks (and every byte that is
// not UTF-8) replaced, so that it converts; for names that are labels only.
std::string ReplaceNonCp932(std::string_view utf8, char replacement = '_');

}  // namespace kv
