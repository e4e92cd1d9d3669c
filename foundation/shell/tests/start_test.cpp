// Both programs start from the build folder and keep running until closed.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

void ExpectStarts(const QString& name, const QStringList& arguments = {}) {
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
  p.start(program, arguments);
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

// A file given on the command line that does not open is told, and the
// program stays up with an empty document.
TEST(Programs, AFileThatDoesNotOpenKeepsTheProgramUp) {
  QTemporaryDir dir;
  const QString bad = dir.filePath("broken.kvi");
  QFile f(bad);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("not a photo file");
  f.close();
  ExpectStarts("Kovalindra", {bad});
  ExpectStarts("Kovasand", {dir.filePath("missing.kvp")});
}

}  // namespace
