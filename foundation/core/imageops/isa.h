#pragma once
// Internal: which instruction sets the pixel loops use, and the switch
// tests use to reach every path on any machine.
#include <cstdint>

namespace kv::imageops_internal {

// Instruction sets of the inner loops, narrowest first.
enum class Isa : uint8_t { kGeneric, kSse2, kAvx2 };

// The widest set this build and machine allow, capped by ForceIsa.
Isa ActiveIsa();
// Tests: cap the sets used (kAvx2 lifts the cap), to compare the paths'
// outputs byte for byte.
void ForceIsa(Isa widest);

}  // namespace kv::imageops_internal
