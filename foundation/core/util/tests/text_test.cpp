#include <gtest/gtest.h>

#include <cmath>
#include <climits>
#include <limits>
#include <string>

#include "foundation/core/util/bytes.h"
#include "foundation/core/util/geometry.h"
#include "foundation/core/util/module_folder.h"
#include "foundation/core/util/text.h"

namespace kv {
namespace {

TEST(TextToLong, ParsesLikeTheSettingsFilesExpect) {
  EXPECT_EQ(TextToLong("  42abc"), 42);
  EXPECT_EQ(TextToLong("-17"), -17);
  EXPECT_EQ(TextToLong("+8"), 8);
  EXPECT_EQ(TextToLong("abc"), 0);
  EXPECT_EQ(TextToLong(""), 0);
  EXPECT_EQ(TextToLong("-"), 0);
  EXPECT_EQ(TextToLong("2147483647"), 2147483647);
  EXPECT_EQ(TextToLong("-2147483648"), std::numeric_limits<int32_t>::min());
  // Saturates instead of wrapping into a plausible-looking wrong number.
  EXPECT_EQ(TextToLong("99999999999999999999"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(TextToLong("-99999999999999999999"), std::numeric_limits<int32_t>::min());
  // A view that is not NUL-terminated stops at its end.
  std::string_view cut = std::string_view("123456").substr(0, 3);
  EXPECT_EQ(TextToLong(cut), 123);
}

TEST(StrictNumbers, OnlySignAndDigitsWithinTheRange) {
  EXPECT_EQ(ParseDecimal("123", 0, 1000), 123);
  EXPECT_EQ(ParseDecimal("-5", -10, 10), -5);
  EXPECT_EQ(ParseDecimal("+7", 0, 10), 7);
  EXPECT_EQ(ParseDecimal("-2147483648", INT32_MIN, INT32_MAX), INT32_MIN);
  for (const char* bad : {"12.5", "1e3", "0x30", "", "-", "+", " 1", "1 ", "2147483648", "--1",
                          "99999999999999999999999", "１２"})
    EXPECT_EQ(ParseDecimal(bad, INT32_MIN, INT32_MAX), std::nullopt) << bad;
  EXPECT_EQ(ParseDecimal("11", 0, 10), std::nullopt);
}

TEST(StrictNumbers, TypedFullWidthDigitsReadAsDigits) {
  EXPECT_EQ(ParseTypedNumber("１５０", 1, 1000000), 150);
  EXPECT_EQ(ParseTypedNumber(" 1５0\t", 1, 1000000), 150);
  EXPECT_EQ(ParseTypedNumber("\u3000２１０\u3000", 1, 1000000), 210);
  EXPECT_EQ(ParseTypedNumber("－３", -10, 10), -3);
  EXPECT_EQ(ParseTypedNumber("＋３", -10, 10), 3);
  for (const char* bad : {"１．５", "1 5", "", "\u3000", "150mm", "0", "1000001", "一五〇"})
    EXPECT_EQ(ParseTypedNumber(bad, 1, 1000000), std::nullopt) << bad;
  EXPECT_NE(std::string(kTypedDigitsNote).find("０～９"), std::string::npos);
}

TEST(NumberText, Formats) {
  EXPECT_EQ(IntToText(-5), "-5");
  EXPECT_EQ(DoubleToText(1.005), "1.00");  // binary 1.005 is below the midpoint
  EXPECT_EQ(DoubleToText(0.125), "0.12");
  EXPECT_EQ(DoubleToText(2.0 / 3.0), "0.67");
  EXPECT_FALSE(DoubleToText(1e300).empty());
}

TEST(RectText, RoundTripsInTheFixedFieldRange) {
  EXPECT_EQ(RectToText(5, -20, 1024, 768), "0005 -020 1024 0768");
  EXPECT_EQ(TextToRect("0005 -020 1024 0768"), (Rect{5, -20, 1024, 768}));
  EXPECT_EQ(TextToRect(""), (Rect{0, 0, 200, 200}));
  EXPECT_EQ(TextToRect("0012"), (Rect{12, 0, 0, 0}));
  for (int v : {-999, -1, 0, 1, 9999}) {
    EXPECT_EQ(TextToRect(RectToText(v, v, v, v)), (Rect{v, v, v, v})) << v;
  }
}

TEST(FixedLengthStrings, CutByBytes) {
  EXPECT_EQ(StrLeft("abcdef", 2), "abcd");
  EXPECT_EQ(StrLeft("ab", 3), "ab");
  EXPECT_EQ(StrLeft("ab", 2), "");
  EXPECT_EQ(StrRight("abcdef", 2), "cdef");
  EXPECT_EQ(StrRight("ab", 3), kStrRightTooShort);
  EXPECT_EQ(StrCutTail("photo.kvi", ".kvi"), "photo");
  EXPECT_EQ(StrCutHead("/dir/photo.jpg", "/dir/"), "photo.jpg");
}

TEST(Geometry, DistanceAndAngle) {
  EXPECT_DOUBLE_EQ(PointDistance(0, 0, 3, 4), 5.0);
  // No 32-bit overflow in the squares.
  EXPECT_NEAR(PointDistance(-2000000000, 0, 2000000000, 0), 4e9, 1);
  EXPECT_DOUBLE_EQ(SegmentAngle(0, 0, 10, 0), 0.0);
  EXPECT_DOUBLE_EQ(SegmentAngle(0, 0, 0, -10), 90.0);  // up on screen
  EXPECT_DOUBLE_EQ(SegmentAngle(0, 0, -10, 0), 180.0);
  EXPECT_DOUBLE_EQ(SegmentAngle(0, 0, 0, 10), 270.0);
  EXPECT_DOUBLE_EQ(SegmentAngle(0, 0, 10, 10), 315.0);
  EXPECT_DOUBLE_EQ(SegmentAngle(3, 3, 3, 3), 0.0);
  for (int y = -5; y <= 5; ++y) {
    const double a = SegmentAngle(0, 0, 1000000, y);
    EXPECT_GE(a, 0.0);
    EXPECT_LT(a, 360.0);
  }
}

TEST(Bytes, LittleEndian) {
  uint8_t b[4];
  PutInt32LE(0x12345678u, b);
  EXPECT_EQ(b[0], 0x78);
  EXPECT_EQ(b[1], 0x56);
  EXPECT_EQ(b[2], 0x34);
  EXPECT_EQ(b[3], 0x12);
  PutInt32LE(uint32_t(-5), b);
  EXPECT_EQ(GetInt32LE(b), -5);
}

TEST(ModuleFolder, IsTheTestProgramsFolder) {
  const std::string folder = GetModuleFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(folder.front(), '/');
}

}  // namespace
}  // namespace kv
