#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/tcp_client.h"

namespace corvane {
namespace {

// Settings and what a later query of a setting answers after them.
TEST(NetConfig, SettingsAndTheAnswersTheyLeave) {
  struct Case {
    std::vector<std::string> settings;
    const char* key;
    std::string answer;
  } cases[] = {
      {{"FirewallType=2"}, "FirewallPort", "1080"},  // each type has its default port
      {{"FirewallType=2", "FirewallType=0"}, "FirewallPort", "0"},
      {{"FirewallType=1"}, "FirewallPort", "80"},
      {{"FirewallPassword=" + std::string(300, 'p')}, "FirewallPassword", std::string(255, 'p')},
      {{"QOSTrafficType=Voice"}, "QOSTrafficType", "4"},
      {{"QOSTrafficType=0x4"}, "QOSTrafficType", "4"},
      {{"TcpNoDelay=yes"}, "TcpNoDelay", "True"},
      {{"TcpNoDelay=yes", "TcpNoDelay=on"}, "TcpNoDelay", "False"},
      {{"KeepAliveTime=5000"}, "TCPKeepAlive", "True"},
      // The other time is still set.
      {{"KeepAliveTime=5000", "TCPKeepAlive=false", "KeepAliveInterval=0"}, "TCPKeepAlive", "True"},
      {{"MaxLineLength=100000"}, "MaxLineLength", "65536"},  // capped on plain connections
      {{"LingerTime=5"}, "LingerTime", "5"},
  };
  for (const Case& c : cases) {
    TcpClient client;
    for (const std::string& setting : c.settings) EXPECT_EQ(client.Config(setting), 0) << setting;
    EXPECT_EQ(client.Config(c.key), 0) << c.key;
    EXPECT_EQ(client.ResultText().str(), c.answer) << c.key;
  }
}

TEST(NetConfig, TimeoutInMillisecondsKeepsTheNumberInTheNewUnit) {
  TcpClient client;
  client.SetTimeout(60);
  EXPECT_EQ(client.TimeoutMillis(), 60000);
  client.StartDeadline();
  client.Config("TimeoutInMilliseconds=true");
  EXPECT_EQ(client.Timeout(), 60);
  EXPECT_EQ(client.TimeoutMillis(), 60);
  EXPECT_EQ(client.Deadline(), 0);  // a running deadline is cancelled
}

TEST(NetConfig, SplitCrLfAndUnknownKeys) {
  TcpClient client;
  EXPECT_EQ(client.Config("SplitCRLF=true"), 0);
  EXPECT_EQ(client.Lines().Terminator(), "\r\n");
  EXPECT_EQ(client.Config("NoSuchKey=1"), -1);
  EXPECT_EQ(client.LastErrorText(), "Unknown config setting.");
}

}  // namespace
}  // namespace corvane
