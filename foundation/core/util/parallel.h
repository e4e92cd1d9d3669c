#pragma once
// The one worker pool pixel work is shared out on: resizing and halving,
// colour conversion, turning photos upright. One pool for all of them, so
// that the threads are started once and the setting of how many to use
// holds everywhere. Standard threads only: the core knows no toolkit.
#include <atomic>
#include <cstdint>
#include <functional>

namespace kv::pool {

// Runs task(0) .. task(count - 1), each exactly once, on at most `threads`
// threads, the calling thread among them, and returns when all have
// finished. Several threads may call it at once: each caller works on its
// own tasks too, so a call finishes even while the workers are busy
// elsewhere. The first exception a task throws reaches the caller once the
// others have finished.
void ParallelFor(int count, int threads, const std::function<void(int)>& task);

// The same, for work a caller may give up: once `stop` is set no further
// task is started (the ones running finish). False when it was set, and
// then not every task need have run.
bool ParallelFor(int count, int threads, const std::atomic<bool>* stop,
                 const std::function<void(int)>& task);

// How many threads an operation producing `outputPixels` pixels uses: the
// configured count, or 1 for jobs too small to repay the hand-over.
int ThreadsFor(int64_t outputPixels);

// Threads the pixel work shares out to: n <= 0 means the machine's hardware
// concurrency (the default), 1 the calling thread only. Small jobs stay on
// the calling thread whatever the setting.
void SetThreads(int n);
int Threads();

// Tests: jobs of at least this many output pixels are split (0 restores the
// default), so that small images exercise the split too.
void SetMinParallelPixels(int64_t pixels);

}  // namespace kv::pool
