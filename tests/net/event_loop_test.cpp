#include <gtest/gtest.h>

#include <poll.h>

#include <string>
#include <vector>

#include "net/message_queue.h"
#include "net/tcp_client.h"
#include "net_test_support.h"
#include "support/manual_clock.h"

namespace corvane {
namespace {

using testing::BothEngines;
using testing::LoopbackServer;
using testing::ManualClock;
using testing::ReadToEnd;
using testing::SendAll;
using testing::TestClient;

// Sends "0".."5" a byte at a time, each after the client's acknowledgement,
// then closes (or stops once the client is gone): every byte is a delivery.
void Trickle(int fd) {
  for (int i = 0; i < 6; ++i) {
    char c = static_cast<char>('0' + i);
    if (::send(fd, &c, 1, MSG_NOSIGNAL) != 1) return;
    if (i < 5 && ::recv(fd, &c, 1, 0) != 1) return;
  }
}

// Spins over zero-wait looks until ready() or five seconds of the steady
// clock have passed (a bound for a broken build, not a timing).
template <typename Ready>
bool PollUntil(Ready ready) {
  for (int64_t end = SteadyClock().NowMs() + 5000; !ready();) {
    if (SteadyClock().NowMs() > end) return false;
  }
  return true;
}

// An inactivity timeout is restarted by every delivery; an absolute one
// limits the whole operation: two bytes of 300 ms each pass the 450 ms.
TEST_P(BothEngines, InactivityAndAbsoluteTimeouts) {
  struct Case {
    bool absolute;
    int timeout, perDelivery, code;
    const char* received;
  } cases[] = {{false, 700, 600, 0, "012345"}, {true, 450, 300, 301, "01"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.absolute);
    LoopbackServer server([&](int fd) {
      if (!c.absolute) return Trickle(fd);
      char b = '0';
      SendAll(fd, "0");
      if (::recv(fd, &b, 1, 0) == 1) SendAll(fd, "1");
    });
    ManualClock clock;
    TestClient client(GetParam());
    client.SetClock(clock);
    client.Config("TimeoutInMilliseconds=true");
    client.Config(c.absolute ? "AbsoluteTimeout=true" : "AbsoluteTimeout=false");
    client.SetTimeout(c.timeout);
    client.onData = [&](const char*, int, bool) {
      clock.Advance(c.perDelivery);
      client.Send("k", 1);
    };
    ASSERT_EQ(client.ConnectTo(server.port()), 0);
    client.BeginOperation();
    client.StartDeadline();
    EXPECT_EQ(client.WaitUntil([&] { return !client.SocketOpen(); }), c.code);
    client.EndOperation();
    if (c.code != 0) {
      EXPECT_EQ(client.LastErrorText(), "Timeout.");
    }
    EXPECT_EQ(client.received, c.received);
    client.Connect(false);
  }
}

TEST_P(BothEngines, InterruptFromInsideAnEventEndsTheWaitAndCloses) {
  LoopbackServer server(Trickle);
  TestClient client(GetParam());
  client.SetTimeout(0);  // only Interrupt can end this wait
  ASSERT_EQ(client.ConnectTo(server.port()), 0);
  client.onData = [&](const char*, int, bool) {
    if (client.received.size() == 2) {
      client.Interrupt();
    } else {
      client.Send("k", 1);
    }
  };
  client.BeginOperation();
  EXPECT_EQ(client.WaitUntil([] { return false; }), 301);
  client.EndOperation();
  EXPECT_EQ(client.LastErrorText(), "Interrupted.");
  EXPECT_TRUE(client.WasInterrupted());
  EXPECT_EQ(client.received, "01");
  EXPECT_FALSE(client.SocketOpen());
  EXPECT_EQ(client.sink.events.back(), "Disconnected 0 OK");
}

// Also a pass with no socket to watch waits and returns.
TEST_P(BothEngines, InterruptWithoutARunningOperationDoesNothing) {
  TestClient client(GetParam());
  client.Interrupt();
  EXPECT_FALSE(client.InterruptFlag());
  EXPECT_TRUE(client.WaitStep(5));
}

TEST_P(BothEngines, ConnectionTimeoutAppliesToTheConnectPhase) {
  // A listener whose accept queue is full drops further SYNs, so a connect
  // to it stays pending without any unrouted address.
  int listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listenFd, 0), 0);
  socklen_t len = sizeof addr;
  ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  std::vector<pollfd> fillers;
  for (int i = 0; i < 3; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    fillers.push_back({fd, POLLOUT, 0});
  }
  // Once one filler has completed, the queue is full for the client.
  ::poll(fillers.data(), fillers.size(), 1000);

