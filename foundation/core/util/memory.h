#pragma once
// A decoded photo is tens to hundreds of megabytes written once, right after
// it is allocated. The kernel hands such a block out a 4 KiB page at a time,
// one fault for each, and on some machines each fault costs microseconds:
// measured here, writing a fresh 96 MB block took 0.36 to 0.54 s in small
// pages and 7 to 23 ms in 2 MiB ones.
#include <cstddef>

namespace kv {

// Blocks from this size on are worth huge pages.
inline constexpr size_t kHugePageBytes = size_t(2) << 20;

// Asks for huge pages over the whole pages inside [p, p + bytes), before the
// block is first written. Only advice: where the system has none (or says
// no) nothing changes.
void AdviseHugePages(void* p, size_t bytes);

}  // namespace kv
