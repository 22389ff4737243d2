#include <gtest/gtest.h>

#include <string>

#include "net/tcp_client.h"

namespace corvane {
namespace {

std::string Query(TcpClient& client, const std::string& key) {
  EXPECT_EQ(client.Config(key), 0) << key;
  return client.ResultText().str();
}

TEST(NetConfig, DefaultsAnswerAsDocumented) {
  TcpClient client;
  struct Row {
    const char* key;
    const char* answer;
  };
  const Row rows[] = {
      {"SelectWaitMillis", "20"},  {"AbsoluteTimeout", "False"},   {"TimeoutInMilliseconds", "False"},
      {"WinsockStatus", "0"},      {"WinsockVersion", "2.2"},      {"UseWindowsMessages", "True"},
      {"UseIPv6", "False"},        {"UseGetAddrInfo", "True"},     {"MaxLineLength", "2048"},
      {"SplitCRLF", "False"},      {"Linger", "True"},             {"LingerTime", "0"},
      {"TcpNoDelay", "False"},     {"TCPKeepAlive", "False"},      {"MaxTransferRate", "0"},
      {"MaxReceiveDataTime", "0"}, {"LocalPort", "0"},             {"FirewallType", "0"},
      {"FirewallHost", ""},        {"SSLEnabledProtocols", "4032"}, {"SSLCipherStrength", "40"},
      {"SSLProvider", "Microsoft Unified Security Protocol Provider"},
      {"SSLEnableRenegotiation", "True"}, {"ExtendedProtection", "True"}, {"UseSystemSSPI", "True"},
      {"BindIPv6Address", "True"}, {"GracefullyShutDownSSL", "False"}, {"QOSTrafficType", "0"},
  };
  for (const Row& row : rows) EXPECT_EQ(Query(client, row.key), row.answer) << row.key;
}

TEST(NetConfig, FirewallTypeChoosesItsDefaultPort) {
  TcpClient client;
  client.Config("FirewallType=2");
  EXPECT_EQ(Query(client, "FirewallPort"), "1080");
  client.Config("FirewallType=0");
  EXPECT_EQ(Query(client, "FirewallPort"), "0");
  client.Config("FirewallType=1");
  EXPECT_EQ(Query(client, "FirewallPort"), "80");
  client.Config("FirewallPassword=" + std::string(300, 'p'));
  EXPECT_EQ(Query(client, "FirewallPassword").size(), 255u);
  client.Config("FirewallHost=10.1.2.3");
  EXPECT_EQ(Query(client, "FirewallHost"), "10.1.2.3");
}

TEST(NetConfig, QosTrafficTypeTakesNamesAndNumbers) {
  for (const char* value : {"Voice", "voice", "4", "0x4"}) {
    TcpClient client;
    client.Config(std::string("QOSTrafficType=") + value);
    EXPECT_EQ(Query(client, "QOSTrafficType"), "4") << value;
  }
}

TEST(NetConfig, BooleansTakeYesButNotOn) {
  TcpClient client;
  client.Config("TcpNoDelay=yes");
  EXPECT_EQ(Query(client, "TcpNoDelay"), "True");
  client.Config("TcpNoDelay=on");
  EXPECT_EQ(Query(client, "TcpNoDelay"), "False");
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

TEST(NetConfig, KeepAliveTimesTurnKeepAliveOn) {
  TcpClient client;
  client.Config("KeepAliveTime=5000");
  EXPECT_EQ(Query(client, "TCPKeepAlive"), "True");
  client.Config("TCPKeepAlive=false");
  client.Config("KeepAliveInterval=0");
  EXPECT_EQ(Query(client, "TCPKeepAlive"), "True");  // the other time is still set
}

TEST(NetConfig, MaxLineLengthIsCappedOnPlainConnections) {
  TcpClient client;
  EXPECT_EQ(client.Config("MaxLineLength=100000"), 0);
  EXPECT_EQ(Query(client, "MaxLineLength"), "65536");
  EXPECT_EQ(client.Config("SplitCRLF=true"), 0);
  EXPECT_EQ(client.Lines().Terminator(), "\r\n");
}

TEST(NetConfig, UnknownKeysFallThroughToTheCore) {
  TcpClient client;
  EXPECT_EQ(client.Config("NoSuchKey=1"), -1);
  EXPECT_EQ(client.LastErrorText(), "Unknown config setting.");
}

}  // namespace
}  // namespace corvane
