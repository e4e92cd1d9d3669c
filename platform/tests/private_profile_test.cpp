#include "platform/private_profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace kv::platform {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteAll(const fs::path& p, const std::string& s) {
  std::ofstream f(p, std::ios::binary);
  f << s;
}

class TempFolder {
 public:
  TempFolder() {
    std::string tmpl = (fs::temp_directory_path() / "kvppXXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempFolder() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, ec);
    fs::remove_all(path_, ec);
  }
  fs::path operator/(const std::string& n) const { return path_ / n; }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// The calibration file as the viewer writes it, CRLF lines.
const std::string kViewerIni =
    "[Kovalindra]\r\npt1x=100\r\npt1y=120\r\npt2x=  893  \r\npt2y=\"120\"\r\nsizedisplay=210\r\n";

TEST(PrivateProfileLookup, FindsKeysCaseInsensitivelyTrimsAndStripsQuotes) {
  EXPECT_EQ(LookupProfileValue(kViewerIni, "Kovalindra", "pt1x", "0"), "100");
  EXPECT_EQ(LookupProfileValue(kViewerIni, "KOVALINDRA", "PT1Y", "0"), "120");
  EXPECT_EQ(LookupProfileValue(kViewerIni, "kovalindra", "pt2x", "0"), "893");
  EXPECT_EQ(LookupProfileValue(kViewerIni, "Kovalindra", "pt2y", "0"), "120");
  EXPECT_EQ(LookupProfileValue(kViewerIni, "Kovalindra", "missing", "dflt  "), "dflt");
  EXPECT_EQ(LookupProfileValue(kViewerIni, "Other", "pt1x", "7"), "7");
  EXPECT_EQ(LookupProfileValue("", "Kovalindra", "pt1x", "-1"), "-1");
}

TEST(PrivateProfileLookup, ClipsToTheCallersBufferWithoutSplittingACharacter) {
  const std::string ini = "[s]\nnum=123456789\nkana=\x83\x41\x83\x43\x83\x45\x83\x47\n";
  // An 8-byte buffer holds 7 bytes and the terminator.
  EXPECT_EQ(LookupProfileValue(ini, "s", "num", "", 8), "1234567");
  // 7 bytes would end inside the fourth double-byte character.
  EXPECT_EQ(LookupProfileValue(ini, "s", "kana", "", 8), "\x83\x41\x83\x43\x83\x45");
  EXPECT_EQ(LookupProfileValue(ini, "s", "num", "", 1), "");
  EXPECT_EQ(LookupProfileValue(ini, "s", "num", "", 0), "");
  EXPECT_EQ(LookupProfileValue(ini, "s", "none", "abcdefghij", 4), "abc");
}

TEST(PrivateProfileLookup, DoubleByteNamesAreMatchedExactly) {
  // 0x83 0x5D is a katakana whose second byte is ']'; 0x83 0x41 and 0x83 0x61
  // differ only in what would be the case of their second byte.
  const std::string ini =
      "[\x83\x5D]\nk=one\n[\x83\x41]\nk=two\n[x]\n\x83\x61=three\n";
  EXPECT_EQ(LookupProfileValue(ini, "\x83\x5D", "k", ""), "one");
  EXPECT_EQ(LookupProfileValue(ini, "\x83\x41", "k", ""), "two");
  EXPECT_EQ(LookupProfileValue(ini, "\x83\x61", "k", "none"), "none");
  EXPECT_EQ(LookupProfileValue(ini, "x", "\x83\x61", ""), "three");
  EXPECT_EQ(LookupProfileValue(ini, "x", "\x83\x41", "none"), "none");
}

TEST(PrivateProfileLookup, FirstSectionAndFirstKeyWinAndCommentsAreSkipped) {
  const std::string ini = "; pt1x=5\n[a]\nk=1\nk=2\n;k=3\n[a]\nk=4\nj\n";
  EXPECT_EQ(LookupProfileValue(ini, "a", "k", ""), "1");
  EXPECT_EQ(LookupProfileValue(ini, "a", "j", "none"), "none");
  EXPECT_EQ(LookupProfileValue(ini, "a", ";k", "none"), "none");
}

TEST(PrivateProfileSet, ReplacesAddsAndRemovesKeepingEverythingElse) {
  auto r = SetProfileValue(kViewerIni, "Kovalindra", "pt1x", "250");
  ASSERT_TRUE(r);
  EXPECT_EQ(*r,
            "[Kovalindra]\r\npt1x=250\r\npt1y=120\r\npt2x=  893  \r\npt2y=\"120\"\r\n"
            "sizedisplay=210\r\n");
  r = SetProfileValue(*r, "Kovalindra", "extra", "\x93\xFA\x96\x7B");  // Japanese bytes
  ASSERT_TRUE(r);
  EXPECT_EQ(LookupProfileValue(*r, "Kovalindra", "extra", ""), "\x93\xFA\x96\x7B");
  EXPECT_NE(r->find("sizedisplay=210\r\nextra="), std::string::npos);
  r = SetProfileValue(*r, "New", "k", "v");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->substr(r->size() - 12), "[New]\r\nk=v\r\n");
  r = SetProfileValue(*r, "Kovalindra", "pt1y", std::nullopt);
  ASSERT_TRUE(r);
  EXPECT_EQ(LookupProfileValue(*r, "Kovalindra", "pt1y", "gone"), "gone");
  EXPECT_EQ(LookupProfileValue(*r, "Kovalindra", "pt2y", ""), "120");
}

TEST(PrivateProfileSet, InsertsBeforeTheBlankLinesThatPartSections) {
  const std::string ini = "[a]\nx=1\n\n[b]\ny=2\n";
  const auto r = SetProfileValue(ini, "a", "z", "3");
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, "[a]\nx=1\nz=3\n\n[b]\ny=2\n");
}

