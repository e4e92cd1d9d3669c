#include "tools/kvitool/kvitool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/util/bytes.h"
#include "foundation/core/util/file_io.h"
#include "kvi/actual_size_file.h"

namespace kv {
namespace {

class Kvitool : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kvitool_test_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string reason;
    ASSERT_TRUE(WriteFileAtomically(Path(name), bytes, reason)) << reason;
  }
  std::vector<uint8_t> Get(const std::string& name) {
    std::vector<uint8_t> bytes;
    std::string reason;
    EXPECT_TRUE(ReadWholeFile(Path(name), bytes, reason)) << reason;
    return bytes;
  }

  static std::vector<uint8_t> Jpeg(int w, int h) {
    DibImage img(w, h);
    img.padBytes = DibPadBytes(w);
    img.byteSize = uint32_t(img.Stride() * size_t(h));
    img.pixels = std::make_unique<uint8_t[]>(img.byteSize);
    for (uint32_t i = 0; i < img.byteSize; ++i) img.pixels[i] = uint8_t(i * 7);
    return EncodeJpeg(img);
  }

  static ActualSizeFile Sample() {
    ActualSizeFile f;
    f.jpegName = "\x8E\xCA\x90\x5E.jpg";  // 写真.jpg in Shift-JIS
    f.registrations.push_back(MakeRegistration(10, 40, 15, 31, 100));
    f.registrations.push_back(MakeRegistration(-5, -7, -100, 3, 0));
    f.jpegBytes = Jpeg(33, 17);
    f.link = "https://example.com/\"q\"\\";
    f.logoWidth = 2;
    f.logoHeight = 1;
    f.logoBytes = {1, 2, 3, 4, 5, 6};
    return f;
  }

  struct Result {
    int status;
    std::string out, err;
  };
  static Result Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunKvitool(args, out, err);
    return {status, out.str(), err.str()};
  }

  static size_t Lines(const std::string& s) { return size_t(std::count(s.begin(), s.end(), '\n')); }

  std::string dir_;
};

