#pragma once
// Number, rectangle and fixed-length string conversions used by the settings
// files, the profile and the parsers. Texts are byte strings (CP932 where they
// come from files); every length counts bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// Decimal number at the start of the text: leading blanks skipped, optional
// sign, stops at the first non-digit; no digits gives 0. Values beyond the
// 32-bit range saturate instead of wrapping.
int32_t TextToLong(std::string_view text);
// A whole number written by a program: an optional sign and decimal digits,
// nothing else (no blanks, no point, no exponent), within [min, max].
std::optional<int64_t> ParseDecimal(std::string_view text, int64_t min, int64_t max);
// A whole number typed by a user (UTF-8): blanks around it, and full-width
// digits and signs as Japanese input produces them, read as their ASCII
// forms; otherwise as ParseDecimal.
std::optional<int64_t> ParseTypedNumber(std::string_view utf8, int64_t min, int64_t max);
// Which digits ParseTypedNumber takes, for refusal messages (UTF-8).
extern const char* const kTypedDigitsNote;
std::string IntToText(int32_t value);               // "%d"
std::string DoubleToText(double value);             // "%.2f"
std::string RectToText(int32_t left, int32_t top, int32_t right, int32_t bottom);  // "%04d %04d %04d %04d"
// Empty text gives 0, 0, 200, 200; otherwise the four numbers at byte
// offsets 0, 5, 10 and 15 (an offset past the end reads as 0).
Rect TextToRect(std::string_view text);

// The text without its last n bytes when it has at least n, else unchanged.
std::string StrLeft(std::string_view text, size_t n);
// The text without its first n bytes when it has at least n, else the
// fixed "too short" text.
std::string StrRight(std::string_view text, size_t n);
std::string StrCutTail(std::string_view a, std::string_view b);
std::string StrCutHead(std::string_view a, std::string_view b);

// The text StrRight returns for a text shorter than n (UTF-8 here; it is
// never shown, only compared).
extern const char* const kStrRightTooShort;

}  // namespace kv
