#include "core/ordered_work.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/app_context.h"

namespace tovask {
namespace {

// Results come back in item order whatever the workers and limits, an item larger than the
// budget still runs (alone), and the in-flight cost never passes the budget otherwise.
TEST(OrderedWork, TakesInOrderWithinTheBudget) {
  struct Case {
    unsigned workers;
    std::uint64_t budget;
    std::size_t maxAhead;
  };
  const std::vector<std::uint64_t> costs = {5, 1, 30, 2, 2, 100, 0, 7, 3, 3, 9, 1, 50, 4};
  for (const Case& c : {Case{1, 10, 4}, Case{2, 10, 4}, Case{4, 10, 2}, Case{8, 1000, 64}}) {
    SCOPED_TRACE(std::to_string(c.workers) + " workers, budget " + std::to_string(c.budget));
    std::atomic<std::int64_t> inFlight{0};
    std::atomic<bool> overBudget{false};
    OrderedWork<std::string> work(
        costs.size(), {.workers = c.workers, .budget = c.budget, .maxAhead = c.maxAhead},
        [&](std::size_t k) { return costs[k]; },
        [&](std::size_t k, unsigned worker) {
          EXPECT_LT(worker, c.workers);
          const auto cost = static_cast<std::int64_t>(costs[k]);
          const std::int64_t now = inFlight += cost;
          if (now > static_cast<std::int64_t>(c.budget) && now != cost) overBudget = true;
          return "item " + std::to_string(k);
        });
    for (std::size_t k = 0; k < costs.size(); ++k) {
      // Counted out before the take, so the count here never exceeds the work's own.
      inFlight -= static_cast<std::int64_t>(costs[k]);
      EXPECT_EQ(work.Take(), "item " + std::to_string(k));
    }
    EXPECT_FALSE(overBudget);
  }
}

// An exception from one item reaches the consumer at that item; earlier ones are intact, and
// the destructor stops the workers with items still pending.
TEST(OrderedWork, ExceptionIsRethrownAtItsItem) {
  for (unsigned workers : {1u, 3u}) {
    OrderedWork<int> work(
        100, {.workers = workers}, [](std::size_t) { return 1; },
        [](std::size_t k, unsigned) -> int {
          if (k == 2) throw std::runtime_error("broken");
          return static_cast<int>(k) * 10;
        });
    EXPECT_EQ(work.Take(), 0);
    EXPECT_EQ(work.Take(), 10);
    EXPECT_THROW((void)work.Take(), std::runtime_error);
  }
}

TEST(OrderedWork, WorkerCountComesFromTheContextFirst) {
  AppContext context;
  context.workerThreads = 1;
  EXPECT_EQ(WorkerThreads(context), 1u);
  context.workerThreads = 3;
  EXPECT_EQ(WorkerThreads(context), 3u);
  context.workerThreads = 0;
  EXPECT_GE(WorkerThreads(context), 1u);
}

}  // namespace
}  // namespace tovask
