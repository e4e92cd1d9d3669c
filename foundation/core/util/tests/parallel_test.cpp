// The pool's contract: every task exactly once, on any thread count, with a
// task's failure reaching the caller and leaving the pool usable, and no
// task started once the caller's stop flag is set; and the page mapping
// that runs beside a writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "foundation/core/util/memory.h"
#include "foundation/core/util/parallel.h"

namespace kv::pool {
namespace {

TEST(ParallelFor, RunsEveryTaskOnceOnAnyThreadCount) {
  for (const int threads : {1, 2, 3, 8})
    for (const int count : {0, 1, 5, 200}) {
      std::vector<std::atomic<int>> runs(size_t(count) + 1);
      ParallelFor(count, threads, [&](int i) { runs[size_t(i)].fetch_add(1); });
      for (int i = 0; i < count; ++i) ASSERT_EQ(runs[size_t(i)].load(), 1) << threads << " threads, task " << i;
      ASSERT_EQ(runs[size_t(count)].load(), 0);
    }
}

TEST(ParallelFor, ATaskFailureReachesTheCallerAfterTheOthersFinish) {
  std::atomic<int> finished{0};
  EXPECT_THROW(ParallelFor(40, 4,
                           [&](int i) {
                             if (i == 7) throw std::runtime_error("task 7");
                             finished.fetch_add(1);
                           }),
               std::runtime_error);
  EXPECT_EQ(finished.load(), 39);
  std::atomic<int> again{0};
  ParallelFor(10, 4, [&](int) { again.fetch_add(1); });
  EXPECT_EQ(again.load(), 10);
}

TEST(ParallelFor, StopsStartingTasksOnceTheFlagIsSet) {
  for (const int threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    std::atomic<bool> stop{false};
    std::atomic<int> ran{0};
    EXPECT_TRUE(ParallelFor(50, threads, &stop, [&](int) { ran.fetch_add(1); }));
    EXPECT_EQ(ran.load(), 50);
    // Set before the call: nothing runs.
    stop = true;
    ran = 0;
    EXPECT_FALSE(ParallelFor(50, threads, &stop, [&](int) { ran.fetch_add(1); }));
    EXPECT_EQ(ran.load(), 0);
    // Set by a task: the ones already past the check finish, no more
    // start. Which indices ran before it is the scheduler's business (a
    // thread may take index 3 and wait while the others run on).
    stop = false;
    ran = 0;
    std::atomic<int> atStop{-1};
    EXPECT_FALSE(ParallelFor(1000, threads, &stop, [&](int i) {
      ran.fetch_add(1);
      if (i == 3) {
        stop = true;
        atStop = ran.load();
      }
    }));
    ASSERT_GE(atStop.load(), 1);
    EXPECT_LE(ran.load() - atStop.load(), threads - 1);
  }
  std::atomic<int> ran{0};
  EXPECT_TRUE(ParallelFor(7, 2, nullptr, [&](int) { ran.fetch_add(1); }));
  EXPECT_EQ(ran.load(), 7);
}

TEST(PoolThreads, DefaultToTheHardwareAndTakeWhatIsSet) {
  const int hardware = std::max(1, int(std::thread::hardware_concurrency()));
  EXPECT_EQ(Threads(), hardware);
  SetThreads(1);
  EXPECT_EQ(Threads(), 1);
  EXPECT_EQ(ThreadsFor(int64_t(1) << 30), 1);
  SetThreads(5);
  EXPECT_EQ(Threads(), 5);
  EXPECT_EQ(ThreadsFor(int64_t(1) << 30), 5);
  EXPECT_EQ(ThreadsFor(16), 1);  // too small to share out
  SetMinParallelPixels(1);
  EXPECT_EQ(ThreadsFor(16), 5);
  SetMinParallelPixels(0);
  SetThreads(-2);
  EXPECT_EQ(Threads(), hardware);
}

}  // namespace
}  // namespace kv::pool

// Pages mapped ahead on another thread while the caller writes them: what
// the caller wrote, before or after, is what the block holds.
TEST(PrefaultPages, LeavesWhatTheWriterWritesAsItIs) {
  constexpr size_t kBytes = size_t(24) << 20;
  std::unique_ptr<uint8_t[]> block(new uint8_t[kBytes]);
  uint8_t* p = block.get();
  for (size_t i = 0; i < kBytes; i += 4096 * 7) p[i] = 1;  // some pages in use already
  {
    kv::PrefaultPages ahead(p, kBytes);
    for (size_t i = 0; i < kBytes; i += 512) p[i] = uint8_t(i >> 9);
  }
  size_t wrong = 0;
  for (size_t i = 0; i < kBytes; i += 512) wrong += p[i] != uint8_t(i >> 9);
  EXPECT_EQ(wrong, 0u);
  // Several blocks, written in turn while the thread maps them in turn.
  std::unique_ptr<uint8_t[]> second(new uint8_t[kBytes / 3]);
  {
    kv::PrefaultPages ahead({{p, kBytes}, {nullptr, kBytes}, {second.get(), kBytes / 3}});
    for (size_t i = 0; i < kBytes; i += 512) p[i] = uint8_t(i >> 8);
    for (size_t i = 0; i < kBytes / 3; i += 512) second[i] = uint8_t(i >> 10);
  }
  wrong = 0;
  for (size_t i = 0; i < kBytes; i += 512) wrong += p[i] != uint8_t(i >> 8);
  for (size_t i = 0; i < kBytes / 3; i += 512) wrong += second[i] != uint8_t(i >> 10);
  EXPECT_EQ(wrong, 0u);
  kv::PrefaultPages none(nullptr, kBytes), small(p, 100), empty(std::vector<kv::PrefaultPages::Block>{});
}
