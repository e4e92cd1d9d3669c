#include "foundation/core/util/module_folder.h"

#include <unistd.h>

#include <vector>

namespace kv {

std::string GetModuleFolder() {
  // The link's target may be longer than any fixed buffer; grow until the
  // whole path fits.
  std::vector<char> buf(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return "./";
    if (size_t(n) < buf.size()) {
      std::string path(buf.data(), size_t(n));
      const size_t slash = path.rfind('/');
      return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
    }
    if (buf.size() >= (1u << 20)) return "./";
    buf.resize(buf.size() * 2);
  }
}

}  // namespace kv
