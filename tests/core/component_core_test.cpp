#include "core/component_core.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "core/error_text.h"
#include "core/zero_memory.h"
#include "support/event_recorder.h"

namespace corvane {
namespace {

// The keys and their defaults are pinned by the reference pages; here only
// what a set does to the object.
TEST(ComponentCoreTest, BaseKeysStoreAndAnswer) {
  // ZeroMemory is process-wide: leave it off for the tests after this one.
  struct Restore {
    ~Restore() { SetZeroMemory(false); }
  } restore;
  ComponentCore core;
  for (auto [set, query, answer] : {std::tuple{"LogDebugOption=0x3", "LogDebugOption", "3"},
                                    {"LogDebugFile=/tmp/x.log", "LogDebugFile", "/tmp/x.log"},
                                    {"ZeroMemory=yes", "ZeroMemory", "True"}}) {
    ASSERT_EQ(core.Config(set), 0) << set;
    ASSERT_EQ(core.Config(query), 0) << query;
    EXPECT_EQ(core.ResultText().view(), answer) << set;
  }
  EXPECT_TRUE(core.TraceEnabled());
  ASSERT_EQ(core.Config("LogDebugFile="), 0);
  EXPECT_FALSE(core.TraceEnabled());
  // An unknown key fails with -1 and a message; LastError is read-only.
  EXPECT_EQ(core.Config("Foo=1"), -1);
  EXPECT_EQ(core.Config("LastError=other"), 0);
  EXPECT_EQ(core.LastErrorText().view(), "Unknown config setting.");
  core.ClearError();
  EXPECT_TRUE(core.LastErrorText().empty());
}

TEST(ErrorTextTest, DescriptionsAndAutomationResults) {
  EXPECT_EQ(DescribeError(10061), "[10061] Connection refused");
  EXPECT_EQ(DescribeError(9999), "[9999] (no description available)");
  EXPECT_EQ(DescribeError(200), "Out of memory.");
  EXPECT_EQ(WinsockErrorText(0), nullptr);
  // The automation message prefers the last error text, then the description.
  EXPECT_EQ(AutomationMessage(151, "HTTP protocol error. 404"), "HTTP protocol error. 404");
  EXPECT_EQ(AutomationMessage(10061, ""), "[10061] Connection refused");
  EXPECT_EQ(AutomationMessage(200, "anything"), "Out of memory.");
  // Codes up to 10000 and past it, and the out-of-memory exception.
  for (auto [code, hr] : {std::pair{0, 0u}, {151, 0x800A4EB8u}, {10057, 0x800A61E2u},
                          {-1, 0x800A4E20u}, {10000, 0x800A0000u | 30001u},
                          {10001, 0x800A0000u | 25002u}, {200, 0x800A0007u}}) {
    EXPECT_EQ(AutomationResult(code), hr) << code;
  }
}

TEST(ComponentCoreTest, LogIsGatedByLogLevelAndNeedsASink) {
  ComponentCore core;
  core.Log(1, "nobody listens");  // no sink: nothing happens, no crash
  testing::EventRecorder sink;
  core.SetEventSink(&sink);
  core.Log(1, "summary");
  core.Log(2, "progress");
  core.SetLogLevel(3);
  core.Log(3, "headers", "RequestHeaders");
  core.FireError(302, "cannot open");
  EXPECT_EQ(sink.events,
            (std::vector<std::string>{"Log 1 Info summary", "Log 3 RequestHeaders headers", "Error 302 cannot open"}));
}

}  // namespace
}  // namespace corvane
