#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <tuple>
#include <fstream>
#include <iterator>

#include "foundation/core/util/file_io.h"
#include "foundation/core/util/stop.h"

namespace kv {
namespace {

class FileIo : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kv_file_io_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    ::chmod(dir_.c_str(), 0700);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
  }
  std::string dir_;
};

TEST_F(FileIo, WritesAndReplacesLeavingNoTemporaryFiles) {
  const std::string path = dir_ + "/a.kvi";
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(path, Bytes("first"), reason)) << reason;
  ASSERT_TRUE(WriteFileAtomically(path, Bytes("second"), reason)) << reason;
  EXPECT_EQ(Slurp(path), "second");
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadWholeFile(path, data, reason));
  EXPECT_EQ(std::string(data.begin(), data.end()), "second");
  // Only the target is left in the folder.
  EXPECT_EQ(std::system(("test $(ls -A '" + dir_ + "' | wc -l) -eq 1").c_str()), 0);
}

TEST_F(FileIo, FailedWriteKeepsTheOldFile) {
  const std::string path = dir_ + "/keep.kvp";
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(path, Bytes("precious"), reason));
  if (::geteuid() != 0) {  // root ignores folder permissions
    ::chmod(dir_.c_str(), 0500);
    EXPECT_FALSE(WriteFileAtomically(path, Bytes("new"), reason));
    EXPECT_FALSE(reason.empty());
    ::chmod(dir_.c_str(), 0700);
  }
  // A folder that does not exist fails too.
  EXPECT_FALSE(WriteFileAtomically(dir_ + "/missing/x", Bytes("x"), reason));
  // A target that is a folder cannot be replaced.
  ::mkdir((dir_ + "/sub").c_str(), 0700);
  EXPECT_FALSE(WriteFileAtomically(dir_ + "/sub", Bytes("x"), reason));
  EXPECT_EQ(Slurp(path), "precious");
}

// Each case a user met: a link kept while its target is written (relative,
// absolute, a chain, a link whose target is not there yet), and a file made
// read-only, directly or behind a link, left as it was.
TEST_F(FileIo, LinksAreFollowedAndReadOnlyTargetsRefused) {
  ::mkdir((dir_ + "/real").c_str(), 0700);
  const std::string target = dir_ + "/real/project.kvp";
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(target, Bytes("old"), reason)) << reason;
  ASSERT_EQ(::symlink("real/project.kvp", (dir_ + "/rel.kvp").c_str()), 0);
  ASSERT_EQ(::symlink(target.c_str(), (dir_ + "/abs.kvp").c_str()), 0);
  ASSERT_EQ(::symlink("rel.kvp", (dir_ + "/chain.kvp").c_str()), 0);
  for (const char* link : {"/rel.kvp", "/abs.kvp", "/chain.kvp"}) {
    ASSERT_TRUE(WriteFileAtomically(dir_ + link, Bytes(link), reason)) << link << reason;
    struct stat st {};
    ASSERT_EQ(::lstat((dir_ + link).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
    EXPECT_EQ(Slurp(target), link);
  }
  EXPECT_EQ(ResolveLinks(dir_ + "/chain.kvp"), dir_ + "/real/project.kvp");
  EXPECT_EQ(ResolveLinks(target), target);
  // No temporary file is left beside the link or the target.
  EXPECT_EQ(std::system(("test $(ls -A '" + dir_ + "/real' | wc -l) -eq 1").c_str()), 0);

  ASSERT_EQ(::symlink("real/new.kvi", (dir_ + "/dangling.kvi").c_str()), 0);
  ASSERT_TRUE(WriteFileAtomically(dir_ + "/dangling.kvi", Bytes("made"), reason)) << reason;
  EXPECT_EQ(Slurp(dir_ + "/real/new.kvi"), "made");

  ::chmod(target.c_str(), 0444);
  for (const std::string& path : {target, dir_ + "/abs.kvp"}) {
    reason.clear();
    EXPECT_FALSE(WriteFileAtomically(path, Bytes("lost"), reason)) << path;
    EXPECT_NE(reason.find("読み取り専用"), std::string::npos) << reason;
  }
  EXPECT_EQ(Slurp(target), "/chain.kvp");

  ASSERT_EQ(::symlink("loop.kvp", (dir_ + "/loop.kvp").c_str()), 0);
  EXPECT_FALSE(WriteFileAtomically(dir_ + "/loop.kvp", Bytes("x"), reason));
}

TEST_F(FileIo, ReadRefusesOversizedAndMissingFilesAndKeepsOutput) {
  const std::string path = dir_ + "/big";
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(path, Bytes("0123456789"), reason));
  std::vector<uint8_t> data = {1, 2, 3};
  EXPECT_FALSE(ReadWholeFile(path, data, reason, 9));
  EXPECT_EQ(data.size(), 3u);
  EXPECT_FALSE(ReadWholeFile(dir_ + "/none", data, reason));
  EXPECT_FALSE(ReadWholeFile(dir_, data, reason));  // a folder
  EXPECT_EQ(data.size(), 3u);
  EXPECT_TRUE(ReadWholeFile(path, data, reason, 10));
  EXPECT_EQ(data.size(), 10u);
  // A file of several chunks comes whole; a read its caller gave up on
  // stops before it starts and keeps the output.
  std::string large(kReadChunkBytes * 2 + 123, 'k');
  large[kReadChunkBytes] = 'x';
  ASSERT_TRUE(WriteFileAtomically(path, Bytes(large), reason));
  std::atomic<bool> stop{false};
  ASSERT_TRUE(ReadWholeFile(path, data, reason, uint64_t(1) << 31, &stop));
  EXPECT_EQ(std::string(data.begin(), data.end()), large);
  stop = true;
  data = {1, 2, 3};
  EXPECT_FALSE(ReadWholeFile(path, data, reason, uint64_t(1) << 31, &stop));
  EXPECT_EQ(reason, kStoppedReason);
  EXPECT_EQ(data.size(), 3u);
}

