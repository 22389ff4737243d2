#include "core/component_core.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/error_text.h"

namespace corvane {
namespace {

TEST(ComponentCoreTest, BaseKeysStoreAndAnswer) {
  ComponentCore core;
  struct {
    const char* set;
    const char* query;
    const char* answer;
  } cases[] = {
      {"LogDebugOption=0x3", "LogDebugOption", "3"},
      {"CodePage=65001", "codepage", "65001"},
      {"CharsetMode=1", "CharsetMode", "1"},
      {"LogDebugFile=/tmp/x.log", "LogDebugFile", "/tmp/x.log"},
      {"ZeroMemory=yes", "ZeroMemory", "True"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(core.Config(c.set), 0) << c.set;
    ASSERT_EQ(core.Config(c.query), 0) << c.query;
    EXPECT_EQ(core.ResultText().view(), c.answer) << c.set;
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

TEST(ErrorTextTest, CodesWithoutMessageAreDescribedFromTheSocketTable) {
  EXPECT_EQ(DescribeError(10061), "[10061] Connection refused");
  EXPECT_EQ(DescribeError(9999), "[9999] (no description available)");
  EXPECT_EQ(DescribeError(200), "Out of memory.");
  EXPECT_EQ(WinsockErrorText(0), nullptr);
  // The automation message prefers the last error text, then the description.
  EXPECT_EQ(AutomationMessage(151, "HTTP protocol error. 404 Not Found"),
            "HTTP protocol error. 404 Not Found");
  EXPECT_EQ(AutomationMessage(10061, ""), "[10061] Connection refused");
  EXPECT_EQ(AutomationMessage(200, "anything"), "Out of memory.");
}

TEST(ErrorTextTest, AutomationResultsCombineTheCode) {
  struct {
    int code;
    uint32_t hr;
  } cases[] = {{0, 0}, {151, 0x800A4EB8u}, {10057, 0x800A61E2u}, {-1, 0x800A4E20u},
               {161, 0x800A4EC2u}, {10232, 0x800A6291u}, {10000, 0x800A0000u | 30001u},
               {10001, 0x800A0000u | 25002u}, {200, 0x800A0007u}};
  for (const auto& c : cases) EXPECT_EQ(AutomationResult(c.code), c.hr) << c.code;
}

class RecordingSink : public RESTEvents {
 public:
  void Log(int& level, std::string& message, std::string& type) override {
    lines.push_back(std::to_string(level) + ":" + type + ":" + message);
  }
  void Error(int& code, std::string& description) override {
    lines.push_back("error " + std::to_string(code) + " " + description);
  }
  std::vector<std::string> lines;
};

TEST(ComponentCoreTest, LogIsGatedByLogLevelAndNeedsASink) {
  ComponentCore core;
  core.Log(1, "nobody listens");  // no sink: nothing happens, no crash
  RecordingSink sink;
  core.SetEventSink(&sink);
  core.Log(1, "summary");
  core.Log(2, "progress");
  core.SetLogLevel(3);
  core.Log(3, "headers", "RequestHeaders");
  core.FireError(302, "cannot open");
  EXPECT_EQ(sink.lines, (std::vector<std::string>{"1:Info:summary", "3:RequestHeaders:headers",
                                                  "error 302 cannot open"}));
}

}  // namespace
}  // namespace corvane
