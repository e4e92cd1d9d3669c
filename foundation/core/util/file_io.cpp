#include "foundation/core/util/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kv {
namespace {

std::string ErrnoText(const char* what, int err) {
  return std::string(what) + ": " + std::strerror(err);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& reason,
                   uint64_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = ErrnoText("cannot open the file", errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    reason = "not a regular file";
    ::close(fd);
    return false;
  }
  if (uint64_t(st.st_size) > maxBytes) {
    reason = "the file is too large (" + std::to_string(uint64_t(st.st_size)) + " bytes)";
    ::close(fd);
    return false;
  }
  std::vector<uint8_t> data(size_t(st.st_size));
  size_t got = 0;
  while (got < data.size()) {
    const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = ErrnoText("read error", errno);
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

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& reason) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) {
    reason = "no file name";
    return false;
  }
  // Only a regular file is ever replaced: renaming over a device, a folder
  // or a pipe would silently destroy something that is not a document.
  struct stat target {};
  if (::lstat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode) && !S_ISLNK(target.st_mode)) {
    reason = "not a regular file";
    return false;
  }
  std::string temp = (folder.empty() ? std::string() : folder) + "/." + base + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    reason = ErrnoText("cannot create a file in the folder", errno);
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
    if (n < 0) return fail("write error", errno);
    done += size_t(n);
  }
  if (::fsync(fd) != 0) return fail("write error", errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    reason = ErrnoText("write error", err);
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    reason = ErrnoText("cannot replace the file", err);
    return false;
  }
  return true;
}

}  // namespace kv
