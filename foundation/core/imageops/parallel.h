#pragma once
// Internal: the worker pool behind the pixel operations, and the switches
// tests use to reach every code path on any machine.
#include <cstdint>
#include <functional>

namespace kv::imageops_internal {

// Runs task(0) .. task(count - 1), each exactly once, on at most `threads`
// threads, the calling thread among them, and returns when all have
// finished. Several threads may call it at once: each caller works on its
// own tasks too, so a call finishes even while the workers are busy
// elsewhere.
void ParallelFor(int count, int threads, const std::function<void(int)>& task);

// How many threads an operation producing `outputPixels` pixels uses: the
// configured count, or 1 for jobs too small to repay the hand-over.
int ThreadsFor(int64_t outputPixels);

// Tests: jobs of at least this many output pixels are split (0 restores the
// default), so that small images exercise the split too.
void SetMinParallelPixels(int64_t pixels);

// Instruction sets of the inner loops, narrowest first.
enum class Isa : uint8_t { kGeneric, kSse2, kAvx2 };

// The widest set this build and machine allow, capped by ForceIsa.
Isa ActiveIsa();
// Tests: cap the sets used (kAvx2 lifts the cap), to compare the paths'
// outputs byte for byte.
void ForceIsa(Isa widest);

}  // namespace kv::imageops_internal
