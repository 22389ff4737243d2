#include "net/tcp_client.h"

#include <gtest/gtest.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "net/socket_errors.h"
#include "net_test_support.h"
#include "support/manual_clock.h"
#include "support/servers.h"

namespace corvane {
namespace {

using testing::LoopbackServer;
using testing::ManualClock;
using testing::ReadToEnd;
using testing::RefusingPort;
using testing::SendAll;
using testing::TestClient;
using testing::BothEngines;
using Transcript = std::vector<std::string>;

TEST_P(BothEngines, RefusedConnectionReportsWinsockTextThroughConnected) {
  TestClient client(GetParam());
  client.SetTimeout(5);
  EXPECT_EQ(client.ConnectTo(RefusingPort()), 10061);
  EXPECT_EQ(client.LastErrorText(), "[10061] Connection refused");
  EXPECT_FALSE(client.SocketOpen());
  EXPECT_EQ(client.sink.events,
            (Transcript{"Status Remote host connection failed. 10061 [10061] Connection refused",
                        "Connected 10061 [10061] Connection refused"}));
  // Ready for a new connect after the failure.
  LoopbackServer server([](int fd) { SendAll(fd, "x"); });
  EXPECT_EQ(client.ConnectTo(server.port()), 0);
}

// Every byte comes before the disconnect, alike from both engines: after the
// peer's close, a close asked for during a read (done once it returns), and a
// reset by the peer, which ends the connection with its code, not an error.
TEST_P(BothEngines, BytesComeBeforeTheDisconnect) {
  const std::string opened[] = {"Status Remote host connection complete. 0 OK", "Connected 0 OK"};
  const std::string closed[] = {"Status Remote host disconnected. 0 OK", "Disconnected 0 OK"};
  struct Case {
    const char* name;
    void (*script)(int fd);
    const char* closeAfter;  // the line whose delivery asks for the close
    const char* answer;      // sent back on each delivery
    Transcript received;
    Transcript end;
  } cases[] = {
      {"peer closes", [](int fd) { SendAll(fd, "one\ntwo\nrest"); }, nullptr, nullptr,
       {"Line one", "Line two", "Chunk rest"}, {closed[0], closed[1]}},
      {"close during a read",
       [](int fd) {
         SendAll(fd, "a\nb\nc\n");
         ReadToEnd(fd);
       },
       "a", nullptr, {"Line a", "Line b", "Line c"}, {closed[0], closed[1]}},
      {"reset by the peer",
       [](int fd) {
         SendAll(fd, "hello\n");
         char ack;
         ::recv(fd, &ack, 1, 0);  // the line has been read: the reset cannot discard it
         linger hard{1, 0};
         ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);  // close sends RST
       },
       nullptr, "k", {"Line hello"},
       {"Status Remote host disconnected. 10054 [10054] Connection reset by peer",
        "Disconnected 10054 [10054] Connection reset by peer"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackServer server(c.script);
    TestClient client(GetParam());
    client.SetTerminator("\n");
    client.SetTimeout(5);
    client.onData = [&](const char* data, int length, bool) {
      if (c.answer != nullptr) client.Send(c.answer, 1);
      if (c.closeAfter != nullptr && std::string(data, length) == c.closeAfter) {
        client.Connect(false);
        EXPECT_TRUE(client.SocketOpen());  // deferred: the read is still running
      }
    };
    ASSERT_EQ(client.ConnectTo(server.port()), 0);
    EXPECT_EQ(client.WaitUntil([&] { return !client.SocketOpen(); }), 0);
    Transcript expected{opened[0], opened[1]};
    expected.insert(expected.end(), c.received.begin(), c.received.end());
    expected.insert(expected.end(), c.end.begin(), c.end.end());
    EXPECT_EQ(client.sink.events, expected);
  }
}

// A small send buffer takes the payload in many pieces; with MaxTransferRate
// the second piece of 25000 waits until the clock says the first took 250 ms.
TEST_P(BothEngines, SendBlockingPushesMoreThanTheSocketTakesAtOnce) {
  struct Case {
    const char* config;
    size_t size;
    int64_t minimumMs;
  } cases[] = {{"OutBufferSize=16384", 4 * 1024 * 1024, 0}, {"MaxTransferRate=100000", 40000, 250}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    std::string payload(c.size, 'p');
    for (size_t i = 0; i < payload.size(); i += 4096) payload[i] = static_cast<char>('a' + i % 26);
    std::string got;
    {
      LoopbackServer server([&](int fd) { got = ReadToEnd(fd); });
      ManualClock clock(c.minimumMs > 0 ? 5 : 0);  // every reading moves time on: the throttle sees it pass
      TestClient client(GetParam());
      client.SetClock(clock);
      client.SetTimeout(20);
      ASSERT_EQ(client.Config(c.config), 0);
      ASSERT_EQ(client.Config("SelectWaitMillis=1"), 0);
      ASSERT_EQ(client.ConnectTo(server.port()), 0);
      int64_t start = clock.Elapsed();
      EXPECT_EQ(client.SendBlocking(payload.data(), static_cast<int64_t>(payload.size()), false, false), 0);
      EXPECT_GE(clock.Elapsed() - start, c.minimumMs);
      client.Connect(false);
    }
    EXPECT_TRUE(got == payload);
  }
}

// MaxReceiveDataTime: a read that takes too long hands the loop back and is
// continued by a re-posted read, so other work gets its turn in between.
TEST_P(BothEngines, SlowReadIsContinuedByARepostedRead) {
  const size_t total = 4 * 1024 * 1024;
  LoopbackServer server([&](int fd) {
    SendAll(fd, std::string(total, 'r'));
    ReadToEnd(fd);
  });
  ManualClock clock;
  TestClient client(GetParam());
  client.SetClock(clock);
  client.SetTimeout(20);
  ASSERT_EQ(client.Config("MaxReceiveDataTime=5"), 0);
  ASSERT_EQ(client.ConnectTo(server.port()), 0);
  size_t bytes = 0;
  int passesWithData = 0;
  bool gotDataThisPass = false;
  client.onData = [&](const char*, int length, bool) {
    bytes += static_cast<size_t>(length);
    gotDataThisPass = true;
    client.sink.events.pop_back();
    client.received.clear();
    clock.Advance(2);  // each delivery takes 2 ms: a read of three passes the limit
  };
  while (bytes < total) {
    gotDataThisPass = false;
    ASSERT_TRUE(client.WaitStep(20));
    if (gotDataThisPass) ++passesWithData;
  }
  EXPECT_GT(passesWithData, 1);
  client.Connect(false);
}

INSTANTIATE_TEST_SUITE_P(Engines, BothEngines, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "WindowMessages" : "SelectPass"; });

// Settings that cannot make a connection are refused before a socket exists.
TEST(TcpClient, SettingsThatCannotConnectAreRefusedWithoutASocket) {
  struct Case {
    const char* host;
    std::vector<std::string> config;
    int code;
    const char* text;
  } cases[] = {
      {"nothing-here.invalid", {}, 102, "The RemoteHost address is invalid (0.0.0.0)."},
      {"127.0.0.1", {}, 116, "RemotePort can't be zero. Please specify a valid service port number."},
      {"", {"FirewallType=2", "FirewallPort=0"}, 102, "The FirewallHost address is invalid (0.0.0.0)."},
      {"", {"FirewallType=2", "FirewallPort=0", "FirewallHost=127.0.0.1"}, 116, "The FirewallPort is invalid (0)."},
  };
  for (const Case& c : cases) {
    TestClient client(true);
    client.SetRemoteHost(c.host);
    for (const std::string& setting : c.config) client.Config(setting);
    EXPECT_EQ(client.Connect(true), c.code) << c.text;
    EXPECT_EQ(client.LastErrorText(), c.text);
    EXPECT_FALSE(client.SocketOpen());
    EXPECT_TRUE(client.sink.events.empty()) << c.text;
  }
  TestClient client(true);
  EXPECT_EQ(client.SetRemoteHost("nothing-here.invalid"), 11001);
  EXPECT_EQ(client.LastErrorText(), "[11001] Host not found");
  EXPECT_EQ(client.Send("x", 1), 10057);
  EXPECT_EQ(SocketErrorFromEai(EAI_NONAME, 0), 11001);
  EXPECT_EQ(SocketErrorFromEai(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(SocketErrorFromEai(EAI_FAIL, 0), 11003);
}

TEST(TcpClient, SecondConnectIsRefusedAndLeavesTheFirstAlone) {
  LoopbackServer server([](int fd) {
    char c;
    ::recv(fd, &c, 1, 0);
    SendAll(fd, std::string(1, c));
    ReadToEnd(fd);
  });
  TestClient client(true);
  client.SetTimeout(5);
  ASSERT_EQ(client.ConnectTo(server.port()), 0);
  EXPECT_EQ(client.Connect(true), 104);
  EXPECT_EQ(client.LastErrorText(),
            "Already connected. If you want to reconnect, close the current connection first.");
  EXPECT_EQ(client.SetRemotePort(1), 100);
  EXPECT_EQ(client.SetRemoteHost("127.0.0.2"), 101);
  EXPECT_EQ(client.SetLocalPort(1), 106);
  EXPECT_EQ(client.Config("MaxLineLength=100"), 112);
  EXPECT_EQ(client.Config("UseWindowsMessages=false"), 287);
  EXPECT_TRUE(client.UseWindowsMessages());
  EXPECT_EQ(client.Send("z", 1), 0);
  EXPECT_EQ(client.WaitUntil([&] { return client.received == "z"; }), 0);
  EXPECT_TRUE(client.IsConnected());
}

TEST(TcpClient, StatusDescriptionFallsBackToTheSocketErrorTable) {
  TestClient client(true);
  EXPECT_EQ(client.StatusDescription(0), "OK");
  EXPECT_EQ(client.StatusDescription(10054), "[10054] Connection reset by peer");
  client.ClearError();
  EXPECT_EQ(client.StatusDescription(12345), "[12345] (no description available)");
  client.ClearError();
  EXPECT_EQ(client.StatusDescription(118), "");  // firewall failures always carry their own text
}

// The local address and port are bound before connecting; UseIPv6=2 picks
// the family the name resolves to.
TEST(TcpClient, LocalAddressAndFamily) {
  LoopbackServer server([](int fd) { ReadToEnd(fd); });
  int localPort = RefusingPort();
  TestClient client(true);
  client.SetTimeout(5);
  ASSERT_EQ(client.Config("LocalHost=127.0.0.1"), 0);
  ASSERT_EQ(client.Config("LocalPort=" + std::to_string(localPort)), 0);
  ASSERT_EQ(client.ConnectTo(server.port()), 0);
  EXPECT_EQ(client.GetLocalPort(), localPort);
  EXPECT_EQ(client.GetLocalHost(), "127.0.0.1");
  client.Connect(false);

  TestClient v6(true);
  ASSERT_EQ(v6.Config("UseIPv6=2"), 0);
  for (auto [host, inUse] : {std::pair{"127.0.0.1", "False"}, {"::1", "True"}}) {
    EXPECT_EQ(v6.SetRemoteHost(host), 0);
    EXPECT_EQ(v6.Config("UseIPv6"), 0);
    EXPECT_EQ(v6.ResultText(), inUse);
  }
  LoopbackServer v6server([](int fd) { ReadToEnd(fd); }, AF_INET6);
  if (v6server.port() == 0) GTEST_SKIP() << "no IPv6 loopback here";
  v6.SetTimeout(5);
  v6.Config("UseIPv6=1");
  ASSERT_EQ(v6.SetRemoteHost("::1%0"), 0);
  v6.SetRemotePort(v6server.port());
  EXPECT_EQ(v6.ConnectAndWait(), 0);
  EXPECT_EQ(v6.GetLocalHost(), "::1");
  v6.Connect(false);
}

// A fixed SO_RCVBUF turns Linux's autotuning off: reported defaults leave the
// socket alone, a size the caller set is applied (and doubled by Linux).
TEST(TcpClient, BufferSizesAreAppliedOnlyWhenTheCallerSetsThem) {
  auto option = [](int fd, int name) {
    int value = 0;
    socklen_t len = sizeof value;
    ::getsockopt(fd, SOL_SOCKET, name, &value, &len);
    return value;
  };
  LoopbackServer server([](int fd) { ReadToEnd(fd); });
  struct Case {
    const char* config;  // empty: only the reported defaults
    const char* query;
    const char* answer;
    bool inApplied, outApplied;
  } cases[] = {
      {"", "InBufferSize", "262144", false, false},
      {"InBufferSize=131072", "InBufferSize", "131072", true, false},
      {"OutBufferSize=131072", "OutBufferSize", "131072", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    TestClient client(true);
    client.SetTimeout(5);
    client.SetDefaultBufferSizes(262144, 262144);
    if (*c.config != 0) {
      ASSERT_EQ(client.Config(c.config), 0);
    }
    ASSERT_EQ(client.Config(c.query), 0);
    EXPECT_EQ(client.ResultText().view(), c.answer);
    ASSERT_EQ(client.ConnectTo(server.port()), 0);
    for (auto [name, applied] : {std::pair{SO_RCVBUF, c.inApplied}, {SO_SNDBUF, c.outApplied}}) {
      int value = option(client.SocketHandle(), name);
      EXPECT_TRUE(applied ? value == 2 * 131072 : value != 2 * 262144) << name << " " << value;
    }
    client.Connect(false);
  }
}

// Traffic goes to the trace file, and as the peer's replay script to a string and a file.
TEST(TcpClient, TrafficIsTracedAndRecordedAsAReplayScript) {
  char dir[] = "/tmp/corvane-net-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  std::string trace = std::string(dir) + "/trace.log";
  std::string record = std::string(dir) + "/session.rec";
  const std::string script =
      "\r\nexpect -exact \"GET \\[1\\]\"\r\n\r\nsend -nonewline \"OK \\\"\\$x\\\"\\001\"\r\n";
  {
    LoopbackServer server([](int fd) {
      char buf[16];
      ::recv(fd, buf, sizeof buf, 0);
      SendAll(fd, "OK \"$x\"\x01");
    });
    TestClient client(true);
    client.SetTimeout(5);
    ASSERT_EQ(client.Config("RecordToString=on"), 0);
    ASSERT_EQ(client.Config("LogDebugFile=" + trace), 0);
    ASSERT_EQ(client.Config("RecordToFile=" + record), 0);
    ASSERT_EQ(client.ConnectTo(server.port()), 0);
    ASSERT_EQ(client.Send("GET [1]", 7), 0);
    EXPECT_EQ(client.WaitUntil([&] { return !client.SocketOpen(); }), 0);
    ASSERT_EQ(client.Config("RecordToString"), 0);
    EXPECT_EQ(client.ResultText().str(), script);
  }
  std::string traced = testing::ReadFile(trace);
  EXPECT_NE(traced.find("------SEND------(7 bytes)\r\nGET [1]\r\n"), std::string::npos) << traced;
  EXPECT_NE(traced.find("------RECEIVE------(8 bytes)\r\nOK \"$x\"\x01\r\n"), std::string::npos) << traced;
  EXPECT_EQ(testing::ReadFile(record), script);
  ::unlink(trace.c_str());
  ::unlink(record.c_str());
  ::rmdir(dir);
}

}  // namespace
}  // namespace corvane
