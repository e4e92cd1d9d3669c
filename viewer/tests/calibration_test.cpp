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

// The settings file is written like every other file: a link is kept and
// its target written; a read-only file is refused and left byte for byte.
TEST(Calibration, SettingsBehindALinkOrReadOnly) {
  TempFolder t;
  fs::create_directory(t.File("real"));
  const std::string target = t.File("real/Kovalindra.ini");
  const std::string link = t.File("Kovalindra.ini");
  WriteText(target, "[other]\r\nkept=1\r\n");
  fs::create_symlink("real/Kovalindra.ini", link);
  const DisplayCalibration c{100, 500, 650, 480, 210};
  std::string reason;
  ASSERT_TRUE(WriteCalibration(link, c, reason)) << reason;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadCalibration(target), c);
  EXPECT_EQ(platform::GetPrivateProfileString("other", "kept", "", target), "1");
  // Through the store as well (a monitor's own entry).
  CalibrationStore store(link, link);
  const ScreenId b{"HDMI-1", "Acme", "Wall", 1000, 700, 530, 371};
  ASSERT_TRUE(store.Save(b, false, c, reason)) << reason;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadScreenCalibration(target, MonitorKey(b)), c);

  std::ifstream in(target, std::ios::binary);
  const std::string before((std::istreambuf_iterator<char>(in)), {});
  fs::permissions(target, fs::perms::owner_read);
  for (const std::string& path : {target, link}) {
    reason.clear();
    EXPECT_FALSE(WriteCalibration(path, {100, 500, 900, 480, 210}, reason)) << path;
    EXPECT_FALSE(reason.empty());
    CalibrationStore readOnly(path, path);
    EXPECT_FALSE(readOnly.Save(b, false, {100, 500, 900, 480, 210}, reason));
    std::ifstream again(target, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), before);
  }
  EXPECT_TRUE(fs::is_symlink(link));
}

TEST(Calibration, ScreenKeysAreSafeAndEntriesStayOutOfTheFiveKeys) {
  const ScreenId dp{"DP-1", "Acme Co.", "View 27", 3840, 2160, 597, 336};
  EXPECT_EQ(MonitorKey(dp), "DP-1.Acme_Co..View_27.597x336mm");
  EXPECT_EQ(ScreenKey(dp), "DP-1.Acme_Co..View_27.3840x2160");
  // The monitor is the same at any resolution.
  EXPECT_EQ(MonitorKey(dp), MonitorKey({"DP-1", "Acme Co.", "View 27", 1920, 1080, 597, 336}));
  // Bytes a settings key cannot hold, and any length, become a short key.
  const std::string key = MonitorKey(
      {R"(\\.\DISPLAY1=[x])", std::string(200, 'm'), "\xe7\x94\xbb\n", 800, 600, 0, 0});
  EXPECT_EQ(key.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                  "0123456789._-"),
            std::string::npos);
  EXPECT_LE(key.size(), 3 * kMaxScreenKeyPart + 3 + 7);
  EXPECT_TRUE(key.ends_with(".0x0mm"));

  TempFolder t;
  const std::string ini = t.File("Kovalindra.ini");
  std::string reason;
  const DisplayCalibration primary{100, 500, 650, 480, 210};
  const DisplayCalibration other{100, 900, 900, 900, 100};
  ASSERT_TRUE(WriteCalibration(ini, primary, reason)) << reason;
  EXPECT_FALSE(ReadScreenCalibration(ini, MonitorKey(dp)));
  ASSERT_TRUE(WriteScreenCalibration(ini, MonitorKey(dp), other, 3840, 2160, reason)) << reason;
  ASSERT_TRUE(WriteScreenCalibration(ini, key, primary, 800, 600, reason)) << reason;
  EXPECT_EQ(ReadScreenCalibration(ini, MonitorKey(dp)), other);
  EXPECT_EQ(ReadScreenCalibration(ini, key), primary);
  EXPECT_EQ(ReadCalibration(ini), primary);
  EXPECT_EQ(platform::GetPrivateProfileString(kScreensSection, MonitorKey(dp) + ".pt1y", "", ini),
            "900");
  EXPECT_EQ(
      platform::GetPrivateProfileString(kScreensSection, MonitorKey(dp) + ".pixels", "", ini),
      "3840x2160");
  // An entry missing a value or with its points together is no entry.
  platform::WritePrivateProfileString(kScreensSection, key + ".pt2x", std::nullopt, ini);
  EXPECT_FALSE(ReadScreenCalibration(ini, key));
  platform::WritePrivateProfileString(kScreensSection, key + ".pt2x", "100", ini);
  platform::WritePrivateProfileString(kScreensSection, key + ".pt2y", "500", ini);
  EXPECT_FALSE(ReadScreenCalibration(ini, key));
  platform::WritePrivateProfileString(kScreensSection, key + ".pt2y", "5x", ini);
  EXPECT_FALSE(ReadScreenCalibration(ini, key));
}