TEST(PrivateProfileSet, RefusesNamesAndValuesThatWouldBreakTheFile) {
  EXPECT_FALSE(SetProfileValue("", "a", "k", "two\nlines"));
  EXPECT_FALSE(SetProfileValue("", "a", "k", "cr\r"));
  EXPECT_FALSE(SetProfileValue("", "a", "k=v", "x"));
  EXPECT_FALSE(SetProfileValue("", "a]", "k", "x"));
  EXPECT_FALSE(SetProfileValue("", "", "k", "x"));
  EXPECT_FALSE(SetProfileValue("", "a", "  ", "x"));
  EXPECT_FALSE(SetProfileValue("", "a", "[k", "x"));
  // A double-byte character whose second byte is ']' is a fine name.
  EXPECT_TRUE(SetProfileValue("", "\x83\x5D", "k", "x"));
  // A name ending in the first half of a double-byte character would eat the
  // ']' or '=' after it.
  EXPECT_FALSE(SetProfileValue("", "abc\x81", "k", "x"));
  EXPECT_FALSE(SetProfileValue("", "a", "k\x83", "x"));
  EXPECT_FALSE(SetProfileValue("", "a", "k\x83 ", "x"));
}

TEST(PrivateProfileSet, WhatIsWrittenIsFoundAgainAndRewritingDoesNotGrow) {
  struct Case {
    const char* section;
    const char* key;
  } cases[] = {{"Kovalindra", "pt1x"}, {" padded ", "\tkey "}, {"\x83\x5D\x83\x41", "\x93\xFA"},
               {"a\x81]", "k\x81="}};
  std::string ini = kViewerIni;
  for (const Case& c : cases) {
    auto once = SetProfileValue(ini, c.section, c.key, "\x96\x7B 1");
    ASSERT_TRUE(once) << c.section;
    EXPECT_EQ(LookupProfileValue(*once, c.section, c.key, "missing"), "\x96\x7B 1") << c.section;
    auto twice = SetProfileValue(*once, c.section, c.key, "\x96\x7B 1");
    ASSERT_TRUE(twice);
    EXPECT_EQ(*twice, *once) << c.section;
    ini = *twice;
  }
  EXPECT_EQ(LookupProfileValue(ini, "Kovalindra", "pt1y", ""), "120");
  // Only the line written changes, whatever the other lines end in; added
  // lines follow the first line break, not a carriage return that ended the
  // last line.
  auto odd = SetProfileValue("[s]\nk=old\r\nlast\r\r", "s", "k", "v");
  ASSERT_TRUE(odd);
  EXPECT_EQ(*odd, "[s]\nk=v\r\nlast\r\r");
  EXPECT_EQ(SetProfileValue(*odd, "s", "k", "v"), *odd);
  odd = SetProfileValue(*odd, "s", "j", "w");
  ASSERT_TRUE(odd);
  EXPECT_EQ(*odd, "[s]\nk=v\r\nlast\r\r\nj=w\n");
  EXPECT_EQ(SetProfileValue(*odd, "s", "j", "w"), *odd);
}

