// Both programs start from the build folder and keep running until closed.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

void ExpectStarts(const QString& name) {
  const QString bin = qEnvironmentVariable("KV_BIN_DIR");
  const QString program = bin + "/" + name;
  if (!QFileInfo(program).isExecutable()) GTEST_SKIP() << name.toStdString() << " is not built";
  QTemporaryDir home;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("HOME", home.path());
  env.insert("XDG_CONFIG_HOME", home.filePath("config"));
  QProcess p;
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, {});
  ASSERT_TRUE(p.waitForStarted(5000));
  // Still up after its start-up: the frame is showing and the loop runs.
  EXPECT_FALSE(p.waitForFinished(2500)) << p.readAll().toStdString();
  EXPECT_EQ(p.state(), QProcess::Running);
  p.terminate();
  if (!p.waitForFinished(3000)) {
    p.kill();
    p.waitForFinished(3000);
  }
}

TEST(Programs, ViewerStarts) { ExpectStarts("Kovalindra"); }
TEST(Programs, AuthoringToolStarts) { ExpectStarts("Kovasand"); }

}  // namespace
