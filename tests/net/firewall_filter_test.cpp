// The firewall stage on a real socket against a scripted firewall answering a
// byte at a time; every reply code's text is the negotiation core's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "net/net_test_support.h"

namespace corvane::testing {
namespace {

struct Case {
  int type;
  std::string host, user, password;
  std::vector<std::string> replies;  // one per request the client sends
  std::string refusal;               // empty: the tunnel is granted
};

// Each reply goes out a byte per send; a grant has "BANNER\r\n" right behind
// it (a server that speaks first), then the first thing received is echoed.
void Answer(int fd, const Case& c) {
  char buf[1024];
  for (const std::string& reply : c.replies) {
    if (::recv(fd, buf, sizeof buf, 0) <= 0) return;
    for (size_t i = 0; i + 1 < reply.size(); ++i) SendAll(fd, reply.substr(i, 1));
    bool granted = &reply == &c.replies.back() && c.refusal.empty();
    SendAll(fd, reply.back() + std::string(granted ? "BANNER\r\n" : ""));
  }
  ssize_t n = ::recv(fd, buf, sizeof buf, 0);
  if (n > 0) SendAll(fd, "echo:" + std::string(buf, static_cast<size_t>(n)));
  ReadToEnd(fd);
}

int ConnectThrough(TestClient& client, int port, const Case& c, int timeout = 10) {
  client.SetTimeout(timeout);
  client.Config("FirewallType=" + std::to_string(c.type));
  client.Config("FirewallHost=127.0.0.1");
  client.Config("FirewallPort=" + std::to_string(port));
  client.Config("FirewallUser=" + c.user);
  client.Config("FirewallPassword=" + c.password);
  client.SetRemoteHost(c.host);
  client.SetRemotePort(443);
  return client.ConnectAndWait();
}

TEST(FirewallFilter, GrantedTunnelsCarryDataAndRefusalsFailWith118) {
  const std::string v4("\x00\x5a\x01\xbb\x7f\x00\x00\x01", 8), v5("\x05\x00\x00\x01\x7f\x00\x00\x01\x01\xbb", 10);
  const Case cases[] = {
      {fwSOCKS4, "127.0.0.1", "anyone", "", {v4}, ""},
      {fwSOCKS5, "*localhost", "", "", {{"\x05\x00", 2}, v5}, ""},
      {fwSOCKS5, "localhost", "good", "pw", {"\x05\x02", {"\x01\x00", 2}, v5}, ""},
      {fwTunnel, "origin.test", "", "", {"HTTP/1.1 200 Connection established\r\nX-Proxy: scripted\r\n\r\n"}, ""},
      {fwSOCKS5, "127.0.0.1", "", "", {{"\x05\x00", 2}, {"\x05\x01\x00\x01\0\0\0\0\0\0", 10}},
       "general SOCKS server failure"},
      {fwSOCKS5, "127.0.0.1", "bad", "pw", {"\x05\x02", "\x01\x01"}, "firewall authentication failed: 1"},
      {fwSOCKS5, "no-such-host.invalid", "", "", {},
       "Could not resolve the RemoteHost 'no-such-host.invalid' for the firewall: [11001] Host not found"},
  };
  for (bool windowMessages : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(c.type) + " " + c.host + " " + c.refusal + " engine " +
                   std::to_string(windowMessages));
      LoopbackServer server([&](int fd) { Answer(fd, c); });
      TestClient client(windowMessages);
      std::vector<std::string>& e = client.sink.events;
      if (!c.refusal.empty()) {
        EXPECT_EQ(ConnectThrough(client, server.port(), c), 118);
        EXPECT_EQ(client.LastErrorText().str(), c.refusal);
        EXPECT_FALSE(client.SocketOpen());
        // The Error event, then Connected with the same code and text.
        auto error = std::find(e.begin(), e.end(), "Error 118 " + c.refusal);
        ASSERT_NE(error, e.end());
        EXPECT_NE(std::find(error, e.end(), "Connected 118 " + c.refusal), e.end());
        EXPECT_EQ(e.back(), "Disconnected 0 OK");
        continue;
      }
      ASSERT_EQ(ConnectThrough(client, server.port(), c), 0) << client.LastErrorText().str();
      ASSERT_EQ(client.WaitUntil([&] { return client.received == "BANNER\r\n"; }), 0) << client.received;
      ASSERT_EQ(client.Send("ping\n", 5), 0);
      ASSERT_EQ(client.WaitUntil([&] { return client.received == "BANNER\r\necho:ping\n"; }), 0);
      EXPECT_EQ(std::vector<std::string>(e.begin(), e.begin() + 3),
                (std::vector<std::string>{"Status Firewall connection complete. 0 OK",
                                          "Status Remote host connection complete. 0 OK", "Connected 0 OK"}));
    }
  }
}

TEST(FirewallFilter, GivingUpOnASilentFirewallIsATimeoutNotAFirewallError) {
  LoopbackServer server([](int fd) { ReadToEnd(fd); });
  TestClient client(true);
  EXPECT_EQ(ConnectThrough(client, server.port(), {fwTunnel, "origin.test", "", "", {}, ""}, 1), 301);
  EXPECT_EQ(client.LastErrorText().str(), "Timeout.");
  for (const std::string& e : client.sink.events) EXPECT_EQ(e.find("118"), std::string::npos) << e;
  EXPECT_FALSE(client.Firewall().NegotiationRunning());
}

}  // namespace
}  // namespace corvane::testing