TEST(PrivateProfileFile, WritesAtomicallyAndReadsBack) {
  TempFolder dir;
  const std::string path = (dir / "Kovalindra.ini").string();
  EXPECT_EQ(GetPrivateProfileString("Kovalindra", "pt1x", "0", path, 8), "0");
  ASSERT_TRUE(WritePrivateProfileString("Kovalindra", "pt1x", "100", path));
  ASSERT_TRUE(WritePrivateProfileString("Kovalindra", "pt1y", "120", path));
  EXPECT_EQ(ReadAll(path), "[Kovalindra]\r\npt1x=100\r\npt1y=120\r\n");
  EXPECT_EQ(GetPrivateProfileString("Kovalindra", "pt1y", "0", path, 8), "120");
  // Nothing else is left in the folder (no temporary files).
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(PrivateProfileFile, FailureIsReportedAndLeavesTheFileAsItWas) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempFolder dir;
  const fs::path path = dir / "Kovalindra.ini";
  WriteAll(path, kViewerIni);
  fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(WritePrivateProfileString("Kovalindra", "pt1x", "5", path.string()));
  fs::permissions(dir.path(), fs::perms::owner_all);
  EXPECT_EQ(ReadAll(path), kViewerIni);
}

TEST(PrivateProfileFile, RefusesFoldersAndOversizedFiles) {
  TempFolder dir;
  EXPECT_FALSE(WritePrivateProfileString("a", "k", "v", dir.path().string()));
  EXPECT_FALSE(WritePrivateProfileString("a", "k", "v", (dir / "no/such/folder.ini").string()));
  EXPECT_EQ(GetPrivateProfileString("a", "k", "fb", dir.path().string()), "fb");
  const fs::path big = dir / "big.ini";
  WriteAll(big, "[a]\nk=v\n" + std::string(kMaxPrivateProfileBytes, ';'));
  EXPECT_EQ(GetPrivateProfileString("a", "k", "fb", big.string()), "fb");
  EXPECT_FALSE(WritePrivateProfileString("a", "k", "w", big.string()));
  EXPECT_EQ(fs::file_size(big), kMaxPrivateProfileBytes + 8);
}

// Thousands of damaged settings files: lookups never fail, and a write that
// is accepted is read back exactly while the other keys keep their values.
TEST(PrivateProfileMutation, DamagedFilesStayReadableAndWritesRoundTrip) {
  const std::string seed =
      "[Kovalindra]\r\npt1x=100\r\npt1y=120\r\n\r\n[\x83\x5D\x83\x41]\r\n\x93\xFA=\"\x96\x7B\"\r\n"
      "; note\r\n[link]\r\nurl=http://example.invalid/\r\n";
  std::mt19937 rng(1234);
  const char interesting[] = {'[', ']', '=', '\r', '\n', ' ', '"', ';', '\x83', '\x5D', '\0'};
  for (int round = 0; round < 4000; ++round) {
    std::string s = seed;
    const int edits = 1 + int(rng() % 6);
    for (int e = 0; e < edits; ++e) {
      const size_t at = s.empty() ? 0 : rng() % s.size();
      switch (rng() % 4) {
        case 0: if (!s.empty()) s[at] = char(rng() & 0xFF); break;
        case 1: if (!s.empty()) s[at] = interesting[rng() % sizeof interesting]; break;
        case 2: s.insert(at, 1, interesting[rng() % sizeof interesting]); break;
        case 3: s.resize(at); break;
      }
    }
    for (const char* sec : {"Kovalindra", "\x83\x5D\x83\x41", "link", "x"}) {
      const std::string v = LookupProfileValue(s, sec, "pt1x", "fb", 8);
      EXPECT_LE(v.size(), 7u);
      (void)LookupProfileValue(s, sec, "\x93\xFA", "", 4096);
    }
    const std::string url = LookupProfileValue(s, "link", "url", "none");
    const std::string kana = LookupProfileValue(s, "\x83\x5D\x83\x41", "\x93\xFA", "none");
    const auto written = SetProfileValue(s, "Kovalindra", "pt2x", "893");
    ASSERT_TRUE(written) << round;
    EXPECT_EQ(LookupProfileValue(*written, "Kovalindra", "pt2x", ""), "893") << round;
    // Other sections read as they did.
    EXPECT_EQ(LookupProfileValue(*written, "link", "url", "none"), url) << round;
    EXPECT_EQ(LookupProfileValue(*written, "\x83\x5D\x83\x41", "\x93\xFA", "none"), kana) << round;
  }
}

}  // namespace
}  // namespace kv::platform
