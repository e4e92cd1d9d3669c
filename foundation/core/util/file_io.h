#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kv {

// Why `path` cannot be read as a document, in Japanese: it does not exist,
// is a folder, a named pipe or a device, or may not be read. None when it
// is a regular file that can be tried.
std::optional<std::string> UnreadableReason(const std::string& path);

// Reads the whole regular file into `out`; anything else (a named pipe, a
// device) is refused before it is opened, so a read never waits on one. Refuses (false, reason) a file
// larger than maxBytes instead of allocating what it claims; `out` is only
// replaced on success. Read in chunks of kReadChunkBytes, `stop` looked at
// between them: once set, false with kStoppedReason.
inline constexpr size_t kReadChunkBytes = size_t(4) << 20;
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& reason,
                   uint64_t maxBytes = uint64_t(1) << 31, const std::atomic<bool>* stop = nullptr);

// The file a chain of symbolic links ends at (relative links resolved
// against their own folder); `path` itself when it is no link. The target
// need not exist.
std::string ResolveLinks(const std::string& path);

// Writes to a fresh temporary file in the target's folder, flushes it to
// disk, then renames it over `path`. A symbolic link is followed to its
// target, which is replaced and the link kept; a target without write
// permission (also for root) or that is no regular file is refused. On any
// failure the temporary file is removed, an existing `path` is left
// byte-identical, and false is returned with a reason.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& reason);

// A system error number as the user reads it, in Japanese.
std::string ErrnoJapanese(int err);

// Where a program's settings files live: the program's folder when a file
// can be written there, otherwise the user's configuration folder. Both end
// with '/'; an empty user folder means there is none.
struct SettingsLocation {
  std::string programFolder;
  std::string userFolder;
};
bool IsFolderWritable(const std::string& folder);
// The file a change is written to.
std::string SettingsFileForWriting(const SettingsLocation& where, const std::string& name);
// The file to read: the one changes go to when it exists, else the program
// folder's (a preset shipped with an installed program).
std::string SettingsFileForReading(const SettingsLocation& where, const std::string& name);

}  // namespace kv
