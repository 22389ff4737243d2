#include "http/platform_hand_over.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace corvane::http {
namespace {

// The worker's reports reach apply one at a time and in order; an apply that
// answers false cancels, so the worker's later reports come back false
// without reaching apply, and the worker still ends with its own result.
TEST(PlatformHandOverTest, ReportsArriveInOrderUntilApplyStopsThem) {
  PlatformHandOver handOver;
  handOver.Begin({});
  std::vector<bool> delivered;
  std::thread worker([&] {
    for (int i = 0; i < 4; ++i) {
      std::string text = "block " + std::to_string(i);
      delivered.push_back(handOver.Deliver(PlatformEvent{PlatformEventKind::transfer, i, text}));
    }
    handOver.Finish(12002, "Internet Timeout.");
  });
  std::vector<std::string> seen;
  while (!handOver.Finished()) {
    handOver.WaitForReport(1000);
    handOver.HandlePending([&](const PlatformEvent& e) {
      seen.emplace_back(e.text);
      return e.number < 1;
    });
  }
  worker.join();
  EXPECT_EQ(seen, (std::vector<std::string>{"block 0", "block 1"}));
  EXPECT_EQ(delivered, (std::vector<bool>{true, false, false, false}));
  std::string text;
  EXPECT_EQ(handOver.Result(text), 12002);
  EXPECT_EQ(text, "Internet Timeout.");

  // A new transaction starts uncancelled.
  handOver.Begin({});
  EXPECT_FALSE(handOver.Cancelled());
}

}  // namespace
}  // namespace corvane::http
