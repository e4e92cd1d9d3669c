#include "foundation/core/util/memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <utility>

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

PrefaultPages::PrefaultPages(void* p, size_t bytes) : PrefaultPages(std::vector<Block>{{p, bytes}}) {}

PrefaultPages::PrefaultPages(std::vector<Block> blocks) {
#ifdef MADV_POPULATE_WRITE
  if (std::thread::hardware_concurrency() < 2) return;
  constexpr uintptr_t kPage = 4096;
  std::vector<std::pair<uintptr_t, uintptr_t>> ranges;
  for (const Block& b : blocks) {
    if (b.p == nullptr || b.bytes < kHugePageBytes) continue;
    const uintptr_t begin = (uintptr_t(b.p) + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (uintptr_t(b.p) + b.bytes) & ~(kPage - 1);
    if (end > begin) ranges.emplace_back(begin, end);
  }
  if (ranges.empty()) return;
  try {
    thread_ = std::thread([this, ranges = std::move(ranges)] {
      // A huge page at a time, so the writer is soon behind and a stop is
      // seen within one page's clearing.
      for (const auto& [begin, end] : ranges)
        for (uintptr_t at = begin; at < end;) {
          if (stop_.load(std::memory_order_relaxed)) return;
          const uintptr_t next = std::min(end, (at + kHugePageBytes) & ~(kHugePageBytes - 1));
          if (::madvise(reinterpret_cast<void*>(at), next - at, MADV_POPULATE_WRITE) != 0) return;
          at = next;
        }
    });
  } catch (const std::system_error&) {
    // No thread: the writer maps the pages itself, as without this.
  }
#else
  (void)blocks;
#endif
}

PrefaultPages::~PrefaultPages() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

}  // namespace kv
