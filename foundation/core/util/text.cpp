#include "foundation/core/util/text.h"

#include <cstdio>
#include <limits>

namespace kv {

const char* const kStrRightTooShort = "文字列が短すぎます...StrRight";

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
