#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kv {

// Reads the whole regular file into `out`. Refuses (false, reason) a file
// larger than maxBytes instead of allocating what it claims; `out` is only
// replaced on success.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& reason,
                   uint64_t maxBytes = uint64_t(1) << 31);

// Writes to a fresh temporary file in the target's folder, flushes it to
// disk, then renames it over `path`. On any failure the temporary file is
// removed, an existing `path` is left byte-identical, and false is returned
// with a reason.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& reason);

}  // namespace kv
