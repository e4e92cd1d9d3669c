#include "viewer/model/calibration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/private_profile.h"

namespace kv::viewer {
namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    path_ = fs::temp_directory_path() /
            ("kv_cal_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, ec);
    fs::remove_all(path_, ec);
  }
  std::string Folder() const { return path_.string() + "/"; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(Calibration, MillimetresPerPixelAndUncalibrated) {
  DisplayCalibration def;
  EXPECT_TRUE(IsUncalibrated(def));
  EXPECT_DOUBLE_EQ(*ScreenMillimetresPerPixel(def), 0.7);
  // A4 in an 800 x 600 client clicked at (650, 480).
  DisplayCalibration a4{100, 500, 650, 480, 210};
  EXPECT_FALSE(IsUncalibrated(a4));
  EXPECT_NEAR(ScreenDistance(a4), 550.3635, 1e-4);
  EXPECT_NEAR(*ScreenMillimetresPerPixel(a4), 0.381566, 1e-6);
  // 100 mm over 400 pixels: 4 pixels per millimetre.
  EXPECT_DOUBLE_EQ(*ScreenMillimetresPerPixel({100, 100, 500, 100, 100}), 0.25);
  // The length plays no part in being uncalibrated.
  EXPECT_TRUE(IsUncalibrated({100, 100, 400, 100, 55}));
  EXPECT_FALSE(ScreenMillimetresPerPixel({100, 100, 100, 100, 210}));
  EXPECT_FALSE(ScreenMillimetresPerPixel({100, 100, 400, 100, 0}));
  EXPECT_FALSE(ScreenMillimetresPerPixel({100, 100, 400, 100, -3}));
}

TEST(Calibration, ReadsDefaultsAndRefusesInvalidValues) {
  TempFolder t;
  const std::string ini = t.File("Kovalindra.ini");
  EXPECT_EQ(ReadCalibration(ini), DisplayCalibration{});  // no file

  WriteText(ini,
            "[Kovalindra]\npt1x=00001234\npt1y=12abc\npt2x=-50\npt2y=  77  \n"
            "sizedisplay=0\n");
  DisplayCalibration c = ReadCalibration(ini);
  EXPECT_EQ(c.pt1x, 123);  // only the first seven characters count
  EXPECT_EQ(c.pt1y, 100);  // not a number: the default
  EXPECT_EQ(c.pt2x, -50);
  EXPECT_EQ(c.pt2y, 77);
  EXPECT_EQ(c.sizedisplay, 210);  // a length of 0 cannot calibrate

  WriteText(ini, "[Kovalindra]\nsizedisplay=12345678\npt1x=9999999\n");
  c = ReadCalibration(ini);
  EXPECT_EQ(c.sizedisplay, 210);  // 1234567 mm is out of range
  EXPECT_EQ(c.pt1x, 100);        // beyond a million pixels

  WriteText(ini, "[Kovalindra]\npt1x=300\npt1y=300\npt2x=300\npt2y=300\nsizedisplay=99\n");
  c = ReadCalibration(ini);
  EXPECT_EQ(c, (DisplayCalibration{100, 100, 400, 100, 99}));  // coinciding points
}

TEST(Calibration, WriteThenReadKeepsOtherContent) {
  TempFolder t;
  const std::string ini = t.File("Kovalindra.ini");
  WriteText(ini, "[Other]\nkeep=1\n");
  std::string reason;
  const DisplayCalibration c{100, 500, 650, 480, 210};
  ASSERT_TRUE(WriteCalibration(ini, c, reason)) << reason;
  EXPECT_EQ(ReadCalibration(ini), c);
  EXPECT_EQ(platform::GetPrivateProfileString("Other", "keep", "", ini), "1");
  EXPECT_EQ(platform::GetPrivateProfileString("Kovalindra", "pt1y", "", ini), "500");
  // A folder that does not exist yet is made.
  const std::string nested = t.File("a/b/Kovalindra.ini");
  ASSERT_TRUE(WriteCalibration(nested, c, reason)) << reason;
  EXPECT_EQ(ReadCalibration(nested), c);
}

TEST(Calibration, SettingsFallBackToTheUserFolderWhenTheProgramFolderIsNotWritable) {
  TempFolder program, user;
  SettingsLocation where{program.Folder(), user.Folder() + "cfg/"};
  EXPECT_EQ(SettingsWritePath(where), program.Folder() + "Kovalindra.ini");
  // A program folder that cannot take a file (here: one that is not there).
  SettingsLocation gone{program.Folder() + "missing/", user.Folder() + "cfg/"};
  EXPECT_FALSE(IsFolderWritable(gone.programFolder));
  EXPECT_EQ(SettingsWritePath(gone), user.Folder() + "cfg/Kovalindra.ini");
  EXPECT_EQ(SettingsReadPath(gone), gone.programFolder + "Kovalindra.ini");
  std::string reason;
  const DisplayCalibration c{100, 400, 700, 400, 160};
  ASSERT_TRUE(WriteCalibration(SettingsWritePath(gone), c, reason)) << reason;
  EXPECT_EQ(SettingsReadPath(gone), user.Folder() + "cfg/Kovalindra.ini");
  EXPECT_EQ(ReadCalibration(SettingsReadPath(gone)), c);

  if (::geteuid() == 0) return;  // root writes into read-only folders
  // An installed program: its preset is read until the user calibrates.
  WriteText(program.File("Kovalindra.ini"), "[Kovalindra]\nsizedisplay=150\n");
  ::chmod(program.Folder().c_str(), 0555);
  EXPECT_FALSE(IsFolderWritable(program.Folder()));
  SettingsLocation other{program.Folder(), user.Folder() + "cfg2/"};
  EXPECT_EQ(ReadCalibration(SettingsReadPath(other)).sizedisplay, 150);
  EXPECT_FALSE(WriteCalibration(program.File("Kovalindra.ini"), c, reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(ReadCalibration(program.File("Kovalindra.ini")).sizedisplay, 150);
}

TEST(Calibration, FailedWriteIsReportedAndLeavesTheOldFile) {
  TempFolder t;
  // The target's folder is a file: nothing can be written below it.
  WriteText(t.File("blocker"), "x");
  std::string reason;
  EXPECT_FALSE(WriteCalibration(t.File("blocker/Kovalindra.ini"), DisplayCalibration{}, reason));
  EXPECT_FALSE(reason.empty());
  // A settings file too large to be one is refused, not truncated.
  const std::string ini = t.File("Kovalindra.ini");
  WriteText(ini, std::string(platform::kMaxPrivateProfileBytes + 10, 'a'));
  EXPECT_FALSE(WriteCalibration(ini, DisplayCalibration{}, reason));
  EXPECT_EQ(fs::file_size(ini), platform::kMaxPrivateProfileBytes + 10);
}

TEST(Calibration, ScreenKeysAreSafeAndEntriesStayOutOfTheFiveKeys) {
  const ScreenId dp{"DP-1", "Acme Co.", "View 27", 3840, 2160};
  EXPECT_EQ(ScreenKey(dp), "DP-1.Acme_Co..View_27.3840x2160");
  // The size tells two modes of one screen apart.
  EXPECT_NE(ScreenKey(dp), ScreenKey({"DP-1", "Acme Co.", "View 27", 1920, 1080}));
  // Bytes a settings key cannot hold, and any length, become a short key.
  const std::string key =
      ScreenKey({R"(\\.\DISPLAY1=[x])", std::string(200, 'm'), "\xe7\x94\xbb\n", 800, 600});
  EXPECT_EQ(key.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                  "0123456789._-"),
            std::string::npos);
  EXPECT_LE(key.size(), 3 * kMaxScreenKeyPart + 3 + 7);
  EXPECT_TRUE(key.ends_with(".800x600"));

  TempFolder t;
  const std::string ini = t.File("Kovalindra.ini");
  std::string reason;
  const DisplayCalibration primary{100, 500, 650, 480, 210};
  const DisplayCalibration other{100, 900, 900, 900, 100};
  ASSERT_TRUE(WriteCalibration(ini, primary, reason)) << reason;
  EXPECT_FALSE(ReadScreenCalibration(ini, ScreenKey(dp)));
  ASSERT_TRUE(WriteScreenCalibration(ini, ScreenKey(dp), other, reason)) << reason;
  ASSERT_TRUE(WriteScreenCalibration(ini, key, primary, reason)) << reason;
  EXPECT_EQ(ReadScreenCalibration(ini, ScreenKey(dp)), other);
  EXPECT_EQ(ReadScreenCalibration(ini, key), primary);
  EXPECT_EQ(ReadCalibration(ini), primary);
  EXPECT_EQ(platform::GetPrivateProfileString(kScreensSection, ScreenKey(dp) + ".pt1y", "", ini),
            "900");
  // An entry missing a value or with its points together is no entry.
  platform::WritePrivateProfileString(kScreensSection, key + ".pt2x", std::nullopt, ini);
  EXPECT_FALSE(ReadScreenCalibration(ini, key));
  platform::WritePrivateProfileString(kScreensSection, key + ".pt2x", "100", ini);
  platform::WritePrivateProfileString(kScreensSection, key + ".pt2y", "500", ini);
  EXPECT_FALSE(ReadScreenCalibration(ini, key));
  platform::WritePrivateProfileString(kScreensSection, key + ".pt2y", "5x", ini);
  EXPECT_FALSE(ReadScreenCalibration(ini, key));
}

TEST(Calibration, ScreenReportsAreBelievedOnlyWhenPlausible) {
  // A 24-inch 1920 x 1080 panel: 531 x 299 mm.
  ASSERT_TRUE(EstimateFromScreen(531, 299, 1920, 1080));
  EXPECT_NEAR(*EstimateFromScreen(531, 299, 1920, 1080), 0.2766, 1e-3);
  EXPECT_FALSE(EstimateFromScreen(0, 299, 1920, 1080));
  EXPECT_FALSE(EstimateFromScreen(531, 0, 1920, 1080));
  EXPECT_FALSE(EstimateFromScreen(160, 90, 1920, 1080 * 2));  // aspect disagrees
  EXPECT_FALSE(EstimateFromScreen(2000, 1125, 1920, 1080));   // 24 dpi
  EXPECT_FALSE(EstimateFromScreen(50, 28, 1920, 1080));       // 975 dpi
  EXPECT_FALSE(EstimateFromScreen(531, 299, 0, 1080));
}

TEST(Calibration, WidthNeededForTheReferenceLength) {
  // A4 at 96 dots per inch: 794 pixels, plus the anchor's 100 and room.
  EXPECT_EQ(CalibrationWidthNeeded(210, EstimatedMmPerDevicePixel(96)), 794 + 100 + 20);
  EXPECT_EQ(CalibrationWidthNeeded(210, EstimatedMmPerDevicePixel(192)), 1588 + 100 + 20);
  // Reports outside 50 to 600 are not believed.
  EXPECT_DOUBLE_EQ(EstimatedMmPerDevicePixel(0), 25.4 / 96);
  EXPECT_DOUBLE_EQ(EstimatedMmPerDevicePixel(5000), 25.4 / 96);
  EXPECT_EQ(CalibrationWidthNeeded(210, 0.0), 0);
  EXPECT_EQ(CalibrationWidthNeeded(0, 0.25), 0);
}

}  // namespace
}  // namespace kv::viewer