  // Each reading of the clock moves it 10 ms: the connect phase's 150 ms
  // run out after a few passes, the general 5000 ms would not.
  ManualClock clock(10);
  TestClient client(GetParam());
  client.SetClock(clock);
  client.Config("TimeoutInMilliseconds=true");
  client.SetTimeout(5000);
  client.SetRemoteHost("127.0.0.1");
  client.SetRemotePort(ntohs(addr.sin_port));
  int rc = client.ConnectAndWait(150);
  for (const pollfd& p : fillers) ::close(p.fd);
  ::close(listenFd);
  if (rc != 301) GTEST_SKIP() << "the full listener answered here (" << rc << ")";
  EXPECT_EQ(client.LastErrorText(), "Timeout.");
  EXPECT_LT(clock.Elapsed(), 5000);
  EXPECT_FALSE(client.SocketOpen());
  EXPECT_EQ(client.TimeoutMillis(), 5000);  // the general timeout is back
}

TEST(WaitLoop, QuitMessageEndsTheWaitAndIsPostedAgainForTheHost) {
  TestClient client(true);
  auto queue = ThreadMessageQueue::ForThisThread();
  queue->PostQuit(7);
  EXPECT_FALSE(client.WaitStep(20));
  WindowMessage message;
  ASSERT_TRUE(queue->Peek(0, message));
  EXPECT_EQ(message.message, kQuitMessage);
  EXPECT_EQ(message.wParam, 7u);
}

// Messages posted from another thread to a component's window wake the wait
// and reach HandleWindowMessage on the waiting thread.
TEST(WaitLoop, MessagesPostedFromAnotherThreadAreDispatchedOnTheWaitingThread) {
  struct Receiver : TcpClient {
    std::thread::id seenOn;
    uint32_t seen = 0;
    intptr_t HandleWindowMessage(uint32_t message, uintptr_t w, intptr_t l) override {
      if (message == 0x0500) {
        seen = message;
        seenOn = std::this_thread::get_id();
        return 0;
      }
      return TcpClient::HandleWindowMessage(message, w, l);
    }
  } receiver;
  std::atomic<bool> waiting{false};
  std::thread poster([&] {
    while (!waiting) std::this_thread::yield();
    receiver.PostToWindow(0x0500, 1, 2);
  });
  // The post, not the pass bound, must wake the wait: a pass would
  // otherwise sleep for ten minutes (past the test's own limit).
  receiver.Config("SelectWaitMillis=600000");
  EXPECT_EQ(receiver.WaitUntil([&] {
    waiting = true;
    return receiver.seen != 0;
  }), 0);
  poster.join();
  EXPECT_EQ(receiver.seenOn, std::this_thread::get_id());
}

// IgnoreExternalEvents: another loop's dispatch of our messages swallows
// them. IgnoreOtherWindowEvents: our loop leaves other components' queued.
TEST(WaitLoop, IgnoringMessagesOfOtherComponents) {
  struct Receiver : TcpClient {
    int seen = 0;
    intptr_t HandleWindowMessage(uint32_t message, uintptr_t, intptr_t) override {
      seen += message == 0x0501;
      return 0;
    }
  } a, b, c;
  a.Config("IgnoreExternalEvents=true");
  a.PostToWindow(0x0501, 0, 0);
  b.PostToWindow(0x0501, 0, 0);
  b.DoEvents();
  b.DoEvents();
  EXPECT_EQ(a.seen, 0);
  EXPECT_EQ(b.seen, 1);
  c.Config("IgnoreOtherWindowEvents=true");
  b.PostToWindow(0x0501, 0, 0);
  EXPECT_TRUE(c.WaitStep(10));
  EXPECT_EQ(b.seen, 1);
  b.DoEvents();
  EXPECT_EQ(b.seen, 2);
}

// Zero-wait passes right after an idle look reuse it, but EventsPending never
// hides work: a posted message is taken at once, socket data in a drain loop.
TEST_P(BothEngines, ZeroWaitPassesStillSeeNewWork) {
  LoopbackServer server([](int fd) {
    char c;
    if (::recv(fd, &c, 1, 0) == 1) SendAll(fd, "x");
    ReadToEnd(fd);
  });
  struct Receiver : TestClient {
    using TestClient::TestClient;
    int seen = 0;
    intptr_t HandleWindowMessage(uint32_t message, uintptr_t w, intptr_t l) override {
      if (message == 0x0503) ++seen;
      return TestClient::HandleWindowMessage(message, w, l);
    }
  } client(GetParam());
  client.SetTimeout(5);
  ASSERT_EQ(client.ConnectTo(server.port()), 0);
  while (client.EventsPending()) client.WaitStep(0);  // what the connect left behind
  EXPECT_FALSE(client.EventsPending());
  for (int i = 0; i < 10; ++i) client.WaitStep(0);  // idle looks
  if (GetParam()) {
    client.PostToWindow(0x0503, 0, 0);
    EXPECT_TRUE(client.WaitStep(0));
    EXPECT_EQ(client.seen, 1);
  }
  ASSERT_EQ(client.Send("?", 1), 0);
  EXPECT_TRUE(PollUntil([&] { return client.EventsPending(); }));  // the answer has arrived
  while (client.EventsPending()) client.WaitStep(0);
  EXPECT_EQ(client.received, "x");
  client.Connect(false);
}

}  // namespace
}  // namespace corvane
