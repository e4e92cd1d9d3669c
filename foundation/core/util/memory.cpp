#include "foundation/core/util/memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace kv {

void AdviseHugePages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
  if (p == nullptr || bytes < kHugePageBytes) return;
  constexpr uintptr_t kPage = 4096;
  const uintptr_t begin = (uintptr_t(p) + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (uintptr_t(p) + bytes) & ~(kPage - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

}  // namespace kv