// Two monitors as the store sees them, without a window.
TEST(Calibration, EachCalibrationBelongsToTheMonitorItWasMadeOn) {
  TempFolder t;
  const std::string ini = t.File("Kovalindra.ini");
  const ScreenId a{"eDP-1", "Acme", "Panel", 1000, 700, 265, 186};
  const ScreenId b{"HDMI-1", "Acme", "Wall", 1000, 700, 530, 371};
  const DisplayCalibration onA{100, 600, 900, 600, 210}, onB{100, 600, 900, 600, 420};
  std::string reason;
  // A file of before: the five keys and B's entry keyed by its resolution.
  ASSERT_TRUE(WriteCalibration(ini, onA, reason)) << reason;
  platform::WritePrivateProfileString(kScreensSection, ScreenKey(b) + ".pt1x", "100", ini);
  platform::WritePrivateProfileString(kScreensSection, ScreenKey(b) + ".pt1y", "600", ini);
  platform::WritePrivateProfileString(kScreensSection, ScreenKey(b) + ".pt2x", "900", ini);
  platform::WritePrivateProfileString(kScreensSection, ScreenKey(b) + ".pt2y", "600", ini);
  platform::WritePrivateProfileString(kScreensSection, ScreenKey(b) + ".sizedisplay", "420", ini);
  CalibrationState state;
  {
    CalibrationStore store(ini, ini);
    EXPECT_EQ(store.FiveKeysMonitor(), "");
    // The first start ties the five keys to the primary, in the file too.
    store.SetPrimary(a);
    EXPECT_EQ(store.FiveKeysMonitor(), MonitorKey(a));
    EXPECT_EQ(platform::GetPrivateProfileString(kSettingsSection, kMonitorKeyName, "", ini, 256),
              MonitorKey(a) + "@1000x700");
    EXPECT_EQ(store.For(a, state), onA);
    EXPECT_EQ(state, CalibrationState::Calibrated);
    EXPECT_EQ(store.For(b, state), onB);
    EXPECT_EQ(state, CalibrationState::Calibrated);
  }
  // B made primary: each keeps its own, and calibrating B leaves A's keys.
  CalibrationStore store(ini, ini);
  store.SetPrimary(b);
  EXPECT_EQ(store.For(a, state), onA);
  EXPECT_EQ(store.For(b, state), onB);
  const DisplayCalibration newB{100, 600, 700, 600, 300};
  ASSERT_TRUE(store.Save(b, true, newB, reason)) << reason;
  EXPECT_EQ(ReadCalibration(ini), onA);
  EXPECT_EQ(ReadScreenCalibration(ini, MonitorKey(b)), newB);
  EXPECT_EQ(store.For(b, state), newB);
  EXPECT_EQ(store.For(a, state), onA);
  // A monitor nobody calibrated has nothing, whatever the others have.
  const ScreenId c{"DP-2", "Other", "Mon", 1920, 1080, 600, 340};
  EXPECT_EQ(store.For(c, state), DisplayCalibration{});
  EXPECT_EQ(state, CalibrationState::Uncalibrated);
  // Another resolution makes a calibration void until it is made again.
  ScreenId aWide = a;
  aWide.widthPx = 1280;
  aWide.heightPx = 896;
  EXPECT_EQ(store.For(aWide, state), DisplayCalibration{});
  EXPECT_EQ(state, CalibrationState::ResolutionChanged);
  ScreenId bWide = b;
  bWide.widthPx = 2000;
  bWide.heightPx = 1400;
  store.For(bWide, state);
  EXPECT_EQ(state, CalibrationState::ResolutionChanged);
  ASSERT_TRUE(store.Save(aWide, false, onB, reason)) << reason;
  EXPECT_EQ(store.For(aWide, state), onB);
  EXPECT_EQ(state, CalibrationState::Calibrated);
  EXPECT_EQ(platform::GetPrivateProfileString(kSettingsSection, kMonitorKeyName, "", ini, 256),
            MonitorKey(a) + "@1280x896");
  // Read again from the file: the same.
  CalibrationStore again(ini, ini);
  again.SetPrimary(b);
  EXPECT_EQ(again.For(aWide, state), onB);
  EXPECT_EQ(again.For(b, state), newB);
  EXPECT_EQ(again.For(a, state), DisplayCalibration{});
  EXPECT_EQ(state, CalibrationState::ResolutionChanged);

  // A fresh file: the primary's calibration goes into the five keys, any
  // other monitor's into its entry.
  TempFolder u;
  const std::string fresh = u.File("Kovalindra.ini");
  CalibrationStore empty(fresh, fresh);
  empty.SetPrimary(a);
  EXPECT_FALSE(std::filesystem::exists(fresh));  // nothing to tie
  ASSERT_TRUE(empty.Save(b, false, onB, reason)) << reason;
  EXPECT_EQ(ReadCalibration(fresh), DisplayCalibration{});
  ASSERT_TRUE(empty.Save(a, true, onA, reason)) << reason;
  EXPECT_EQ(ReadCalibration(fresh), onA);
  EXPECT_EQ(ReadScreenCalibration(fresh, MonitorKey(b)), onB);
}

