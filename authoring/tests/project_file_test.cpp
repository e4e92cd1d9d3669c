#include "authoring/model/project_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "foundation/core/util/encoding.h"

namespace kv::authoring {
namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

const char* const kExample =
    "[KOVASAND]\nVERSION1.0\n[COUNT]\n1\n[JPEG]\nphoto.jpg\n[DATA]\n"
    "120\n340\n880\n352\n500\n346\n250\nEOF\n";

TEST(ProjectFile, WritesTheLayoutWithLineFeedsAndCentreBeforeLength) {
  ProjectContent c;
  c.jpegReference = "photo.jpg";
  c.registrations.push_back(MakeRegistration(120, 340, 880, 352, 250));
  EXPECT_EQ(FormatProjectFile(c), kExample);

  ProjectContent empty;
  EXPECT_EQ(FormatProjectFile(empty),
            "[KOVASAND]\nVERSION1.0\n[COUNT]\n0\n[JPEG]\n\nEOF\n");
}

ProjectContent Parse(const std::string& bytes) {
  std::string reason;
  const std::optional<ProjectContent> c = ParseProjectFile(Bytes(bytes), reason);
  EXPECT_TRUE(c.has_value()) << reason;
  return c.value_or(ProjectContent{});
}

// The reason a file is refused for; empty when it was read.
std::string Refusal(const std::string& bytes) {
  std::string reason;
  return ParseProjectFile(Bytes(bytes), reason) ? std::string() : reason;
}

TEST(ProjectFile, ReadsTheExampleAndCarriageReturnLineFeedAlike) {
  const ProjectContent lf = Parse(kExample);
  ASSERT_EQ(lf.registrations.size(), 1u);
  EXPECT_EQ(lf.jpegReference, "photo.jpg");
  EXPECT_EQ(lf.registrations[0], MakeRegistration(120, 340, 880, 352, 250));

  std::string crlf;
  for (char ch : std::string(kExample)) {
    if (ch == '\n') crlf += '\r';
    crlf += ch;
  }
  const ProjectContent other = Parse(crlf);
  EXPECT_EQ(other.jpegReference, lf.jpegReference);
  EXPECT_EQ(other.registrations, lf.registrations);
}

TEST(ProjectFile, ToleratesOrderRepeatsAndUnknownLines) {
  // No header, a second reference replacing the first, lines differing from
  // a tag by case or blanks ignored, negative values and a sign kept.
  const ProjectContent c = Parse(
      "[JPEG]\na.jpg\n[COUNT]\n2\n[data]\n1\n [DATA]\n[DATA] \n"
      "[DATA]\n-1\n-2\n+3\n4\n1\n1\n99\nnoise\n[JPEG]\nsub/b.jpg\n[DATA]\n0\n0\n10\n0\n5\n0\n10\n"
      "EOF\n[DATA]\nafter the end\n");
  EXPECT_EQ(c.jpegReference, "sub/b.jpg");
  ASSERT_EQ(c.registrations.size(), 2u);
  EXPECT_EQ(c.registrations[0].startX, -1);
  EXPECT_EQ(c.registrations[0].startY, -2);
  EXPECT_EQ(c.registrations[0].endX, 3);
  EXPECT_EQ(c.registrations[0].lengthMm, 99);
  EXPECT_EQ(c.registrations[1].lengthMm, 10);
  const std::string longName(300, 'a');
  EXPECT_EQ(Parse("[COUNT]\n0\n[JPEG]\n" + longName + ".jpg\nEOF\n").jpegReference,
            longName + ".jpg");
}

TEST(ProjectFile, AFileCutAnywhereIsRefusedSayingWhere) {
  const std::string two =
      "[KOVASAND]\nVERSION1.0\n[COUNT]\n2\n[JPEG]\nphoto.jpg\n[DATA]\n1\n2\n30\n4\n15\n3\n123\n"
      "[DATA]\n5\n6\n70\n8\n37\n7\n250\nEOF\n";
  ASSERT_EQ(Parse(two).registrations.size(), 2u);
  // Every cut short of the last line feed is refused, never read in part.
  for (size_t n = 0; n + 4 < two.size(); ++n)
    EXPECT_NE(Refusal(two.substr(0, n)), "") << n;
  EXPECT_EQ(Refusal(two.substr(0, two.size() - 1)), "");
  // Cut inside the second block's length "250": the file has no end.
  EXPECT_NE(Refusal(two.substr(0, two.find("250") + 2)).find("EOF"), std::string::npos);
  // Cut inside the second block: that block is named.
  const std::string cut = two.substr(0, two.find("70\n"));
  EXPECT_NE(Refusal(cut).find("2番目の[DATA]"), std::string::npos) << Refusal(cut);
  // A block lost whole: the count disagrees.
  std::string lost = two;
  lost.erase(lost.find("[DATA]\n5"), std::string("[DATA]\n5\n6\n70\n8\n37\n7\n250\n").size());
  EXPECT_NE(Refusal(lost).find("[COUNT]は2"), std::string::npos) << Refusal(lost);
  // A block too short runs into the next tag, which is no number.
  EXPECT_NE(Refusal("[COUNT]\n1\n[DATA]\n1\n2\n3\nEOF\n").find("1番目の[DATA]"), std::string::npos);
  EXPECT_NE(Refusal("[JPEG]\na.jpg\nEOF\n").find("[COUNT]"), std::string::npos);
  EXPECT_NE(Refusal("[JPEG]"), "");
  EXPECT_NE(Refusal("no project\nEOF\n").find("kvp"), std::string::npos);
  EXPECT_NE(Refusal(""), "");
}

TEST(ProjectFile, NumbersAreReadStrictlyNamingBlockAndField) {
  const auto with = [](const std::string& length, const std::string& startX = "1") {
    return "[COUNT]\n2\n[JPEG]\na.jpg\n[DATA]\n1\n1\n9\n1\n5\n1\n10\n[DATA]\n" + startX +
           "\n1\n9\n1\n5\n1\n" + length + "\nEOF\n";
  };
  for (const std::string bad : {"12.5", "1e3", "0x30", "１２", "99999999999", " 12", "12 ", "",
                                "+", "-", "--1", "2147483648", "1,000"}) {
    const std::string why = Refusal(with(bad));
    EXPECT_NE(why.find("2番目の[DATA]ﾌﾞﾛｯｸの実ｻｲｽﾞ(mm)"), std::string::npos) << bad << ": " << why;
    EXPECT_NE(why.find("(20行目)"), std::string::npos) << why;
  }
  EXPECT_NE(Refusal(with("10", "x")).find("2番目の[DATA]ﾌﾞﾛｯｸの始点X"), std::string::npos);
  EXPECT_NE(Refusal("[COUNT]\n-1\nEOF\n").find("[COUNT]"), std::string::npos);
  // Values no scale comes from are read: the document marks them.
  EXPECT_EQ(Parse(with("0")).registrations[1].lengthMm, 0);
  EXPECT_EQ(Parse(with("-5")).registrations[1].lengthMm, -5);
  EXPECT_EQ(Parse(with("2147483647", "-2147483648")).registrations[1].startX, INT32_MIN);
}

// The reader's regression inputs say by their names what must become of
// them.
TEST(ProjectFile, RegressionInputsAreReadOrRefusedAsNamed) {
  const char* data = std::getenv("KV_TEST_DATA");
  ASSERT_NE(data, nullptr);
  const std::filesystem::path folder =
      std::filesystem::path(data).parent_path().parent_path() / "fuzz" / "regressions" / "kvp";
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    const bool refused = name.starts_with("refused_");
    if (!refused && !name.starts_with("read_")) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(Refusal(bytes).empty(), !refused) << name << ": " << Refusal(bytes);
    ++seen;
  }
  EXPECT_GE(seen, 10);
}

