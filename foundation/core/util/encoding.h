#pragma once
// Text in files is CP932 (Shift-JIS as the other platform writes it: the
// backslash stays a backslash). The user interface speaks UTF-8/Unicode.
// Conversion never corrupts silently: a text that has no exact counterpart
// fails, and the caller refuses it with a message.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// nullopt when the bytes are not valid CP932.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);
// nullopt when the text is not valid UTF-8 or has a character CP932 lacks,
// or one that would read back as another character. Six CP932 characters
// have two Unicode forms (input methods here type U+301C WAVE DASH where
// CP932 reads back U+FF5E, and so on): both forms are written as the one
// CP932 character, which reads back in its CP932 form.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);
// The text with each of those characters in either of its forms, the text
// itself first; at most `limit` texts. For finding a file whose name was
// stored as CP932 and read back in the other form.
std::vector<std::string> Cp932FormVariants(std::string_view utf8, size_t limit = 64);
// The UTF-8 text with every character CP932 lacks (and every byte that is
// not UTF-8) replaced, so that it converts; for names that are labels only.
std::string ReplaceNonCp932(std::string_view utf8, char replacement = '_');

}  // namespace kv
