// The pool's contract: every task exactly once, on any thread count, with a
// task's failure reaching the caller and leaving the pool usable.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "foundation/core/imageops/parallel.h"

namespace kv::imageops_internal {
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

}  // namespace
}  // namespace kv::imageops_internal
