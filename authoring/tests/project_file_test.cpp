#include "authoring/model/project_file.h"

#include <gtest/gtest.h>

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

TEST(ProjectFile, ReadsTheExampleAndCarriageReturnLineFeedAlike) {
  const ProjectContent lf = ParseProjectFile(Bytes(kExample));
  ASSERT_EQ(lf.registrations.size(), 1u);
  EXPECT_EQ(lf.jpegReference, "photo.jpg");
  EXPECT_EQ(lf.registrations[0], MakeRegistration(120, 340, 880, 352, 250));

  std::string crlf;
  for (char ch : std::string(kExample)) {
    if (ch == '\n') crlf += '\r';
    crlf += ch;
  }
  const ProjectContent other = ParseProjectFile(Bytes(crlf));
  EXPECT_EQ(other.jpegReference, lf.jpegReference);
  EXPECT_EQ(other.registrations, lf.registrations);
}

TEST(ProjectFile, ToleratesOrderRepeatsUnknownLinesAndCounts) {
  // No header, count disagreeing with the blocks, a second reference
  // replacing the first, tags differing by case or blanks ignored,
  // negative values kept.
  const ProjectContent c = ParseProjectFile(Bytes(
      "[JPEG]\na.jpg\n[COUNT]\n7\n[data]\n1\n [DATA]\n[DATA] \n"
      "[DATA]\n-1\n-2\n3\n4\n1\n1\n99\nnoise\n[JPEG]\nsub/b.jpg\n[DATA]\n0\n0\n10\n0\n5\n0\n10\n"));
  EXPECT_EQ(c.jpegReference, "sub/b.jpg");
  ASSERT_EQ(c.registrations.size(), 2u);
  EXPECT_EQ(c.registrations[0].startX, -1);
  EXPECT_EQ(c.registrations[0].startY, -2);
  EXPECT_EQ(c.registrations[0].lengthMm, 99);
  EXPECT_EQ(c.registrations[1].lengthMm, 10);
}

TEST(ProjectFile, StopsAtEofAndDropsABlockCutShort) {
  const ProjectContent stopped =
      ParseProjectFile(Bytes("[DATA]\n1\n2\n3\n4\n5\n6\n7\nEOF\n[DATA]\n1\n2\n3\n4\n5\n6\n7\n"));
  EXPECT_EQ(stopped.registrations.size(), 1u);
  const ProjectContent cut = ParseProjectFile(Bytes("[DATA]\n1\n2\n3\n4\n5\n6\n7\n[DATA]\n1\n2\n3"));
  EXPECT_EQ(cut.registrations.size(), 1u);
  // A tag whose value line is missing at the end of the file.
  EXPECT_EQ(ParseProjectFile(Bytes("[JPEG]")).jpegReference, "");
}

TEST(ProjectFile, ValueLinesAreReadWhole) {
  const std::string longName(300, 'a');
  const ProjectContent c = ParseProjectFile(Bytes("[JPEG]\n" + longName + ".jpg\n[DATA]\nEOF\n"));
  EXPECT_EQ(c.jpegReference, longName + ".jpg");
  EXPECT_TRUE(c.registrations.empty());
}

TEST(ProjectFile, WriteThenReadKeepsEverythingIncludingJapaneseNames) {
  ProjectContent c;
  c.jpegReference = *Utf8ToCp932("写真/ソファー 表.jpg");  // 0x5C as a trail byte
  for (int i = 0; i < 20; ++i)
    c.registrations.push_back(MakeRegistration(i * 7 - 3, -i, i * 11, 2147483647 - i, i + 1));
  const std::string bytes = FormatProjectFile(c);
  const ProjectContent back = ParseProjectFile(Bytes(bytes));
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
    const ProjectContent out = ParseProjectFile(Bytes(m));
    ASSERT_LE(out.registrations.size(), m.size() / 8 + 1);
    (void)ParseSettingsFile(Bytes(m));
  }
}

}  // namespace
}  // namespace kv::authoring
