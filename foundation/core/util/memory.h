#pragma once
// A decoded photo is tens to hundreds of megabytes written once, right after
// it is allocated. The kernel hands such a block out a 4 KiB page at a time,
// one fault for each, and on some machines each fault costs microseconds:
// measured here, writing a fresh 96 MB block took 0.36 to 0.54 s in small
// pages and 7 to 23 ms in 2 MiB ones.
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace kv {

// Blocks from this size on are worth huge pages.
inline constexpr size_t kHugePageBytes = size_t(2) << 20;

// Asks for huge pages over the whole pages inside [p, p + bytes), before the
// block is first written. Only advice: where the system has none (or says
// no) nothing changes.
void AdviseHugePages(void* p, size_t bytes);

// Even in huge pages, the kernel clears every fresh page before handing it
// out: for a photo about a fifth of its decode, on the decoding thread.
// This maps the pages of [p, p + bytes) from the start on a thread of its
// own while the caller writes them from the start too, so the clearing
// runs beside the writing on another core. The contents are not touched
// (a page written already is left as it is). The destructor stops it and
// waits; where the system cannot map pages ahead, or has one core, nothing
// is started. Several blocks are mapped one after the other, in the order
// given: the one written first, first.
class PrefaultPages {
 public:
  struct Block {
    void* p;
    size_t bytes;
  };
  PrefaultPages() = default;
  PrefaultPages(void* p, size_t bytes);
  explicit PrefaultPages(std::vector<Block> blocks);
  ~PrefaultPages();
  PrefaultPages(const PrefaultPages&) = delete;
  PrefaultPages& operator=(const PrefaultPages&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kv
