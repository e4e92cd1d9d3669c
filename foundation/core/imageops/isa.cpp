#include "foundation/core/imageops/isa.h"

#include <algorithm>
#include <atomic>

namespace kv::imageops_internal {

namespace {
std::atomic<int> gIsaCap{int(Isa::kAvx2)};
}  // namespace

Isa ActiveIsa() {
  static const Isa best = [] {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) return Isa::kAvx2;
#endif
#if defined(__SSE2__)
    return Isa::kSse2;
#else
    return Isa::kGeneric;
#endif
  }();
  return Isa(std::min(int(best), gIsaCap.load()));
}

void ForceIsa(Isa widest) { gIsaCap.store(int(widest)); }

}  // namespace kv::imageops_internal
