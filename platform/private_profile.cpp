#include "platform/private_profile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "foundation/core/util/file_io.h"

namespace kv::platform {
namespace {

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// ASCII case-insensitive, with the second byte of a double-byte character
// compared exactly (it may look like a letter).
bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (IsLeadByte(x)) {
      if (x != y || i + 1 >= a.size() || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A name whose last byte opens a double-byte character would swallow the
// ']' or '=' written after it, and NamesEqual never matches it: written, it
// could not be found again, and every write would add another copy.
bool EndsInLeadByte(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (!IsLeadByte(static_cast<unsigned char>(s[i]))) continue;
    if (i + 1 == s.size()) return true;
    ++i;
  }
  return false;
}

// Position of the first single-byte `ch`, skipping double-byte characters.
size_t FindSingle(std::string_view s, char ch) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == ch) return i;
    if (IsLeadByte(static_cast<unsigned char>(s[i]))) ++i;
  }
  return std::string_view::npos;
}

struct Line {
  std::string_view text;  // without its line break
  size_t begin = 0;       // offset of the text in the contents
  size_t next = 0;        // offset of the next line
  enum Kind { Other, Section, Key } kind = Other;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed
};

std::vector<Line> SplitLines(std::string_view contents) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < contents.size()) {
    size_t end = contents.find('\n', pos);
    if (end == std::string_view::npos) end = contents.size();
    std::string_view raw = contents.substr(pos, end - pos);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    Line line;
    line.text = raw;
    line.begin = pos;
    line.next = std::min(end + 1, contents.size());
    const std::string_view t = Trim(raw);
    if (!t.empty() && t.front() == '[') {
      const size_t close = FindSingle(t.substr(1), ']');
      if (close != std::string_view::npos) {
        line.kind = Line::Section;
        line.name = Trim(t.substr(1, close));
      }
    } else if (!t.empty() && t.front() != ';') {
      const size_t eq = FindSingle(t, '=');
      if (eq != std::string_view::npos) {
        line.kind = Line::Key;
        line.name = Trim(t.substr(0, eq));
        line.value = Trim(t.substr(eq + 1));
      }
    }
    lines.push_back(line);
    pos = end + 1;
  }
  return lines;
}

// Lines [begin, end) of the first section of that name; begin is the section
// line itself. nullopt when there is none.
struct SectionRange {
  size_t header;
  size_t end;
};
std::optional<SectionRange> FindSection(const std::vector<Line>& lines, std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != Line::Section || !NamesEqual(lines[i].name, section)) continue;
    size_t j = i + 1;
    while (j < lines.size() && lines[j].kind != Line::Section) ++j;
    return SectionRange{i, j};
  }
  return std::nullopt;
}

std::string Clip(std::string_view s, size_t bufferSize) {
  if (bufferSize == 0) return {};
  const size_t room = bufferSize - 1;
  if (s.size() <= room) return std::string(s);
  size_t n = 0;
  while (n < room) {
    const size_t step = IsLeadByte(static_cast<unsigned char>(s[n])) ? 2 : 1;
    if (n + step > room) break;
    n += step;
  }
  return std::string(s.substr(0, n));
}

bool HasLineBreak(std::string_view s) {
  return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos;
}

bool ReadIfPresent(const std::string& path, std::string& contents, bool& present) {
  std::error_code ec;
  present = std::filesystem::exists(path, ec);
  if (ec) return false;
  contents.clear();
  if (!present) return true;
  if (!std::filesystem::is_regular_file(path, ec) || ec) return false;
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!kv::ReadWholeFile(path, bytes, reason, kMaxPrivateProfileBytes)) return false;
  contents.assign(bytes.begin(), bytes.end());
  return true;
}

}  // namespace

