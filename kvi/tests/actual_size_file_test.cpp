#include "kvi/actual_size_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "foundation/core/util/bytes.h"
#include "foundation/core/util/file_io.h"

namespace kv {
namespace {

ActualSizeFile Example() {
  ActualSizeFile f;
  f.jpegName = "a.jpg";
  f.registrations.push_back(MakeRegistration(10, 40, 15, 31, 100));
  f.jpegBytes.assign(1000, 0xAB);
  f.logoWidth = 2;
  f.logoHeight = 2;
  f.logoBytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  return f;
}

int32_t IntAt(const std::vector<uint8_t>& b, size_t at) { return GetInt32LE(b.data() + at); }

TEST(ActualSizeFile, ExampleHasTheDocumentedOffsets) {
  const std::vector<uint8_t> b = SerializeActualSizeFile(Example());
  ASSERT_EQ(b.size(), 1158u);
  const uint8_t head[] = {10, 0, 0, 0, 'K', 'o', 'v', 'a', 'l', 'i', 'n', 'd', 'r', 'a',
                          3, 0, 0, 0, '1', '.', '0'};
  EXPECT_TRUE(std::equal(std::begin(head), std::end(head), b.begin()));
  EXPECT_EQ(IntAt(b, 21), 5);
  EXPECT_EQ(IntAt(b, 30), 1);
  // Centre before length in the file: start (10,40), end (15,31), centre (12,36).
  EXPECT_EQ(IntAt(b, 34), 10);
  EXPECT_EQ(IntAt(b, 38), 40);
  EXPECT_EQ(IntAt(b, 42), 15);
  EXPECT_EQ(IntAt(b, 46), 31);
  EXPECT_EQ(IntAt(b, 50), 12);
  EXPECT_EQ(IntAt(b, 54), 36);
  EXPECT_EQ(IntAt(b, 58), 100);
  for (size_t i = 62; i < 126; ++i) EXPECT_EQ(b[i], 0) << i;
  EXPECT_EQ(IntAt(b, 126), 1000);
  EXPECT_EQ(b[130], 0xAB);
  EXPECT_EQ(IntAt(b, 1130), 0);
  EXPECT_EQ(IntAt(b, 1134), 2);
  EXPECT_EQ(IntAt(b, 1138), 2);
  EXPECT_EQ(IntAt(b, 1142), 12);
  EXPECT_EQ(b[1146], 1);
  EXPECT_EQ(b[1157], 12);
}

TEST(ActualSizeFile, RoundTripsEveryValue) {
  ActualSizeFile f = Example();
  f.jpegName = "\x8E\xCA\x90\x5E.jpg";  // two double-byte characters: 4 bytes
  f.link = "https://example.com/a?b=c";
  f.registrations.push_back(MakeRegistration(-5, -7, -100, 3, 0));
  f.registrations.push_back(MakeRegistration(0, 0, 1, 1, -12));
  f.registrations.push_back(SizeRegistration{1, 2, 3, 4, 5, 99, 98});  // centre as stored
  const std::vector<uint8_t> b = SerializeActualSizeFile(f);
  EXPECT_EQ(IntAt(b, 21), 8);
  ActualSizeFile g;
  std::string reason;
  ASSERT_TRUE(ParseActualSizeFile(b, g, reason)) << reason;
  EXPECT_EQ(g.jpegName, f.jpegName);
  EXPECT_EQ(g.registrations, f.registrations);
  EXPECT_EQ(g.jpegBytes, f.jpegBytes);
  EXPECT_EQ(g.link, f.link);
  EXPECT_EQ(g.logoWidth, 2);
  EXPECT_EQ(g.logoBytes, f.logoBytes);
  EXPECT_TRUE(HasUsableLogo(g));
}

TEST(ActualSizeFile, EmptyFieldsAndOtherMagicAreSound) {
  ActualSizeFile f;
  f.magic = "Other";
  f.formatVersion = "9.9";
  const std::vector<uint8_t> b = SerializeActualSizeFile(f);
  // No registrations: straight on to the reserved block.
  EXPECT_EQ(b.size(), 4u + 5 + 4 + 3 + 4 + 4 + 64 + 4 + 4 + 12);
  ActualSizeFile g;
  std::string reason;
  ASSERT_TRUE(ParseActualSizeFile(b, g, reason)) << reason;
  EXPECT_TRUE(g.registrations.empty());
  EXPECT_TRUE(g.link.empty());
  EXPECT_FALSE(HasUsableLogo(g));
}

TEST(ActualSizeFile, LayoutBreaksAreRejectedWithAReasonAndLeaveTheRecord) {
  const std::vector<uint8_t> good = SerializeActualSizeFile(Example());
  ActualSizeFile keep;
  keep.link = "previous";
  auto rejects = [&](std::vector<uint8_t> b, const std::string& words) {
    std::string reason;
    EXPECT_FALSE(ParseActualSizeFile(b, keep, reason));
    EXPECT_NE(reason.find(words), std::string::npos) << reason;
    EXPECT_EQ(keep.link, "previous");
  };
  auto patch = [&](size_t at, int32_t v) {
    std::vector<uint8_t> b = good;
    PutInt32LE(uint32_t(v), b.data() + at);
    return b;
  };
  rejects(patch(30, -1), "登録数が負の値です");
  rejects(patch(30, 0x7fffffff), "ﾌｧｲﾙに収まる数を超えています");
  rejects(patch(30, 2), "長さ");  // one record too many shifts every later field
  rejects(patch(126, 1001), "ﾘﾝｸ先の長さ");
  rejects(patch(126, -1), "写真の長さが負の値です");
  rejects(patch(0, 1 << 30), "識別文字列");
  rejects(patch(1142, 13), "ﾛｺﾞの長さ");
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  rejects(longer, "余分なﾃﾞｰﾀ");
  rejects(std::vector<uint8_t>(good.begin(), good.begin() + 1157), "ﾛｺﾞ");
  rejects({}, "識別文字列");
}

TEST(ActualSizeFile, LogoLengthMismatchIsReadButNotUsable) {
  ActualSizeFile f = Example();
  f.logoWidth = 3;  // 3 x 2 x 3 = 18, but 12 bytes are there
  ActualSizeFile g;
  std::string reason;
  ASSERT_TRUE(ParseActualSizeFile(SerializeActualSizeFile(f), g, reason));
  EXPECT_FALSE(HasUsableLogo(g));
  f.logoWidth = -2;
  f.logoHeight = -2;
  ASSERT_TRUE(ParseActualSizeFile(SerializeActualSizeFile(f), g, reason));
  EXPECT_FALSE(HasUsableLogo(g));
  // Sides whose product overflows 32 bits do not wrap into a match.
  f.logoWidth = 65536;
  f.logoHeight = 65536;
  f.logoBytes.clear();
  ASSERT_TRUE(ParseActualSizeFile(SerializeActualSizeFile(f), g, reason));
  EXPECT_FALSE(HasUsableLogo(g));
}

TEST(ActualSizeFile, FilesOnDisk) {
  char tmpl[] = "/tmp/kv_kvi_XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const std::string path = dir + "/photo.kvi";
  std::string reason;
  ASSERT_TRUE(WriteActualSizeFile(path, Example(), reason)) << reason;
  ActualSizeFile g;
  ASSERT_TRUE(ReadActualSizeFile(path, g, reason)) << reason;
  EXPECT_EQ(g.registrations, Example().registrations);
  EXPECT_FALSE(ReadActualSizeFile(dir + "/missing.kvi", g, reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_FALSE(WriteActualSizeFile(dir + "/no/such/folder.kvi", Example(), reason));

  // Written over a link: the link stays and its target gets the file.
  ASSERT_EQ(::mkdir((dir + "/real").c_str(), 0700), 0);
  ASSERT_EQ(::symlink("real/photo.kvi", (dir + "/link.kvi").c_str()), 0);
  ActualSizeFile other = Example();
  other.link = "https://example.org/other";
  ASSERT_TRUE(WriteActualSizeFile(dir + "/link.kvi", other, reason)) << reason;
  struct stat st {};
  ASSERT_EQ(::lstat((dir + "/link.kvi").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_TRUE(ReadActualSizeFile(dir + "/real/photo.kvi", g, reason)) << reason;
  EXPECT_EQ(g.link, other.link);
  // A read-only target, named or behind the link: refused, left as it was.
  std::vector<uint8_t> before;
  ASSERT_TRUE(ReadWholeFile(dir + "/real/photo.kvi", before, reason));
  ASSERT_EQ(::chmod((dir + "/real/photo.kvi").c_str(), 0444), 0);
  for (const char* name : {"/real/photo.kvi", "/link.kvi"}) {
    reason.clear();
    EXPECT_FALSE(WriteActualSizeFile(dir + name, Example(), reason)) << name;
    EXPECT_FALSE(reason.empty());
    std::vector<uint8_t> after;
    ASSERT_TRUE(ReadWholeFile(dir + "/real/photo.kvi", after, reason));
    EXPECT_EQ(after, before) << name;
  }
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(Registration, CentreTruncatesTowardZero) {
  const SizeRegistration r = MakeRegistration(10, 40, 15, 31, 100);
  EXPECT_EQ(r.centerX, 12);
  EXPECT_EQ(r.centerY, 36);
  const SizeRegistration n = MakeRegistration(0, 0, -3, -5, 1);
  EXPECT_EQ(n.centerX, -1);
  EXPECT_EQ(n.centerY, -2);
  const SizeRegistration big = MakeRegistration(-2147483647 - 1, 0, 2147483647, 0, 1);
  EXPECT_EQ(big.centerX, -1);
}

TEST(Registration, MillimetresPerPhotoPixelAreTheLengthOverTheEndsDistance) {
  EXPECT_DOUBLE_EQ(*MmPerPhotoPixel(MakeRegistration(100, 100, 130, 140, 100)), 2.0);
  // Either direction, and a photo turned a quarter, give the same scale.
  EXPECT_DOUBLE_EQ(*MmPerPhotoPixel(MakeRegistration(130, 140, 100, 100, 100)), 2.0);
  EXPECT_DOUBLE_EQ(*MmPerPhotoPixel(MakeRegistration(-140, 130, -100, 100, 100)), 2.0);
  EXPECT_DOUBLE_EQ(*MmPerPhotoPixel(MakeRegistration(0, 0, 1, 0, 1)), 1.0);
  // Ends at the far corners of the coordinate range stay finite.
  const std::optional<double> far =
      MmPerPhotoPixel(MakeRegistration(-2147483647 - 1, 0, 2147483647, 0, 1));
  ASSERT_TRUE(far);
  EXPECT_DOUBLE_EQ(*far, 1.0 / 4294967295.0);
  // No length, or both ends on one pixel: no scale at all.
  EXPECT_FALSE(MmPerPhotoPixel(MakeRegistration(0, 0, 30, 40, 0)));
  EXPECT_FALSE(MmPerPhotoPixel(MakeRegistration(0, 0, 30, 40, -5)));
  EXPECT_FALSE(MmPerPhotoPixel(MakeRegistration(7, 7, 7, 7, 40)));
}

}  // namespace
}  // namespace kv
