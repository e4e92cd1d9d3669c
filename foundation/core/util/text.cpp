#include "foundation/core/util/text.h"

#include <cstdio>
#include <limits>

namespace kv {

const char* const kStrRightTooShort = "文字列が短すぎます...StrRight";
const char* const kTypedDigitsNote = "数字は半角(0～9)でも全角(０～９)でも入力できます。";

std::optional<int64_t> ParseDecimal(std::string_view text, int64_t min, int64_t max) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  // Beyond 19 digits nothing fits in 64 bits; stop counting early so a long
  // run of digits cannot overflow.
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    if (value > (uint64_t(1) << 62)) return std::nullopt;
    value = value * 10 + uint64_t(text[i] - '0');
  }
  if (value > (uint64_t(1) << 62)) return std::nullopt;
  const int64_t v = negative ? -int64_t(value) : int64_t(value);
  if (v < min || v > max) return std::nullopt;
  return v;
}

std::optional<int64_t> ParseTypedNumber(std::string_view utf8, int64_t min, int64_t max) {
  // U+FF10..U+FF19 are EF BC 90..99; U+FF0B (+) EF BC 8B, U+FF0D (-) EF BC 8D;
  // U+2212 (minus) E2 88 92; U+3000 (blank) E3 80 80.
  std::string ascii;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = [&](size_t k) { return uint8_t(utf8[i + k]); };
    if (i + 2 < utf8.size() && b(0) == 0xEF && b(1) == 0xBC && b(2) >= 0x90 && b(2) <= 0x99) {
      ascii += char('0' + (b(2) - 0x90));
    } else if (i + 2 < utf8.size() && b(0) == 0xEF && b(1) == 0xBC && b(2) == 0x8B) {
      ascii += '+';
    } else if (i + 2 < utf8.size() && ((b(0) == 0xEF && b(1) == 0xBC && b(2) == 0x8D) ||
                                       (b(0) == 0xE2 && b(1) == 0x88 && b(2) == 0x92))) {
      ascii += '-';
    } else if (i + 2 < utf8.size() && b(0) == 0xE3 && b(1) == 0x80 && b(2) == 0x80) {
      ascii += ' ';
    } else {
      ascii += utf8[i];
      ++i;
      continue;
    }
    i += 3;
  }
  const size_t first = ascii.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  const size_t last = ascii.find_last_not_of(" \t");
  return ParseDecimal(std::string_view(ascii).substr(first, last - first + 1), min, max);
}

int32_t TextToLong(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                             text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate in 64 bits and stop growing once past the 32-bit range, so a
  // long run of digits saturates instead of wrapping.
  constexpr int64_t kLimit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
  int64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (value <= kLimit) value = value * 10 + (text[i] - '0');
    ++i;
  }
  if (negative) {
    value = -value;
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
  }
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

std::string IntToText(int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", value);
  return buf;
}

std::string DoubleToText(double value) {
  char buf[512];  // "%.2f" of the largest double needs 312 characters
  std::snprintf(buf, sizeof buf, "%.2f", value);
  return buf;
}

std::string RectToText(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d %04d %04d %04d", left, top, right, bottom);
  return buf;
}

Rect TextToRect(std::string_view text) {
  if (text.empty()) return Rect{0, 0, 200, 200};
  auto at = [&](size_t offset) -> int32_t {
    return offset < text.size() ? TextToLong(text.substr(offset)) : 0;
  };
  return Rect{at(0), at(5), at(10), at(15)};
}

std::string StrLeft(std::string_view text, size_t n) {
  if (text.size() >= n) return std::string(text.substr(0, text.size() - n));
  return std::string(text);
}

std::string StrRight(std::string_view text, size_t n) {
  if (text.size() >= n) return std::string(text.substr(n));
  return kStrRightTooShort;
}

std::string StrCutTail(std::string_view a, std::string_view b) { return StrLeft(a, b.size()); }
std::string StrCutHead(std::string_view a, std::string_view b) { return StrRight(a, b.size()); }

}  // namespace kv