TEST_F(FileIo, PipesAndDevicesAreRefusedWithoutWaitingOnThem) {
  const std::string fifo = dir_ + "/pipe.kvi";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Read on another thread: a read that waits for a writer is let go by one,
  // so the test fails instead of hanging.
  auto read = [](const std::string& path) {
    return std::async(std::launch::async, [path] {
      std::vector<uint8_t> data = {1};
      std::string reason;
      const bool ok = ReadWholeFile(path, data, reason);
      return std::make_tuple(ok, reason, data.size());
    });
  };
  auto pending = read(fifo);
  if (pending.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
    const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (w >= 0) ::close(w);
    ADD_FAILURE() << "the read waited on the pipe";
  }
  const auto [ok, reason, size] = pending.get();
  EXPECT_FALSE(ok);
  EXPECT_EQ(size, 1u);
  EXPECT_NE(reason.find("名前付きﾊﾟｲﾌﾟ"), std::string::npos) << reason;
  const auto [devOk, devReason, devSize] = read("/dev/zero").get();
  EXPECT_FALSE(devOk);
  EXPECT_NE(devReason.find("ﾃﾞﾊﾞｲｽ"), std::string::npos) << devReason;
  // Each refusal says why in the user's words.
  EXPECT_EQ(UnreadableReason(dir_ + "/none.kvi"), "ﾌｧｲﾙが見つかりません");
  EXPECT_NE(UnreadableReason(dir_)->find("ﾌｫﾙﾀﾞ"), std::string::npos);
  EXPECT_EQ(UnreadableReason(fifo)->find("名前付きﾊﾟｲﾌﾟ"), 0u);
  const std::string plain = dir_ + "/plain.kvi";
  std::string why;
  ASSERT_TRUE(WriteFileAtomically(plain, Bytes("x"), why));
  EXPECT_EQ(UnreadableReason(plain), std::nullopt);
  EXPECT_EQ(ErrnoJapanese(12345).find_first_of("0123456789"), std::string::npos);
}

TEST_F(FileIo, DevicesAreNeverReplaced) {
  std::string reason;
  std::vector<uint8_t> big(1 << 16, 7);
  EXPECT_FALSE(WriteFileAtomically("/dev/full", big, reason));
  EXPECT_FALSE(WriteFileAtomically("/dev/null", big, reason));
  struct stat st {};
  ASSERT_EQ(::stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(FileIo, FullDiskKeepsTheOldFile) {
  // A 64 KiB tmpfs stands for a full disk; it needs the right to mount.
  const std::string mnt = dir_ + "/small";
  ::mkdir(mnt.c_str(), 0700);
  if (std::system(("mount -t tmpfs -o size=64k tmpfs '" + mnt + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  }
  const std::string path = mnt + "/project.kvp";
  std::string reason;
  std::vector<uint8_t> small(1000, 'a');
  ASSERT_TRUE(WriteFileAtomically(path, small, reason)) << reason;
  std::vector<uint8_t> big(1 << 20, 'b');
  EXPECT_FALSE(WriteFileAtomically(path, big, reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(Slurp(path), std::string(1000, 'a'));
  EXPECT_EQ(std::system(("test $(ls -A '" + mnt + "' | wc -l) -eq 1").c_str()), 0);
  std::system(("umount '" + mnt + "'").c_str());
}

}  // namespace
}  // namespace kv