TEST(ProjectFile, WriteThenReadKeepsEverythingIncludingJapaneseNames) {
  ProjectContent c;
  c.jpegReference = *Utf8ToCp932("写真/ソファー 表.jpg");  // 0x5C as a trail byte
  for (int i = 0; i < 20; ++i)
    c.registrations.push_back(MakeRegistration(i * 7 - 3, -i, i * 11, 2147483647 - i, i + 1));
  const std::string bytes = FormatProjectFile(c);
  const ProjectContent back = Parse(bytes);
  EXPECT_EQ(back.jpegReference, c.jpegReference);
  EXPECT_EQ(back.registrations, c.registrations);
}

TEST(PhotoReference, RelativeToTheProjectFolderAndBack) {
  EXPECT_EQ(MakePhotoReference("/p/photo.jpg", "/p/"), "photo.jpg");
  EXPECT_EQ(MakePhotoReference("/p/sub/deeper/photo.jpg", "/p/"), "sub/deeper/photo.jpg");
  EXPECT_EQ(MakePhotoReference("/other/photo.jpg", "/p/q/"), "../../other/photo.jpg");
  EXPECT_EQ(MakePhotoReference("/p/photo.jpg", "/p/q/"), "../photo.jpg");
  EXPECT_EQ(MakePhotoReference("", "/p/"), "");

  for (const std::string photo : {"/p/photo.jpg", "/p/sub/a.jpg", "/other/x/y.jpg", "/p.jpg"}) {
    for (const std::string folder : {"/p/", "/p/q/", "/", "/other/x/z/"}) {
      EXPECT_EQ(ResolvePhotoReference(MakePhotoReference(photo, folder), folder), photo)
          << photo << " from " << folder;
    }
  }
}

