#include "http/platform_hand_over.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace corvane::http {
namespace {

// The worker's reports reach apply one at a time and in order, a batch as
// its single reports would; an apply that answers false cancels, so the rest
// of its batch and the worker's later reports come back false without
// reaching apply, and the worker still ends with its own result.
TEST(PlatformHandOverTest, ReportsArriveInOrderUntilApplyStopsThem) {
  PlatformHandOver handOver;
  handOver.Begin({});
  std::vector<bool> delivered;
  std::thread worker([&] {
    const PlatformEvent first{PlatformEventKind::sslStatus, 0, "note"};
    const PlatformEvent batch[] = {{PlatformEventKind::transfer, 1, "block 1"},
                                   {PlatformEventKind::transfer, 2, "block 2"},
                                   {PlatformEventKind::transfer, 3, "block 3"}};
    const PlatformEvent last{PlatformEventKind::endTransfer, 1, "end"};
    delivered.push_back(handOver.Deliver(first));
    delivered.push_back(handOver.Deliver(batch, 3));
    delivered.push_back(handOver.Deliver(last));
    handOver.Finish(12002, "Internet Timeout.");
  });
  std::vector<std::string> seen;
  while (!handOver.Finished()) {
    handOver.WaitForReport(1000);
    handOver.HandlePending([&](const PlatformEvent& e) {
      seen.emplace_back(e.text);
      return e.number < 2;
    });
  }
  worker.join();
  EXPECT_EQ(seen, (std::vector<std::string>{"note", "block 1", "block 2"}));
  EXPECT_EQ(delivered, (std::vector<bool>{true, false, false}));
  std::string text;
  EXPECT_EQ(handOver.Result(text), 12002);
  EXPECT_EQ(text, "Internet Timeout.");

  // A new transaction starts uncancelled.
  handOver.Begin({});
  EXPECT_FALSE(handOver.Cancelled());
}

}  // namespace
}  // namespace corvane::http
