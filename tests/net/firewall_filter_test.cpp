// The firewall stage on a real socket against the scripted firewall
// (firewall_server.py): replies that arrive a byte per read, server data
// right behind the reply, refusals and the events a caller sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "net/net_test_support.h"
#include "support/python_server.h"

namespace corvane::testing {
namespace {

class FirewallServer : public PythonServer {
 public:
  FirewallServer() : PythonServer(TestsPath("net/firewall_server.py")) {}
};

struct Route {
  int type;
  std::string host;
  int port;
  std::string user;
  std::string password;
};

int ConnectThrough(TestClient& client, const FirewallServer& server, const Route& s, int timeout = 10) {
  client.SetTimeout(timeout);
  client.Config("FirewallType=" + std::to_string(s.type));
  client.Config("FirewallHost=127.0.0.1");
  client.Config("FirewallPort=" + std::to_string(server.port()));
  client.Config("FirewallUser=" + s.user);
  client.Config("FirewallPassword=" + s.password);
  client.SetRemoteHost(s.host);
  client.SetRemotePort(s.port);
  return client.ConnectAndWait();
}

TEST(FirewallFilter, GrantedTunnelsCarryDataBothWays) {
  FirewallServer server;
  ASSERT_GT(server.port(), 0);
  const Route cases[] = {
      {fwSOCKS4, "127.0.0.1", 9090, "anyone", ""},
      {fwSOCKS5, "127.0.0.1", 9000, "", ""},
      {fwSOCKS5, "*localhost", 9000, "", ""},
      {fwSOCKS5, "localhost", 9000, "good", "pw"},
      {fwTunnel, "origin.test", 9200, "", ""},
  };
  for (bool windowMessages : {true, false}) {
    for (const Route& s : cases) {
      SCOPED_TRACE("type " + std::to_string(s.type) + " " + s.host + " engine " + std::to_string(windowMessages));
      TestClient client(windowMessages);
      ASSERT_EQ(ConnectThrough(client, server, s), 0) << client.LastErrorText().str();
      // The banner came in the same read as the end of the reply.
      ASSERT_EQ(client.WaitUntil([&] { return client.received == "BANNER\r\n"; }), 0) << client.received;
      ASSERT_EQ(client.Send("ping\n", 5), 0);
      ASSERT_EQ(client.WaitUntil([&] { return client.received == "BANNER\r\necho:ping\n"; }), 0);
      std::vector<std::string> expected = {
          "Status Firewall connection complete. 0 OK",
          "Status Remote host connection complete. 0 OK",
          "Connected 0 OK",
      };
      EXPECT_EQ(std::vector<std::string>(client.sink.events.begin(), client.sink.events.begin() + 3), expected);
    }
  }
}

// Each reply code's text is the negotiation's own; here each kind of refusal
// fails the connection once.
TEST(FirewallFilter, RefusalsFailWith118AndTheirText) {
  FirewallServer server;
  ASSERT_GT(server.port(), 0);
  struct Case {
    Route setup;
    std::string text;
  } cases[] = {
      {{fwSOCKS4, "127.0.0.1", 9091, "", ""}, "firewall request rejected or failed"},
      {{fwSOCKS5, "127.0.0.1", 9001, "", ""}, "general SOCKS server failure"},
      {{fwSOCKS5, "127.0.0.1", 9000, "bad", "pw"}, "firewall authentication failed: 1"},
      {{fwSOCKS5, "no-such-host.invalid", 9000, "", ""},
       "Could not resolve the RemoteHost 'no-such-host.invalid' for the firewall: [11001] Host not found"},
      {{fwTunnel, "origin.test", 9403, "", ""}, "Firewall error. HTTP/1.1 403 Refused by script."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TestClient client(true);
    EXPECT_EQ(ConnectThrough(client, server, c.setup), 118);
    EXPECT_EQ(client.LastErrorText().str(), c.text);
    EXPECT_FALSE(client.SocketOpen());
    // The Error event, then Connected with the same code and text.
    std::vector<std::string>& e = client.sink.events;
    auto error = std::find(e.begin(), e.end(), "Error 118 " + c.text);
    ASSERT_NE(error, e.end());
    EXPECT_NE(std::find(error, e.end(), "Connected 118 " + c.text), e.end());
    EXPECT_EQ(e.back(), "Disconnected 0 OK");
  }
}

TEST(FirewallFilter, GivingUpOnASilentFirewallIsATimeoutNotAFirewallError) {
  FirewallServer server;
  ASSERT_GT(server.port(), 0);
  TestClient client(true);
  EXPECT_EQ(ConnectThrough(client, server, {fwTunnel, "origin.test", 9999, "", ""}, 1), 301);
  EXPECT_EQ(client.LastErrorText().str(), "Timeout.");
  for (const std::string& e : client.sink.events) EXPECT_EQ(e.find("118"), std::string::npos) << e;
  EXPECT_FALSE(client.Firewall().NegotiationRunning());
}

}  // namespace
}  // namespace corvane::testing