TEST(Calibration, APresetIsCarriedIntoTheUsersOwnFile) {
  TempFolder program, user;
  const DisplayCalibration preset{100, 600, 900, 600, 210};
  std::string reason;
  ASSERT_TRUE(WriteCalibration(program.File("Kovalindra.ini"), preset, reason)) << reason;
  const std::string mine = user.File("Kovalindra.ini");
  CalibrationStore store(program.File("Kovalindra.ini"), mine);
  const ScreenId a{"eDP-1", "Acme", "Panel", 1000, 700, 265, 186};
  store.SetPrimary(a);
  // The user's file now hides the preset: it must carry its five keys.
  EXPECT_EQ(ReadCalibration(mine), preset);
  const ScreenId b{"HDMI-1", "Acme", "Wall", 1000, 700, 530, 371};
  ASSERT_TRUE(store.Save(b, false, {100, 600, 500, 600, 100}, reason)) << reason;
  EXPECT_EQ(ReadCalibration(mine), preset);
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
  // Reports outside 50 to 600 are not believed: the one fallback density.
  EXPECT_DOUBLE_EQ(FallbackMmPerDevicePixel(1.0), 25.4 / 96);
  EXPECT_DOUBLE_EQ(FallbackMmPerDevicePixel(2.0), 25.4 / 192);
  EXPECT_DOUBLE_EQ(FallbackMmPerDevicePixel(0.0), 25.4 / 96);
  EXPECT_DOUBLE_EQ(EstimatedMmPerDevicePixel(0), 25.4 / 96);
  EXPECT_DOUBLE_EQ(EstimatedMmPerDevicePixel(5000), 25.4 / 96);
  EXPECT_EQ(CalibrationWidthNeeded(210, 0.0), 0);
  EXPECT_EQ(CalibrationWidthNeeded(0, 0.25), 0);
}

TEST(Calibration, AMisClickIsToldFromACalibration) {
  // 80 pixels for 210 mm: about 10 dpi.
  EXPECT_TRUE(CalibrationLooksWrong(210.0 / 80, std::nullopt));
  EXPECT_TRUE(CalibrationLooksWrong(25.4 / 700, std::nullopt));
  EXPECT_FALSE(CalibrationLooksWrong(25.4 / 96, std::nullopt));
  EXPECT_FALSE(CalibrationLooksWrong(25.4 / 550, std::nullopt));
  // Against a plausible report: within 25 % is believed.
  const double reported = 0.25;
  EXPECT_FALSE(CalibrationLooksWrong(0.30, reported));
  EXPECT_FALSE(CalibrationLooksWrong(0.20, reported));
  EXPECT_TRUE(CalibrationLooksWrong(0.32, reported));
  EXPECT_TRUE(CalibrationLooksWrong(0.18, reported));
  EXPECT_TRUE(CalibrationLooksWrong(0.0, reported));
}

}  // namespace
}  // namespace kv::viewer
