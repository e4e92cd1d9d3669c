#include "platform/shell_target.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/services.h"

namespace kv::platform {
namespace {

TEST(ShellTarget, WebAddressesAndExistingFilesPass) {
  EXPECT_EQ(ClassifyShellTarget("http://example.invalid/help.html"), ShellTargetKind::WebAddress);
  EXPECT_EQ(ClassifyShellTarget("HTTPS://example.invalid/"), ShellTargetKind::WebAddress);
  const auto file = std::filesystem::temp_directory_path() / "kv_shell_target_test.kvi";
  std::ofstream(file) << "x";
  EXPECT_EQ(ClassifyShellTarget(file.string()), ShellTargetKind::LocalFile);
  std::filesystem::remove(file);
  EXPECT_EQ(ClassifyShellTarget(file.string()), ShellTargetKind::Refused);
}

TEST(ShellTarget, EverythingElseIsRefused) {
  EXPECT_EQ(ClassifyShellTarget(""), ShellTargetKind::Refused);
  EXPECT_EQ(ClassifyShellTarget("ftp://example.invalid/"), ShellTargetKind::Refused);
  EXPECT_EQ(ClassifyShellTarget("file:///etc/passwd"), ShellTargetKind::Refused);
  EXPECT_EQ(ClassifyShellTarget("javascript:alert(1)"), ShellTargetKind::Refused);
  EXPECT_EQ(ClassifyShellTarget("http://"), ShellTargetKind::Refused);
  EXPECT_EQ(ClassifyShellTarget("http:///etc/passwd"), ShellTargetKind::Refused);
  EXPECT_EQ(ClassifyShellTarget("http://a b/"), ShellTargetKind::Refused);
  EXPECT_EQ(ClassifyShellTarget("http://example.invalid/\n--option"), ShellTargetKind::Refused);
  EXPECT_EQ(ClassifyShellTarget("-h"), ShellTargetKind::Refused);
  EXPECT_EQ(ClassifyShellTarget(std::filesystem::temp_directory_path().string()),
            ShellTargetKind::Refused);  // a folder is not a file
}

TEST(ShellTarget, TheLengthLimitIsOneThousandTwentyFourBytes) {
  const std::string base = "http://example.invalid/";
  const std::string fits = base + std::string(kMaxShellTargetBytes - 1 - base.size(), 'a');
  ASSERT_EQ(fits.size(), 1023u);
  EXPECT_EQ(ClassifyShellTarget(fits), ShellTargetKind::WebAddress);
  EXPECT_EQ(ClassifyShellTarget(fits + "a"), ShellTargetKind::Refused);
  EXPECT_EQ(ClassifyShellTarget(fits + std::string(5000, 'a')), ShellTargetKind::Refused);
}

int g_on = 0, g_off = 0;

TEST(WaitCursor, CallsTheInstalledHookAroundItsLifetime) {
  { WaitCursor none; }  // no hook: nothing happens
  WaitCursor::InstallHook([](bool on) { ++(on ? g_on : g_off); });
  {
    WaitCursor w;
    EXPECT_EQ(g_on, 1);
    EXPECT_EQ(g_off, 0);
  }
  EXPECT_EQ(g_off, 1);
  WaitCursor::InstallHook(nullptr);
}

}  // namespace
}  // namespace kv::platform