std::string LookupProfileValue(std::string_view contents, std::string_view section,
                               std::string_view key, std::string_view fallback,
                               size_t bufferSize) {
  std::string_view fb = fallback;
  while (!fb.empty() && IsBlank(fb.back())) fb.remove_suffix(1);
  // Names are trimmed as SetProfileValue trims them, so what it wrote is found.
  const std::string_view k = Trim(key);
  const std::vector<Line> lines = SplitLines(contents);
  const auto range = FindSection(lines, Trim(section));
  if (!range) return Clip(fb, bufferSize);
  for (size_t i = range->header + 1; i < range->end; ++i) {
    const Line& l = lines[i];
    if (l.kind != Line::Key || !NamesEqual(l.name, k)) continue;
    std::string_view v = l.value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    return Clip(v, bufferSize);
  }
  return Clip(fb, bufferSize);
}

std::optional<std::string> SetProfileValue(std::string_view contents, std::string_view section,
                                           std::string_view key,
                                           std::optional<std::string_view> value) {
  const std::string_view sec = Trim(section);
  const std::string_view k = Trim(key);
  if (sec.empty() || k.empty() || HasLineBreak(section) || HasLineBreak(key)) return std::nullopt;
  if (EndsInLeadByte(sec) || EndsInLeadByte(k)) return std::nullopt;
  if (FindSingle(sec, ']') != std::string_view::npos) return std::nullopt;
  if (FindSingle(k, '=') != std::string_view::npos || k.front() == '[' || k.front() == ';')
    return std::nullopt;
  if (value && HasLineBreak(*value)) return std::nullopt;

  // Lines added take the style of the file's first line break: a later
  // break may be a carriage return that ended the last line followed by the
  // line feed added after it.
  const size_t firstBreak = contents.find('\n');
  const std::string_view eol =
      firstBreak == std::string_view::npos || (firstBreak > 0 && contents[firstBreak - 1] == '\r')
          ? "\r\n"
          : "\n";
  const std::vector<Line> lines = SplitLines(contents);
  std::string newLine;
  if (value) {
    newLine.reserve(k.size() + 1 + value->size() + eol.size());
    newLine.append(k).append("=").append(*value);
  }
  // Only the line written changes: every other byte, line breaks included,
  // stays as it was, so that writing the same value again changes nothing.
  std::string result(contents);
  const bool endsInBreak = contents.empty() || contents.back() == '\n';
  const auto range = FindSection(lines, sec);
  if (!range) {
    if (!value) return result;
    if (!endsInBreak) result.append(eol);
    result.append("[").append(sec).append("]").append(eol).append(newLine).append(eol);
    return result;
  }
  for (size_t i = range->header + 1; i < range->end; ++i) {
    const Line& l = lines[i];
    if (l.kind != Line::Key || !NamesEqual(l.name, k)) continue;
    if (value) {
      result.replace(l.begin, l.text.size(), newLine);
    } else {
      result.erase(l.begin, l.next - l.begin);
    }
    return result;
  }
  if (!value) return result;
  // After the section's last non-blank line, so blank lines that part
  // sections stay between them.
  size_t at = range->end;
  while (at > range->header + 1 && Trim(lines[at - 1].text).empty()) --at;
  newLine.append(eol);
  if (at < lines.size()) {
    result.insert(lines[at].begin, newLine);
  } else {
    if (!endsInBreak) result.append(eol);
    result.append(newLine);
  }
  return result;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const std::string& path,
                                    size_t bufferSize) {
  std::string contents;
  bool present = false;
  if (!ReadIfPresent(path, contents, present)) contents.clear();
  return LookupProfileValue(contents, section, key, fallback, bufferSize);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::optional<std::string_view> value, const std::string& path) {
  std::string contents;
  bool present = false;
  if (!ReadIfPresent(path, contents, present)) return false;
  const auto updated = SetProfileValue(contents, section, key, value);
  if (!updated) return false;
  if (present && *updated == contents) return true;
  std::string reason;
  return kv::WriteFileAtomically(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(updated->data()), updated->size()),
      reason);
}

}  // namespace kv::platform