TEST_F(Kvitool, InfoPrintsEveryKeyWithTextsInUtf8) {
  Put("a.kvi", SerializeActualSizeFile(Sample()));
  const Result r = Run({"info", Path("a.kvi")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty());
  const std::string expected =
      "{\n"
      "  \"magic\": \"Kovalindra\",\n"
      "  \"formatVersion\": \"1.0\",\n"
      "  \"jpegName\": \"\xE5\x86\x99\xE7\x9C\x9F.jpg\",\n"
      "  \"registrations\": [\n"
      "    {\"startX\": 10, \"startY\": 40, \"endX\": 15, \"endY\": 31, \"centerX\": 12, "
      "\"centerY\": 36, \"lengthMm\": 100},\n"
      "    {\"startX\": -5, \"startY\": -7, \"endX\": -100, \"endY\": 3, \"centerX\": -52, "
      "\"centerY\": -2, \"lengthMm\": 0}\n"
      "  ],\n"
      "  \"jpegLength\": " +
      std::to_string(Sample().jpegBytes.size()) +
      ",\n"
      "  \"orientation\": 1,\n"
      "  \"link\": \"https://example.com/\\\"q\\\"\\\\\",\n"
      "  \"logoWidth\": 2,\n"
      "  \"logoHeight\": 1,\n"
      "  \"logoLength\": 6\n"
      "}\n";
  EXPECT_EQ(r.out, expected);

  ActualSizeFile empty;
  Put("e.kvi", SerializeActualSizeFile(empty));
  const Result e = Run({"info", Path("e.kvi")});
  ASSERT_EQ(e.status, 0);
  EXPECT_NE(e.out.find("\"registrations\": [],\n"), std::string::npos) << e.out;
  EXPECT_NE(e.out.find("\"jpegName\": \"\",\n"), std::string::npos);
}

TEST_F(Kvitool, JsonStringEscapesControlCharacters) {
  EXPECT_EQ(JsonString("a\tb\n\x01\x7f\xE5\x86\x99"), "\"a\\tb\\n\\u0001\\u007f\xE5\x86\x99\"");
}

TEST_F(Kvitool, BrokenFilesExitOneWithOneLineWhy) {
  std::vector<uint8_t> b = SerializeActualSizeFile(Sample());
  b.resize(b.size() - 1);
  Put("short.kvi", b);
  for (const char* cmd : {"info", "check"}) {
    const Result r = Run({cmd, Path("short.kvi")});
    EXPECT_EQ(r.status, 1) << cmd;
    EXPECT_TRUE(r.out.empty()) << cmd;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("ﾛｺﾞ"), std::string::npos) << r.err;
  }
  const Result missing = Run({"info", Path("none.kvi")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(Lines(missing.err), 1u);

  // Sound layout, but a name that is not Shift-JIS: refused, not guessed.
  ActualSizeFile f = Sample();
  f.jpegName = "\x81";
  Put("badname.kvi", SerializeActualSizeFile(f));
  const Result bad = Run({"info", Path("badname.kvi")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("photo name"), std::string::npos) << bad.err;
  EXPECT_TRUE(bad.out.empty());
}

// Both registrations give a scale on the 33 x 17 photo.
ActualSizeFile Sound(ActualSizeFile f) {
  f.registrations[0] = MakeRegistration(10, 4, 15, 13, 100);
  f.registrations[1] = MakeRegistration(0, 0, 32, 16, 20);
  return f;
}

TEST_F(Kvitool, CheckReportsRegistrationsThatGiveNoScale) {
  ActualSizeFile f = Sound(Sample());
  f.registrations.push_back(MakeRegistration(1, 1, 20, 1, 0));    // no length
  f.registrations.push_back(MakeRegistration(1, 1, 20, 1, -5));   // below zero
  f.registrations.push_back(MakeRegistration(3, 3, 3, 3, 10));    // one point
  f.registrations.push_back(MakeRegistration(1, 1, 33, 1, 10));   // past the right edge
  f.registrations.push_back(MakeRegistration(-1, 1, 20, 1, 10));  // left of the photo
  Put("odd.kvi", SerializeActualSizeFile(f));
  const Result r = Run({"check", Path("odd.kvi")});
  EXPECT_EQ(r.status, 1);
  for (const char* line : {"registration 3: unusable, length", "registration 4: unusable, length",
                           "registration 5: unusable, start and end",
                           "registration 6: unusable, a point lies outside",
                           "registration 7: unusable, a point lies outside"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  EXPECT_EQ(r.out.find("registration 2:"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("5 registrations can give no scale"), std::string::npos) << r.err;
}

TEST_F(Kvitool, CheckSaysWhetherThePhotoDecodes) {
  Put("good.kvi", SerializeActualSizeFile(Sound(Sample())));
  Result r = Run({"check", Path("good.kvi")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("layout: sound, 2 registrations"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("jpeg: decodes, 33 x 17"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("logo: 2 x 1"), std::string::npos) << r.out;

  ActualSizeFile f = Sound(Sample());
  f.jpegBytes.resize(20);  // a header fragment
  f.logoWidth = 3;         // 3 x 1 x 3 != 6
  Put("cut.kvi", SerializeActualSizeFile(f));
  r = Run({"check", Path("cut.kvi")});
  // The layout is sound and reported whole, but a photo the viewer cannot
  // show fails the check, with the decoder's reason on one line.
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("layout: sound"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("jpeg: does not decode"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("logo: not shown"), std::string::npos) << r.out;
  EXPECT_EQ(Lines(r.err), 1u) << r.err;
  EXPECT_NE(r.err.find("JPEG"), std::string::npos) << r.err;

  f.jpegBytes.clear();
  Put("nojpeg.kvi", SerializeActualSizeFile(f));
  r = Run({"check", Path("nojpeg.kvi")});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("jpeg: none embedded"), std::string::npos) << r.out;
}

TEST_F(Kvitool, ExtractWritesThePhotoBytesUnchanged) {
  Put("a.kvi", SerializeActualSizeFile(Sample()));
  Result r = Run({"extract", Path("a.kvi"), Path("out.jpg")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Get("out.jpg"), Sample().jpegBytes);

  // A broken file leaves an existing output alone.
  Put("keep.jpg", {1, 2, 3});
  Put("bad.kvi", {10, 0, 0});
  r = Run({"extract", Path("bad.kvi"), Path("keep.jpg")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Get("keep.jpg"), (std::vector<uint8_t>{1, 2, 3}));
  r = Run({"extract", Path("a.kvi"), Path("no/such/dir.jpg")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), 1u);
}

TEST_F(Kvitool, MakeBuildsAFileTheReaderAccepts) {
  const std::vector<uint8_t> jpeg = Jpeg(40, 30);
  Put("\xE5\x86\x99\xE7\x9C\x9F.jpg", jpeg);  // 写真.jpg
  std::vector<uint8_t> logo(4 * 3 * 3);
  for (size_t i = 0; i < logo.size(); ++i) logo[i] = uint8_t(i);
  Put("logo.rgb", logo);
  const Result r = Run({"make", "--jpeg", Path("\xE5\x86\x99\xE7\x9C\x9F.jpg"), "--reg",
                        "10,40,15,31,100", "--reg", "0,0,-3,-5,-7", "--link",
                        "\xE3\x83\x98\xE3\x83\xAB\xE3\x83\x97",  // ヘルプ
                        "--logo-rgb", Path("logo.rgb"), "--logo-size", "4x3", "-o",
                        Path("made.kvi")});
  ASSERT_EQ(r.status, 0) << r.err;
  ActualSizeFile f;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(Path("made.kvi"), f, reason)) << reason;
  EXPECT_EQ(f.jpegName, "\x8E\xCA\x90\x5E.jpg");
  ASSERT_EQ(f.registrations.size(), 2u);
  EXPECT_EQ(f.registrations[0], (SizeRegistration{10, 40, 15, 31, 100, 12, 36}));
  // The centre truncates toward zero: -3 / 2 = -1, -5 / 2 = -2.
  EXPECT_EQ(f.registrations[1], (SizeRegistration{0, 0, -3, -5, -7, -1, -2}));
  EXPECT_EQ(f.jpegBytes, jpeg);
  EXPECT_EQ(f.link, "\x83\x77\x83\x8B\x83\x76");
  EXPECT_EQ(f.logoWidth, 4);
  EXPECT_EQ(f.logoHeight, 3);
  EXPECT_EQ(f.logoBytes, logo);
  EXPECT_TRUE(HasUsableLogo(f));

  // Without a logo: 0 x 0 and no bytes.
  ASSERT_EQ(Run({"make", "-o", Path("bare.kvi"), "--jpeg", Path("\xE5\x86\x99\xE7\x9C\x9F.jpg")}).status, 0);
  ASSERT_TRUE(ReadActualSizeFile(Path("bare.kvi"), f, reason)) << reason;
  EXPECT_TRUE(f.registrations.empty());
  EXPECT_EQ(f.logoWidth, 0);
  EXPECT_TRUE(f.logoBytes.empty());
  EXPECT_TRUE(f.link.empty());
}

TEST_F(Kvitool, MakeRefusesWhatItCannotWriteFaithfully) {
  Put("p.jpg", Jpeg(8, 8));
  Put("logo.rgb", std::vector<uint8_t>(4 * 3 * 3));
  Put("out.kvi", {9, 9, 9});  // an existing output must survive every refusal
  const std::string p = Path("p.jpg"), o = Path("out.kvi"), logo = Path("logo.rgb");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* words;
  } cases[] = {
      {{"make", "--jpeg", p, "--link", "\xF0\x9F\x98\x80", "-o", o}, 1, "Shift-JIS"},  // emoji
      {{"make", "--jpeg", p, "--link", "\xFF", "-o", o}, 1, "Shift-JIS"},  // not UTF-8
      {{"make", "--jpeg", p, "--logo-rgb", logo, "--logo-size", "4x4", "-o", o}, 1, "needs 48"},
      {{"make", "--jpeg", p, "--logo-rgb", logo, "--logo-size", "0x3", "-o", o}, 2, "WxH"},
      {{"make", "--jpeg", p, "--logo-rgb", logo, "--logo-size", "4x", "-o", o}, 2, "WxH"},
      {{"make", "--jpeg", p, "--logo-rgb", logo, "-o", o}, 2, "go together"},
      {{"make", "--jpeg", p, "--logo-rgb", logo, "--logo-size", "65536x65536", "-o", o}, 1, "too large"},
      {{"make", "--jpeg", logo, "-o", o}, 1, "JPEG、HEIC(HEIF)、PNGのどれでもありません"},
      {{"make", "--jpeg", Path("missing.jpg"), "-o", o}, 1, "missing.jpg"},
      {{"make", "--jpeg", p, "--reg", "1,2,3,4", "-o", o}, 2, "five whole numbers"},
      {{"make", "--jpeg", p, "--reg", "1,2,3,4,5x", "-o", o}, 2, "five whole numbers"},
      {{"make", "--jpeg", p, "--reg", "1,2,3,4,2147483648", "-o", o}, 2, "five whole numbers"},
      {{"make", "--jpeg", p}, 2, "-o OUT"},
      {{"make", "-o", o}, 2, "--photo"},
      {{"make", "--jpeg", p, "--jpeg", p, "-o", o}, 2, "twice"},
      {{"make", "--jpeg", p, "--frobnicate", "-o", o}, 2, "unknown option"},
      {{"make", "--jpeg", p, "-o"}, 2, "needs a value"},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
    EXPECT_NE(r.err.find(c.words), std::string::npos) << line << "\n" << r.err;
    EXPECT_EQ(Get("out.kvi"), (std::vector<uint8_t>{9, 9, 9})) << line;
  }
  Put("empty.jpg", {});
  EXPECT_EQ(Run({"make", "--jpeg", Path("empty.jpg"), "-o", o}).status, 1);
}

TEST_F(Kvitool, CommandLineMistakesAreUsageErrors) {
  EXPECT_EQ(Run({}).status, 2);
  EXPECT_EQ(Run({"frob"}).status, 2);
  EXPECT_EQ(Run({"info"}).status, 2);
  EXPECT_EQ(Run({"info", "a", "b"}).status, 2);
  EXPECT_EQ(Run({"extract", "a"}).status, 2);
  const Result help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("kvitool make"), std::string::npos);
  EXPECT_NE(help.out.find("kvitool pdf"), std::string::npos);
}

// The checks made before any page is drawn, the same with and without Qt;
// every one leaves an existing output alone.
TEST_F(Kvitool, PdfRefusesBadCommandLinesAndFilesItCannotPrint) {
  Put("a.kvi", SerializeActualSizeFile(Sample()));
  ActualSizeFile bare = Sample();
  bare.registrations.clear();
  Put("bare.kvi", SerializeActualSizeFile(bare));
  Put("out.pdf", {7, 7});
  const std::string a = Path("a.kvi"), o = Path("out.pdf");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* words;
  } cases[] = {
      {{"pdf"}, 2, "FILE and OUT.pdf"},
      {{"pdf", a}, 2, "FILE and OUT.pdf"},
      {{"pdf", a, o, o}, 2, "FILE and OUT.pdf"},
      {{"pdf", a, o, "--page", "A5"}, 2, "not A4, A3 or Letter"},
      {{"pdf", a, o, "--page", "A4", "--page", "A3"}, 2, "twice"},
      {{"pdf", a, o, "--registration", "0"}, 2, "from 1"},
      {{"pdf", a, o, "--registration", "x"}, 2, "from 1"},
      {{"pdf", a, o, "--registration"}, 2, "needs a value"},
      {{"pdf", a, o, "--frob"}, 2, "unknown option"},
      {{"pdf", Path("none.kvi"), o}, 1, "none.kvi"},
      {{"pdf", Path("bare.kvi"), o}, 1, "ｻｲｽﾞ登録"},
      {{"pdf", a, o, "--registration", "3"}, 1, "no registration 3; the file has 2"},
#ifdef KV_KVITOOL_PDF
      // The second registration has no length.
      {{"pdf", a, o, "--registration", "2"}, 1, "長さがない"},
#else
      {{"pdf", a, o}, 1, "without Qt"},
#endif
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    std::string line;
    for (const std::string& x : c.args) line += x + " ";
    EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
    EXPECT_NE(r.err.find(c.words), std::string::npos) << line << "\n" << r.err;
    if (c.status == 1) {
      EXPECT_EQ(Lines(r.err), 1u) << line;
    }
    EXPECT_TRUE(r.out.empty()) << line;
    EXPECT_EQ(Get("out.pdf"), (std::vector<uint8_t>{7, 7})) << line;
  }
}

// The installed binary: exit statuses and streams as a script sees them.
TEST_F(Kvitool, TheProgramReportsThroughItsExitStatus) {
  Put("a.kvi", SerializeActualSizeFile(Sound(Sample())));
  Put("bad.kvi", {1, 2, 3});
  auto run = [&](const std::string& args) {
    const std::string cmd = std::string("'") + KV_KVITOOL_PATH + "' " + args + " >'" +
                            Path("stdout") + "' 2>'" + Path("stderr") + "'";
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  auto text = [&](const char* name) {
    const std::vector<uint8_t> b = Get(name);
    return std::string(b.begin(), b.end());
  };
  EXPECT_EQ(run("info '" + Path("a.kvi") + "'"), 0);
  EXPECT_EQ(text("stdout").substr(0, 1), "{");
  EXPECT_TRUE(text("stderr").empty());
  EXPECT_EQ(run("info '" + Path("bad.kvi") + "'"), 1);
  EXPECT_TRUE(text("stdout").empty());
  EXPECT_EQ(Lines(text("stderr")), 1u);
  EXPECT_EQ(run("check '" + Path("a.kvi") + "'"), 0);
  EXPECT_NE(text("stdout").find("decodes"), std::string::npos);
  EXPECT_EQ(run(""), 2);
}

}  // namespace
}  // namespace kv
