#include "foundation/core/util/file_io.h"
#include "foundation/core/util/memory.h"
#include "foundation/core/util/stop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kv {
namespace {

}  // namespace

// The user reads these: the system's own texts would be English.
std::string ErrnoJapanese(int err) {
  switch (err) {
    case ENOENT: return "ﾌｧｲﾙまたはﾌｫﾙﾀﾞがありません";
    case EACCES:
    case EPERM: return "ｱｸｾｽが許可されていません";
    case ENOSPC: return "ﾃﾞｨｽｸの空き容量が足りません";
    case EDQUOT: return "ﾃﾞｨｽｸの使用量の上限を超えました";
    case EROFS: return "読み取り専用の場所です";
    case EISDIR: return "ﾌｫﾙﾀﾞです";
    case ENOTDIR: return "途中の名前がﾌｫﾙﾀﾞではありません";
    case EIO: return "入出力ｴﾗｰです";
    case ENAMETOOLONG: return "名前が長すぎます";
    case EEXIST: return "既に存在します";
    case EMFILE:
    case ENFILE: return "開いているﾌｧｲﾙが多すぎます";
    case EBUSY:
    case ETXTBSY: return "使用中です";
    case ELOOP: return "ﾘﾝｸが多すぎます";
    case EFBIG: return "ﾌｧｲﾙが大きすぎます";
    // The number would mean nothing to the user.
    default: return "ｼｽﾃﾑのｴﾗｰです";
  }
}

namespace {

std::string ErrnoText(const char* what, int err) {
  return std::string(what) + " (" + ErrnoJapanese(err) + ")";
}

}  // namespace

std::optional<std::string> UnreadableReason(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) return "ﾌｧｲﾙが見つかりません";
    return "ﾌｧｲﾙを開けません (" + ErrnoJapanese(err) + ")";
  }
  if (S_ISDIR(st.st_mode)) return "ﾌｫﾙﾀﾞです。ﾌｧｲﾙを選んで下さい";
  if (S_ISFIFO(st.st_mode)) return "名前付きﾊﾟｲﾌﾟです。通常のﾌｧｲﾙではありません";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
    return "ﾃﾞﾊﾞｲｽです。通常のﾌｧｲﾙではありません";
  if (!S_ISREG(st.st_mode)) return "通常のﾌｧｲﾙではありません";
  if (::access(path.c_str(), R_OK) != 0 && errno == EACCES)
    return "ﾌｧｲﾙを読む権限がありません";
  return std::nullopt;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& reason,
                   uint64_t maxBytes, const std::atomic<bool>* stop) {
  // A pipe or a device would make open() or read() wait for a writer that
  // may never come, and the caller may be the interface thread.
  if (const std::optional<std::string> why = UnreadableReason(path)) {
    reason = *why;
    return false;
  }
  // Non-blocking in case it was swapped for a pipe since the look above;
  // the type is checked again on what was really opened.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    reason = ErrnoText("ﾌｧｲﾙを開けません", errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    reason = "通常のﾌｧｲﾙではありません";
    ::close(fd);
    return false;
  }
  if (uint64_t(st.st_size) > maxBytes) {
    reason = "ﾌｧｲﾙが大きすぎます (" + std::to_string(uint64_t(st.st_size)) + "ﾊﾞｲﾄ)";
    ::close(fd);
    return false;
  }
  std::vector<uint8_t> data;
  data.reserve(size_t(st.st_size));
  AdviseHugePages(data.data(), size_t(st.st_size));
  data.resize(size_t(st.st_size));
  size_t got = 0;
  while (got < data.size()) {
    // A large file from a slow disk or a network folder takes seconds.
    if (StopRequested(stop)) {
      reason = kStoppedReason;
      ::close(fd);
      return false;
    }
    const ssize_t n = ::read(fd, data.data() + got, std::min(data.size() - got, kReadChunkBytes));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = ErrnoText("読み込みｴﾗｰ", errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;  // shrank while we read: keep what is there
    got += size_t(n);
  }
  ::close(fd);
  data.resize(got);
  out.swap(data);
  return true;
}

std::string ResolveLinks(const std::string& path) {
  std::string current = path;
  // The system's own limit on a chain of links; past it the name is kept and
  // the write fails on it with ELOOP, as opening it would.
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(size_t(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n <= 0 || size_t(n) >= target.size()) return current;
    target.resize(size_t(n));
    if (target[0] != '/') {
      const size_t slash = current.rfind('/');
      if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
    }
    current = target;
  }
  return current;
}

bool WriteFileAtomically(const std::string& requested, std::span<const uint8_t> bytes,
                         std::string& reason) {
  // A link stays a link: the file it names is the one replaced, in its own
  // folder, so the rename lands on the same file system.
  const std::string path = ResolveLinks(requested);
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) {
    reason = "ﾌｧｲﾙ名がありません";
    return false;
  }
  // Only a regular file is ever replaced: renaming over a device, a folder
  // or a pipe would silently destroy something that is not a document.
  struct stat target {};
  if (::lstat(path.c_str(), &target) == 0) {
    if (S_ISLNK(target.st_mode)) {
      reason = ErrnoText("ﾌｧｲﾙを置き換えられません", ELOOP);
      return false;
    }
    if (!S_ISREG(target.st_mode)) {
      reason = "通常のﾌｧｲﾙではありません";
      return false;
    }
    // Renaming needs only the folder's permission, so a file the user made
    // read-only would be replaced all the same; its mode is the user's word.
    // The mode bits are asked too because root passes every access check.
    if ((target.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) {
      reason = "読み取り専用のﾌｧｲﾙです";
      return false;
    }
  }
  std::string temp = (folder.empty() ? std::string() : folder) + "/." + base + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    reason = ErrnoText("ﾌｫﾙﾀﾞにﾌｧｲﾙを作成できません", errno);
    return false;
  }
  // mkstemp makes the file 0600; give it the mode an ordinary new file gets,
  // or keep the mode of the file it replaces.
  struct stat old {};
  mode_t mode;
  if (::stat(path.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);

  auto fail = [&](const char* what, int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    reason = ErrnoText(what, err);
    return false;
  };
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail("書き込みｴﾗｰ", errno);
    done += size_t(n);
  }
  if (::fsync(fd) != 0) return fail("書き込みｴﾗｰ", errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    reason = ErrnoText("書き込みｴﾗｰ", err);
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    reason = ErrnoText("ﾌｧｲﾙを置き換えられません", err);
    return false;
  }
  return true;
}

bool IsFolderWritable(const std::string& folder) {
  struct stat st {};
  if (folder.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string SettingsFileForWriting(const SettingsLocation& where, const std::string& name) {
  if (IsFolderWritable(where.programFolder) || where.userFolder.empty())
    return where.programFolder + name;
  return where.userFolder + name;
}

std::string SettingsFileForReading(const SettingsLocation& where, const std::string& name) {
  const std::string w = SettingsFileForWriting(where, name);
  struct stat st {};
  if (::stat(w.c_str(), &st) == 0) return w;
  return where.programFolder + name;
}

}  // namespace kv
