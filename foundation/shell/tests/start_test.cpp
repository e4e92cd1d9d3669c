// Both programs start from the build folder and keep running until closed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

// whileUp: checks made while the program is running.
void ExpectStarts(const QString& name, const QStringList& arguments = {},
                  const std::function<void()>& whileUp = {}) {
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
  if (whileUp) whileUp();
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

// A named pipe called like a photo is refused as one, never opened: a
// program waiting in open() for a writer would never show its window.
TEST(Programs, APipeCalledLikeAPhotoIsRefusedWithoutWaiting) {
  QTemporaryDir dir;
  const QByteArray fifo = QFile::encodeName(dir.filePath("pipe.kvi"));
  ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
  ExpectStarts("Kovalindra", {dir.filePath("pipe.kvi")}, [&] {
    // Opening for writing without waiting succeeds only while some process
    // has the pipe open for reading (or waits to).
    const int w = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
    const int err = errno;
    if (w >= 0) ::close(w);
    EXPECT_LT(w, 0) << "the viewer opened the pipe";
    EXPECT_EQ(err, ENXIO);
  });
}

}  // namespace
