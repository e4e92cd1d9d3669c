#include "platform/private_profile.h"

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

  const std::string eol = contents.find("\r\n") != std::string_view::npos ||
                                  contents.find('\n') == std::string_view::npos
                              ? "\r\n"
                              : "\n";
  const std::vector<Line> lines = SplitLines(contents);
  std::vector<std::string> out;
  out.reserve(lines.size() + 2);
  for (const Line& l : lines) out.emplace_back(l.text);

  std::string newLine;
  if (value) {
    newLine.reserve(k.size() + 1 + value->size());
    newLine.append(k).append("=").append(*value);
  }
  const auto range = FindSection(lines, sec);
  if (!range) {
    if (!value) return std::string(contents);
    out.push_back("[" + std::string(sec) + "]");
    out.push_back(newLine);
  } else {
    size_t found = range->end;
    for (size_t i = range->header + 1; i < range->end; ++i) {
      if (lines[i].kind == Line::Key && NamesEqual(lines[i].name, k)) {
        found = i;
        break;
      }
    }
    if (found != range->end) {
      if (value) {
        out[found] = newLine;
      } else {
        out.erase(out.begin() + std::ptrdiff_t(found));
      }
    } else {
      if (!value) return std::string(contents);
      // After the section's last non-blank line, so blank lines that part
      // sections stay between them.
      size_t at = range->end;
      while (at > range->header + 1 && Trim(lines[at - 1].text).empty()) --at;
      out.insert(out.begin() + std::ptrdiff_t(at), newLine);
    }
  }
  std::string result;
  // Every line ends with a break, the last one included.
  for (const std::string& l : out) result.append(l).append(eol);
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
