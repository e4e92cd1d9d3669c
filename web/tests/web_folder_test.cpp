// Publishing a folder for the web: what it holds, that the page names the
// file, and that nothing already there is replaced without being asked.
#include "web/publish/web_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/core/util/file_io.h"
#include "kvi/actual_size_file.h"

namespace kv::web {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> SoundKvi() {
  ActualSizeFile f;
  f.jpegName = "photo.jpg";
  f.registrations.push_back(MakeRegistration(10, 20, 410, 20, 100));
  f.jpegBytes = {0xFF, 0xD8, 0xFF, 0xD9};
  return SerializeActualSizeFile(f);
}

std::string Read(const fs::path& p) {
  std::vector<uint8_t> b;
  std::string reason;
  EXPECT_TRUE(ReadWholeFile(p.string(), b, reason)) << p;
  return std::string(b.begin(), b.end());
}

class WebFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kv_web_folder_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(WebFolder, HoldsThePageItsScriptsAndTheFileWhichThePageNames) {
  const std::vector<uint8_t> kvi = SoundKvi();
  std::string reason;
  ASSERT_TRUE(PublishWebFolder(dir_.string(), "写真 #1.kvi", kvi, false, reason)) << reason;
  for (const PageFile& f : PageFiles()) EXPECT_TRUE(fs::is_regular_file(dir_ / f.path)) << f.path;
  EXPECT_EQ(Read(dir_ / "写真 #1.kvi"), std::string(kvi.begin(), kvi.end()));
  // Escaped, so a Japanese name, a space or '#' reach the page intact.
  const std::string escaped = "%E5%86%99%E7%9C%9F%20%231.kvi";
  EXPECT_NE(Read(dir_ / "index.html").find("<meta name=\"kova-kvi\" content=\"" + escaped + "\">"),
            std::string::npos);
  const std::string script = Read(dir_ / "写真 #1.kvi.js");
  EXPECT_EQ(script.rfind("Kova.embedded = {name: \"" + escaped + "\", base64: \"", 0), 0u);
  EXPECT_NE(script.find("CgAAAEtvdmFsaW5kcmE"), std::string::npos);  // the head, in base 64
  // The page as built, apart from the one meta element.
  for (const PageFile& f : PageFiles()) {
    if (std::string(f.path) == "index.html") continue;
    EXPECT_EQ(Read(dir_ / f.path), std::string(reinterpret_cast<const char*>(f.data), f.size));
  }
}

TEST_F(WebFolder, AnExistingFileIsKeptUnlessReplacingWasChosen) {
  std::string reason;
  fs::create_directories(dir_);
  ASSERT_TRUE(WriteFileAtomically((dir_ / "index.html").string(), std::vector<uint8_t>{'x'}, reason));
  EXPECT_EQ(ExistingFiles(dir_.string(), "a.kvi"), std::vector<std::string>{"index.html"});
  EXPECT_FALSE(PublishWebFolder(dir_.string(), "a.kvi", SoundKvi(), false, reason));
  EXPECT_NE(reason.find("index.html"), std::string::npos);
  EXPECT_EQ(Read(dir_ / "index.html"), "x");
  EXPECT_FALSE(fs::exists(dir_ / "a.kvi"));
  ASSERT_TRUE(PublishWebFolder(dir_.string(), "a.kvi", SoundKvi(), true, reason)) << reason;
  EXPECT_NE(Read(dir_ / "index.html"), "x");
}

TEST_F(WebFolder, RefusesAFileThatIsNoSoundKviWithAPhotoAndNamesThatAreNoPlainKviName) {
  std::string reason;
  std::vector<uint8_t> cut = SoundKvi();
  cut.pop_back();
  EXPECT_FALSE(PublishWebFolder(dir_.string(), "a.kvi", cut, false, reason));
  EXPECT_FALSE(reason.empty());
  ActualSizeFile empty;
  EXPECT_FALSE(PublishWebFolder(dir_.string(), "a.kvi", SerializeActualSizeFile(empty), false, reason));
  for (const char* name : {"a.jpg", ".kvi", "sub/a.kvi", "../a.kvi"})
    EXPECT_FALSE(PublishWebFolder(dir_.string(), name, SoundKvi(), false, reason)) << name;
  EXPECT_FALSE(fs::exists(dir_));
  EXPECT_TRUE(PublishWebFolder(dir_.string(), "UPPER.KVI", SoundKvi(), false, reason)) << reason;
}

}  // namespace
}  // namespace kv::web
