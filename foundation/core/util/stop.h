#pragma once
// Work on a worker is asked to stop through a flag the interface thread
// sets: a photo nobody wants any more (the window closed, the next one
// chosen) must not keep a core busy or the program's exit waiting. Long
// operations take an optional flag and look at it between pieces of work
// small enough that stopping never waits long.
#include <atomic>

namespace kv {

// True once `stop` (null: never) has been set.
inline bool StopRequested(const std::atomic<bool>* stop) {
  return stop != nullptr && stop->load(std::memory_order_relaxed);
}

// What an operation stopped by its caller says, in the words the user
// would read were it ever shown.
inline constexpr const char* kStoppedReason = "中止しました";

}  // namespace kv
