// Writes the fuzz targets' seed corpora (corpus/<target>/) and the inputs
// that once broke a reader (regressions/<target>/), all made here, small,
// and the same on every run: fuzz_make_corpus FUZZ_FOLDER.
#include <lcms2.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/tests/exif_writer.h"
#include "foundation/core/image/tests/phone_photos.h"
#include "foundation/core/image/tests/test_images.h"
#include "kvi/actual_size_file.h"

namespace {

namespace fs = std::filesystem;

fs::path root;

void Put(const std::string& where, const std::string& name, const std::string& bytes) {
  const fs::path folder = root / where;
  fs::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}
void Put(const std::string& where, const std::string& name, const std::vector<uint8_t>& bytes) {
  Put(where, name, std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> SmallJpeg() { return kv::EncodeJpeg(kv::test::Gradient(16, 8), 75); }

void Kvi() {
  Put("corpus/kvi", "empty.kvi", kv::SerializeActualSizeFile(kv::ActualSizeFile{}));
  kv::ActualSizeFile f;
  f.jpegName = "\x8E\xCA\x90\x5E.jpg";  // 写真.jpg
  f.registrations.push_back(kv::MakeRegistration(10, 40, 15, 31, 100));
  f.registrations.push_back(kv::MakeRegistration(-5, -7, -100, 3, 0));
  f.jpegBytes = kv::test::HandMadeJpeg({16, 16, 1, false, 0, 0});
  f.link = kv::kDefaultLogoLink;
  f.logoWidth = 2;
  f.logoHeight = 1;
  f.logoBytes = {1, 2, 3, 4, 5, 6};
  Put("corpus/kvi", "photo_and_logo.kvi", kv::SerializeActualSizeFile(f));
  f.logoWidth = 3;  // a logo whose sides disagree with its bytes is read, not shown
  f.magic = "Other";
  f.formatVersion = "2.0";
  Put("corpus/kvi", "other_magic_odd_logo.kvi", kv::SerializeActualSizeFile(f));
}

void Kvp() {
  Put("corpus/kvp", "example.kvp",
      "[KOVASAND]\nVERSION1.0\n[COUNT]\n1\n[JPEG]\nphoto.jpg\n[DATA]\n120\n340\n880\n352\n500\n346\n250\nEOF\n");
  Put("corpus/kvp", "crlf_japanese.kvp",
      "[KOVASAND]\r\nVERSION1.0\r\n[COUNT]\r\n2\r\n[JPEG]\r\n\x8E\xCA\x90\x5E\\\x83\x5C\x83\x74\x83\x40.jpg\r\n"
      "[DATA]\r\n1\r\n2\r\n3\r\n4\r\n2\r\n3\r\n10\r\n[DATA]\r\n-1\r\n-2\r\n-3\r\n-4\r\n-2\r\n-3\r\n2147483647\r\nEOF\r\n");
  Put("corpus/kvp", "drive_and_dots.kvp",
      "[JPEG]\nC:\\photos\\..\\a\\.\\p.jpg\n[COUNT]\n9\n[DATA]\n1\n1\n1\n[JPEG]\n../../up.jpg\n[DATA]\n");
  Put("corpus/kvp", "empty_project.kvp", "[KOVASAND]\nVERSION1.0\n[COUNT]\n0\n[JPEG]\n\nEOF\n");
  // A drive root left an empty path whose first character was read.
  Put("regressions/kvp", "drive_root.kvp", "[KOVASAND]\r\nVERSION1.0\r\n[COUNT]\r\n0\r\n[JPEG]\r\nC:\\\r\nEOF\r\n");
  // A colon in a name here, and a folder named like a drive: what was read
  // as a drive lost part of the name when the reference was made again.
  Put("regressions/kvp", "colons_in_a_name.kvp", "[COUNT]\n0\n[JPEG]\nC:::photo.jpg\nEOF\n");
  Put("regressions/kvp", "folder_named_like_a_drive.kvp",
      "[COUNT]\n0\n[JPEG]\n.\\C:\\photo.jpg\nEOF\n");
  // Projects cut short or edited by hand were once read in part and saved
  // so. Named "refused_" or "read_" after what the reader must do.
  const std::string head = "[KOVASAND]\nVERSION1.0\n[COUNT]\n2\n[JPEG]\nphoto.jpg\n";
  const std::string first = "[DATA]\n10\n20\n110\n20\n60\n20\n123\n";
  auto second = [](const std::string& length) {
    return "[DATA]\n5\n6\n70\n8\n37\n7\n" + length + "\n";
  };
  Put("regressions/kvp", "refused_cut_in_the_length.kvp", head + first + "[DATA]\n5\n6\n70\n8\n37\n7\n12");
  Put("regressions/kvp", "refused_cut_in_the_second_block.kvp", head + first + "[DATA]\n5\n6\n7");
  Put("regressions/kvp", "refused_a_block_lost.kvp", head + first + "EOF\n");
  Put("regressions/kvp", "refused_no_eof.kvp", head + first + second("250"));
  Put("regressions/kvp", "refused_block_runs_into_eof.kvp", head + first + "[DATA]\n5\n6\nEOF\n");
  for (const auto& [name, value] : std::initializer_list<std::pair<const char*, const char*>>{
           {"refused_fraction.kvp", "12.5"}, {"refused_exponent.kvp", "1e3"},
           {"refused_hexadecimal.kvp", "0x30"}, {"refused_full_width.kvp", "\x82\x50\x82\x51"},
           {"refused_too_large.kvp", "99999999999"}, {"refused_blank.kvp", " 12"}})
    Put("regressions/kvp", name, head + first + second(value) + "EOF\n");
  // Read, then marked or mended by the document.
  Put("regressions/kvp", "read_zero_and_negative_length.kvp",
      "[COUNT]\n2\n[JPEG]\nphoto.jpg\n[DATA]\n1\n1\n9\n1\n5\n1\n0\n[DATA]\n1\n1\n9\n1\n5\n1\n-5\nEOF\n");
  Put("regressions/kvp", "read_same_points_outside_wrong_centre.kvp",
      "[COUNT]\n2\n[JPEG]\nphoto.jpg\n[DATA]\n4\n4\n4\n4\n4\n4\n10\n"
      "[DATA]\n-50\n99999\n8\n8\n1000\n-3\n10\nEOF\n");
}

void Settings() {
  Put("corpus/settings", "default.ini", "[link]\nhttps://www.example.com/\n[cx]\n120\n[cy]\n40\nEOF\n");
  Put("corpus/settings", "crlf_any_order.ini", "[cy]\r\n40\r\n[link]\r\n\x83\x8A\x83\x93\x83\x4E\r\n[cx]\r\n-7\r\n");
  Put("corpus/settings", "repeated_and_cut.ini", "[cx]\n1\n[cx]\n99999999999\n[cy]\n+3x\nEOF\n[link]\n");
}

// Section, key and value, each ended by a zero byte, then the contents.
std::string Profile(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& contents) {
  return section + '\0' + key + '\0' + value + '\0' + contents;
}

void PrivateProfile() {
  const std::string viewer =
      "[Kovalindra]\r\npt1x=100\r\npt1y=120\r\npt2x=  893  \r\npt2y=\"120\"\r\nsizedisplay=210\r\n";
  Put("corpus/profile", "replace.bin", Profile("Kovalindra", "pt1x", "250", viewer));
  Put("corpus/profile", "new_section.bin", Profile("New", "k", " 'quoted' ", viewer));
  Put("corpus/profile", "double_byte.bin",
      Profile("\x83\x5D\x83\x41", "\x93\xFA", "\x96\x7B",
              "; note\n[\x83\x5D\x83\x41]\n\x93\xFA=old\n\n[link]\nurl=http://example.invalid/\n"));
  Put("corpus/profile", "empty_file.bin", Profile("a", "k", "v", ""));
  // Names ending in the first byte of a double-byte character were written
  // and never found again, and each write added another copy of the section.
  Put("regressions/profile", "section_ends_in_lead_byte.bin", Profile("abc\x81", "k", "v", "[abc\x81]\r\nk=v\r\n"));
  Put("regressions/profile", "key_ends_in_lead_byte.bin", Profile("s", "key\x83", "v", "[s]\r\nkey\x83=v\r\n"));
  // Blanks around names: written trimmed, looked up untrimmed.
  Put("regressions/profile", "padded_names.bin", Profile(" s ", "\tk ", "v", viewer));
  // A last line ending in a carriage return became a CR LF line break, and
  // the next write turned every line break of the file into CR LF.
  Put("regressions/profile", "carriage_return_at_the_end.bin", Profile("s", "k", "v", "[s]\nk=old\nlast\r\r"));
}

void Jpeg() {
  const std::vector<uint8_t> grey(24 * 16, 128), rgb(24 * 16 * 3, 70), cmyk(8 * 8 * 4, 200);
  Put("corpus/jpeg", "baseline_420.jpg", SmallJpeg());
  Put("corpus/jpeg", "grey_progressive.jpg",
      kv::test::EncodeWith(grey, 24, 16, TJPF_GRAY, TJSAMP_GRAY, TJFLAG_PROGRESSIVE));
  Put("corpus/jpeg", "rgb_444_progressive.jpg",
      kv::test::EncodeWith(rgb, 24, 16, TJPF_RGB, TJSAMP_444, TJFLAG_PROGRESSIVE));
  Put("corpus/jpeg", "cmyk.jpg", kv::test::EncodeWith(cmyk, 8, 8, TJPF_CMYK, TJSAMP_444));
  Put("corpus/jpeg", "hand_made.jpg", kv::test::HandMadeJpeg({16, 8, 3, false, 0, 0}));
  Put("corpus/jpeg", "hand_made_progressive.jpg", kv::test::HandMadeJpeg({16, 16, 1, true, 9, 0}));
  // Headers claiming far more pixels than their bytes hold were decoded in
  // full from missing data (seconds, gigabytes); many scans multiplied it.
  Put("regressions/jpeg", "claims_24064x9454.jpg", kv::test::HandMadeJpeg({24064, 9454, 1, false, 0, 0}));
  Put("regressions/jpeg", "claims_progressive_16384x16384.jpg",
      kv::test::HandMadeJpeg({16384, 16384, 3, true, 5, 0}));
  Put("regressions/jpeg", "claims_51_scans.jpg", kv::test::HandMadeJpeg({16384, 16384, 1, true, 50, 0}));
  Put("regressions/jpeg", "too_many_scans.jpg", kv::test::HandMadeJpeg({64, 64, 1, true, 40, 0}));
  // The other codings cameras and phones use, and the ones refused by name.
  kv::test::Coding c;
  c.width = 32;
  c.height = 32;
  c.arithmetic = true;
  c.progressive = true;
  Put("corpus/jpeg", "arithmetic_progressive.jpg", kv::test::QuadrantsJpeg(c));
  c.arithmetic = c.progressive = false;
  c.lumaH = 1;
  c.restartInterval = 1;
  Put("corpus/jpeg", "restarts_440.jpg", kv::test::QuadrantsJpeg(c));
  c.restartInterval = 0;
  c.colours = kv::test::Colours::kYcck;
  c.progressive = true;
  Put("corpus/jpeg", "ycck_progressive.jpg", kv::test::QuadrantsJpeg(c));
  std::vector<uint8_t> twelve = SmallJpeg();
  for (size_t i = 2; i + 4 < twelve.size(); ++i) {
    if (twelve[i] == 0xFF && twelve[i + 1] == 0xC0) {
      twelve[i + 1] = 0xC1;
      twelve[i + 4] = 12;
      break;
    }
  }
  Put("corpus/jpeg", "twelve_bits.jpg", twelve);
  // Cut halfway through the scan's data and closed with an end marker.
  std::vector<uint8_t> cut = SmallJpeg();
  for (size_t i = 2; i + 3 < cut.size(); ++i) {
    if (cut[i] == 0xFF && cut[i + 1] == 0xDA) {
      const size_t data = i + 2 + ((size_t(cut[i + 2]) << 8) | cut[i + 3]);
      cut.resize(data + (cut.size() - data) / 2);
      break;
    }
  }
  cut.insert(cut.end(), {0xFF, 0xD9});
  Put("corpus/jpeg", "cut_and_closed.jpg", cut);
  Put("corpus/jpeg", "exif_thumbnail.jpg",
      kv::test::WithExifThumbnail(SmallJpeg(), kv::EncodeJpeg(kv::test::Gradient(8, 8), 50), 6, true));
}

// Exif as the writer in the tests makes it, and as cameras write it, with
// a thumbnail and a maker note.
void Exif() {
  const std::vector<uint8_t> photo = SmallJpeg(), thumbnail = kv::EncodeJpeg(kv::test::Gradient(8, 8), 50);
  Put("corpus/exif", "little_6.jpg", kv::testing::WithExif(photo, 6, true));
  Put("corpus/exif", "big_8.jpg", kv::testing::WithExif(photo, 8, false));
  Put("corpus/exif", "directory_past_the_end.jpg", kv::testing::WithExif(photo, 3, true, 0xFFFFFFF0u));
  Put("corpus/exif", "thumbnail_little.jpg", kv::test::WithExifThumbnail(photo, thumbnail, 5, true));
  Put("corpus/exif", "thumbnail_big.jpg", kv::test::WithExifThumbnail(photo, thumbnail, 7, false));
  // Another APP1 first, and a segment that runs past the end of the bytes.
  std::vector<uint8_t> other = kv::testing::WithExif(photo, 2, false);
  other.insert(other.begin() + 2, {0xFF, 0xE1, 0x00, 0x08, 'o', 't', 'h', 'e', 'r', 0});
  Put("corpus/exif", "other_app1_first.jpg", other);
  const std::vector<uint8_t> exif = kv::testing::WithExif(photo, 4, true);
  Put("corpus/exif", "cut_in_the_segment.jpg", std::vector<uint8_t>(exif.begin(), exif.begin() + 30));
  Put("corpus/exif", "progressive_no_exif.jpg", kv::test::HandMadeJpeg({40, 24, 3, true, 2, 0}));
}

// Profiles made by the colour engine, carried in APP2 chunks written here.
// The engine stamps each profile with the time it was made; a fixed date
// (2000-01-01) keeps the seeds the same on every run.
std::vector<uint8_t> SavedProfile(cmsHPROFILE p) {
  cmsUInt32Number n = 0;
  std::vector<uint8_t> bytes;
  if (p && cmsSaveProfileToMem(p, nullptr, &n)) {
    bytes.resize(n);
    if (!cmsSaveProfileToMem(p, bytes.data(), &n) || n < 128) bytes.clear();
  }
  if (p) cmsCloseProfile(p);
  if (!bytes.empty()) {
    const uint8_t date[12] = {0x07, 0xD0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
    std::copy(date, date + 12, bytes.begin() + 24);
  }
  return bytes;
}

// The profile in chunks of `size` bytes, put after SOI in the order of
// `order` (chunk numbers from 1).
std::vector<uint8_t> WithIcc(std::vector<uint8_t> jpeg, const std::vector<uint8_t>& profile, size_t size,
                             const std::vector<int>& order) {
  const int count = int((profile.size() + size - 1) / size);
  std::vector<uint8_t> segments;
  for (int k : order) {
    const size_t at = size_t(k - 1) * size, n = std::min(size, profile.size() - at);
    const size_t length = 2 + 14 + n;
    const uint8_t head[4] = {0xFF, 0xE2, uint8_t(length >> 8), uint8_t(length)};
    segments.insert(segments.end(), head, head + 4);
    const char tag[] = "ICC_PROFILE";
    segments.insert(segments.end(), tag, tag + sizeof tag);
    segments.push_back(uint8_t(k));
    segments.push_back(uint8_t(count));
    segments.insert(segments.end(), profile.begin() + std::ptrdiff_t(at), profile.begin() + std::ptrdiff_t(at + n));
  }
  jpeg.insert(jpeg.begin() + 2, segments.begin(), segments.end());
  return jpeg;
}

void Icc() {
  const cmsCIExyY d65{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  const std::vector<uint8_t> wide = SavedProfile(cmsCreateRGBProfile(&d65, &p3, curves));
  const std::vector<uint8_t> grey = SavedProfile(cmsCreateGrayProfile(&d65, curve));
  cmsFreeToneCurve(curve);
  const std::vector<uint8_t> srgb = SavedProfile(cmsCreate_sRGBProfile());
  const size_t third = (wide.size() + 2) / 3;
  Put("corpus/icc", "wide_gamut_out_of_order.jpg", WithIcc(SmallJpeg(), wide, third, {3, 1, 2}));
  Put("corpus/icc", "srgb_one_chunk.jpg", WithIcc(SmallJpeg(), srgb, srgb.size(), {1}));
  Put("corpus/icc", "grey.jpg", WithIcc(SmallJpeg(), grey, grey.size(), {1}));
  Put("corpus/icc", "chunk_missing.jpg", WithIcc(SmallJpeg(), wide, third, {1, 3}));
}

void Cp932() {
  Put("corpus/cp932", "japanese_utf8.txt", "等倍表示ｿﾌﾄ 写真.jpg ① Ⅻ ∑ 〜～ ＼ \\~");
  Put("corpus/cp932", "japanese_cp932.txt",
      "\x93\x99\x94\x7B\x95\x5C\x8E\xA6\xBF\xCC\xC4 \x87\x40 \x81\x60 \x81\x5F \xED\x40 \xFA\x5C \\~");
  Put("corpus/cp932", "not_text.bin", std::string("\x81\x20\x93\xC3\xA5\xF0\x9F\x98\x80\0\xFF", 11));
  // U+00A5 and U+203E became 0x5C and 0x7E, which read back as a backslash
  // and a tilde.
  Put("regressions/cp932", "yen_sign.txt", "\xC2\xA5" "100");
  Put("regressions/cp932", "overline.txt", "a\xE2\x80\xBE");
  // Typed forms of characters CP932 reads back in another form.
  Put("regressions/cp932", "wave_dash_typed.txt", "\u6CE2\u301C\u7DDA \u2016\u2212\u00A2\u00A3\u00AC.jpg");
}

// Small phone photos: HEIC turned by its boxes, with a profile and with
// alpha; PNG of the kinds that take different paths through libpng.
void Photo() {
  const kv::DibImage picture = kv::test::Gradient(24, 16);
  Put("corpus/photo", "upright.heic", kv::test::EncodeHeic(picture, {1, {}, false, 50}));
  Put("corpus/photo", "turned_alpha.heic", kv::test::EncodeHeic(picture, {6, {}, true, 50}));
  Put("corpus/photo", "profile_mirrored.heic",
      kv::test::EncodeHeic(picture, {5, SavedProfile(cmsCreate_sRGBProfile()), false, 50}));
  Put("corpus/photo", "p3_code_points.heic", kv::test::EncodeHeic(picture, {1, {}, false, 50, true}));
  Put("corpus/photo", "rgb.png", kv::test::EncodePng(picture));
  Put("corpus/photo", "grey_alpha_16_interlaced.png", kv::test::EncodePng(picture, {2, 16, true, {}}));
  Put("corpus/photo", "rgba_profile.png",
      kv::test::EncodePng(picture, {4, 8, false, SavedProfile(cmsCreate_sRGBProfile())}));
  Put("corpus/photo", "jpeg.jpg", SmallJpeg());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FUZZ_FOLDER\n", argv[0]);
    return 2;
  }
  root = argv[1];
  Kvi();
  Kvp();
  Settings();
  PrivateProfile();
  Jpeg();
  Exif();
  Icc();
  Cp932();
  Photo();
  return 0;
}
