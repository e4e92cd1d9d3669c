#include <gtest/gtest.h>

#include "foundation/core/util/encoding.h"

namespace kv {
namespace {

TEST(Encoding, JapaneseRoundTripsThroughCp932) {
  const std::string utf8 = "等倍表示ｿﾌﾄ 写真.jpg";
  auto cp = Utf8ToCp932(utf8);
  ASSERT_TRUE(cp);
  // 4 kanji x 2 bytes, 3 half-width katakana x 1 byte, then ASCII.
  EXPECT_EQ(cp->substr(0, 2), "\x93\x99");
  EXPECT_EQ(cp->size(), 8u + 3u + 1u + 4u + 4u);
  auto back = Cp932ToUtf8(*cp);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, utf8);
}

TEST(Encoding, BackslashAndTildeStayAscii) {
  auto cp = Utf8ToCp932("C:\\photos\\~a");
  ASSERT_TRUE(cp);
  EXPECT_EQ(*cp, "C:\\photos\\~a");
  auto back = Cp932ToUtf8("a\\b");
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, "a\\b");
}

TEST(Encoding, RefusesWhatHasNoCounterpart) {
  EXPECT_FALSE(Utf8ToCp932("emoji \xF0\x9F\x98\x80"));
  EXPECT_FALSE(Utf8ToCp932("한국어"));       // Hangul is not in CP932
  EXPECT_FALSE(Utf8ToCp932("bad \xC3"));     // cut-off UTF-8
  EXPECT_FALSE(Cp932ToUtf8("\x93"));         // cut-off double-byte character
  EXPECT_FALSE(Cp932ToUtf8("\x81\x20"));     // invalid trail byte
  EXPECT_EQ(Utf8ToCp932(""), std::string());
}

TEST(Encoding, WhatWouldReadBackAsAnotherCharacterIsRefusedAndReplaced) {
  // Yen sign and overline: the bytes they would become read back as a
  // backslash and a tilde.
  EXPECT_FALSE(Utf8ToCp932("\xC2\xA5" "100"));
  EXPECT_FALSE(Utf8ToCp932("a\xE2\x80\xBE"));
  EXPECT_EQ(ReplaceNonCp932("\xC2\xA5" "100 \xE2\x80\xBE \xE5\x86\x99"), "_100 _ \xE5\x86\x99");
  EXPECT_TRUE(Utf8ToCp932(ReplaceNonCp932("\xC2\xA5\xE2\x80\xBE\xF0\x9F\x98\x80\xFF")));
  // Full-width yen and the backslash itself stay exact.
  const auto fullWidth = Utf8ToCp932("\xEF\xBF\xA5\\");
  ASSERT_TRUE(fullWidth);
  EXPECT_EQ(Cp932ToUtf8(*fullWidth), "\xEF\xBF\xA5\\");
}

TEST(Encoding, CharactersWithTwoUnicodeFormsAreWrittenAsTheirCp932Bytes) {
  // What an input method types, what CP932 reads back, and their one byte pair.
  const struct {
    const char* typed;
    const char* cp932Form;
    const char* bytes;
  } pairs[] = {{"\u301C", "\uFF5E", "\x81\x60"}, {"\u2016", "\u2225", "\x81\x61"},
               {"\u2212", "\uFF0D", "\x81\x7C"}, {"\u00A2", "\uFFE0", "\x81\x91"},
               {"\u00A3", "\uFFE1", "\x81\x92"}, {"\u00AC", "\uFFE2", "\x81\xCA"}};
  for (const auto& p : pairs) {
    const std::string typed = std::string("波") + p.typed + "線.jpg";
    const std::string cp932Form = std::string("波") + p.cp932Form + "線.jpg";
    const std::string bytes = std::string("\x94\x67") + p.bytes + "\x90\xFC.jpg";
    EXPECT_EQ(Utf8ToCp932(typed), bytes) << p.typed;
    EXPECT_EQ(Utf8ToCp932(cp932Form), bytes) << p.typed;
    EXPECT_EQ(Cp932ToUtf8(bytes), cp932Form);
    EXPECT_EQ(ReplaceNonCp932(typed), typed);
    EXPECT_EQ(Cp932FormVariants(cp932Form), (std::vector<std::string>{cp932Form, typed}));
  }
  // Each such character in either form, the text itself first; nothing
  // else changes.
  const std::vector<std::string> v = Cp932FormVariants("a\u301Cb\uFFE0c");
  EXPECT_EQ(v, (std::vector<std::string>{"a\u301Cb\uFFE0c", "a\uFF5Eb\uFFE0c", "a\u301Cb\u00A2c",
                                          "a\uFF5Eb\u00A2c"}));
  EXPECT_EQ(Cp932FormVariants("plain"), std::vector<std::string>{"plain"});
  EXPECT_EQ(Cp932FormVariants(std::string(20, '-') + "\u301C\u301C\u301C\u301C", 5).size(), 5u);
}

}  // namespace
}  // namespace kv