TEST(PhotoReference, ReadsTheOtherPlatformsSeparatorsAndDots) {
  EXPECT_EQ(ResolvePhotoReference("sub\\photo.jpg", "/p/"), "/p/sub/photo.jpg");
  EXPECT_EQ(ResolvePhotoReference(".\\a\\..\\photo.jpg", "/p/"), "/p/photo.jpg");
  EXPECT_EQ(ResolvePhotoReference("C:\\photos\\photo.jpg", "/p/"), "/p/photo.jpg");
  EXPECT_EQ(ResolvePhotoReference("../../../../x.jpg", "/p/"), "/x.jpg");
  EXPECT_EQ(ResolvePhotoReference("", "/p/"), "");
  // A drive without a file name is no photo.
  EXPECT_EQ(ResolvePhotoReference("C:\\", "/p/"), "");
  EXPECT_EQ(ResolvePhotoReference("D:\\photos\\", "/p/"), "");
  EXPECT_EQ(ResolvePhotoReference("C:", "/p/"), "");
  // Here a colon is part of a name, and a name that looks like a drive is
  // stored so that it does not read as one.
  EXPECT_EQ(ResolvePhotoReference("C:photo.jpg", "/p/"), "/p/C:photo.jpg");
  EXPECT_EQ(ResolvePhotoReference("::a.jpg", "/p/"), "/p/::a.jpg");
  for (const std::string photo : {"/p/C:", "/p/C:/a.jpg", "/p/1:a.jpg"})
    EXPECT_EQ(ResolvePhotoReference(MakePhotoReference(photo, "/p/"), "/p/"), photo) << photo;
}

TEST(SettingsFile, AcceptsExactlyThreeSectionsInAnyOrder) {
  const KovasandSettings s =
      ParseSettingsFile(Bytes("[cy]\r\n40\r\n[link]\r\nhttps://example.com/\r\n[cx]\r\n120\r\nEOF\r\n"));
  EXPECT_EQ(s.tags, 3);
  EXPECT_EQ(s.cx, 120);
  EXPECT_EQ(s.cy, 40);
  EXPECT_EQ(s.link, "https://example.com/");

  EXPECT_EQ(ParseSettingsFile(Bytes("[link]\nx\n[cx]\n1\n")).tags, 2);
  const KovasandSettings twice = ParseSettingsFile(Bytes("[cx]\n1\n[cx]\n2\n[cy]\n3\n"));
  EXPECT_EQ(twice.tags, 3);
  EXPECT_EQ(twice.cx, 2);
  EXPECT_EQ(twice.link, "");
  EXPECT_EQ(ParseSettingsFile(Bytes("EOF\n[cx]\n1\n[cy]\n1\n[link]\nx\n")).tags, 0);
  EXPECT_EQ(ParseSettingsFile(Bytes("[cx]")).tags, 1);
}

TEST(ProjectFile, MutatedFilesNeverMisbehave) {
  ProjectContent c;
  c.jpegReference = "photo.jpg";
  for (int i = 0; i < 5; ++i) c.registrations.push_back(MakeRegistration(i, i, i + 9, i + 9, 10));
  const std::string good = FormatProjectFile(c);
  std::mt19937 rng(11);
  const char alphabet[] = "\n\r[]DATJPEGOF0123456789-\\/ \x81\xff";
  for (int round = 0; round < 20000; ++round) {
    std::string m = good;
    const int edits = 1 + int(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      const size_t at = rng() % (m.size() + 1);
      switch (rng() % 3) {
        case 0: if (at < m.size()) m.erase(at, 1 + rng() % 4); break;
        case 1: m.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]); break;
        default: if (at < m.size()) m[at] = char(rng()); break;
      }
    }
    m.resize(rng() % (m.size() + 1));
    std::string reason;
    const std::optional<ProjectContent> out = ParseProjectFile(Bytes(m), reason);
    // Read whole or refused with a reason.
    if (out) {
      ASSERT_LE(out->registrations.size(), m.size() / 8 + 1);
      ASSERT_NE(m.find("EOF"), std::string::npos);
    } else {
      ASSERT_FALSE(reason.empty());
    }
    (void)ParseSettingsFile(Bytes(m));
  }
}

}  // namespace
}  // namespace kv::authoring
