#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/message_queue.h"
#include "net/tcp_client.h"
#include "net_test_support.h"

namespace corvane {
namespace {

using testing::LoopbackServer;
using testing::SendAll;
using testing::SleepMs;
using testing::TestClient;

// A server that sends one byte every 150 ms, six times, then closes; it
// stops early once the client has gone.
void Trickle(int fd) {
  for (int i = 0; i < 6; ++i) {
    SleepMs(150);
    char c = static_cast<char>('0' + i);
    if (::send(fd, &c, 1, MSG_NOSIGNAL) != 1) return;
  }
}

class WaitLoop : public ::testing::TestWithParam<bool> {};

std::string EngineName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "WindowMessages" : "SelectPass";
}

TEST_P(WaitLoop, InactivityTimeoutIsRestartedByEveryDelivery) {
  LoopbackServer server(Trickle);
  TestClient client(GetParam());
  client.Config("TimeoutInMilliseconds=true");
  client.SetTimeout(700);  // well above the 150 ms gap, shorter than the 900 ms stream
  ASSERT_EQ(client.ConnectTo(server.port()), 0);
  client.BeginOperation();
  client.StartDeadline();
  EXPECT_EQ(client.WaitUntil([&] { return !client.SocketOpen(); }), 0);
  client.EndOperation();
  EXPECT_EQ(client.received, "012345");
}

TEST_P(WaitLoop, AbsoluteTimeoutLimitsTheWholeOperation) {
  LoopbackServer server(Trickle);
  TestClient client(GetParam());
  client.Config("TimeoutInMilliseconds=true");
  client.Config("AbsoluteTimeout=true");
  client.SetTimeout(450);
  ASSERT_EQ(client.ConnectTo(server.port()), 0);
  client.StartDeadline();
  int64_t start = TickCount();
  EXPECT_EQ(client.WaitUntil([&] { return !client.SocketOpen(); }), 301);
  int64_t elapsed = TickCount() - start;
  EXPECT_EQ(client.LastErrorText(), "Timeout.");
  EXPECT_LT(client.received.size(), 6u);
  // The deadline is checked once per pass: at most one SelectWaitMillis late.
  EXPECT_GE(elapsed, 440);
  EXPECT_LT(elapsed, 450 + 400);  // a pass ends within SelectWaitMillis; slack for a loaded machine
  client.Connect(false);
}

TEST_P(WaitLoop, InterruptFromInsideAnEventEndsTheWaitAndCloses) {
  LoopbackServer server(Trickle);
  TestClient client(GetParam());
  client.SetTimeout(0);  // only Interrupt can end this wait
  ASSERT_EQ(client.ConnectTo(server.port()), 0);
  client.onData = [&](const char*, int, bool) {
    if (client.received.size() == 2) client.Interrupt();
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

TEST_P(WaitLoop, InterruptWithoutARunningOperationDoesNothing) {
  TestClient client(GetParam());
  client.Interrupt();
  EXPECT_FALSE(client.InterruptFlag());
  EXPECT_TRUE(client.WaitStep(0));
}

TEST_P(WaitLoop, ConnectionTimeoutAppliesToTheConnectPhase) {
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
  std::vector<int> fillers;
  for (int i = 0; i < 3; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    fillers.push_back(fd);
  }
  SleepMs(50);

  TestClient client(GetParam());
  client.Config("TimeoutInMilliseconds=true");
  client.SetTimeout(5000);
  client.SetRemoteHost("127.0.0.1");
  client.SetRemotePort(ntohs(addr.sin_port));
  int64_t start = TickCount();
  int rc = client.ConnectAndWait(150);
  int64_t elapsed = TickCount() - start;
  for (int fd : fillers) ::close(fd);
  ::close(listenFd);
  if (rc != 301) GTEST_SKIP() << "the full listener answered here (" << rc << ")";
  EXPECT_EQ(client.LastErrorText(), "Timeout.");
  EXPECT_GE(elapsed, 140);
  EXPECT_LT(elapsed, 1000);
  EXPECT_FALSE(client.SocketOpen());
  EXPECT_EQ(client.TimeoutMillis(), 5000);  // the general timeout is back
}

INSTANTIATE_TEST_SUITE_P(Engines, WaitLoop, ::testing::Values(true, false), EngineName);

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
  std::thread poster([&] {
    SleepMs(50);
    receiver.PostToWindow(0x0500, 1, 2);
  });
  receiver.Config("SelectWaitMillis=5000");  // the post, not the pass bound, must wake the wait
  int64_t start = TickCount();
  EXPECT_EQ(receiver.WaitUntil([&] { return receiver.seen != 0; }), 0);
  poster.join();
  EXPECT_LT(TickCount() - start, 2000);
  EXPECT_EQ(receiver.seenOn, std::this_thread::get_id());
}

TEST(WaitLoop, IgnoreExternalEventsSwallowsWindowMessagesDispatchedByAnotherLoop) {
  struct Receiver : TcpClient {
    int seen = 0;
    intptr_t HandleWindowMessage(uint32_t message, uintptr_t w, intptr_t l) override {
      if (message == 0x0501) ++seen;
      return 0;
    }
  };
  Receiver a;
  Receiver b;
  a.Config("IgnoreExternalEvents=true");
  a.PostToWindow(0x0501, 0, 0);
  b.PostToWindow(0x0501, 0, 0);
  // b's loop dispatches both messages: a swallows its own, b handles its own.
  b.DoEvents();
  b.DoEvents();
  EXPECT_EQ(a.seen, 0);
  EXPECT_EQ(b.seen, 1);
}

TEST(WaitLoop, EventsPendingTellsWhetherAPassHasWork) {
  for (bool engine : {true, false}) {
    LoopbackServer server([](int fd) {
      SleepMs(100);
      SendAll(fd, "x");
      SleepMs(300);
    });
    TestClient client(engine);
    client.SetTimeout(5);
    ASSERT_EQ(client.ConnectTo(server.port()), 0);
    while (client.EventsPending()) client.WaitStep(0);  // what the connect left behind
    EXPECT_FALSE(client.EventsPending());
    int64_t start = TickCount();
    while (!client.EventsPending() && TickCount() - start < 2000) SleepMs(5);
    EXPECT_TRUE(client.EventsPending()) << engine;  // the byte has arrived
    while (client.EventsPending()) client.WaitStep(0);
    EXPECT_EQ(client.received, "x") << engine;
  }
}

// Zero-wait passes right after an idle look reuse it, but never hide work:
// a posted message is taken at once, socket data within a drain loop.
TEST(WaitLoop, ZeroWaitDrainLoopStillSeesNewWork) {
  for (bool engine : {true, false}) {
    LoopbackServer server([](int fd) {
      char c;
      ::recv(fd, &c, 1, 0);
      SendAll(fd, "answer");
      SleepMs(300);
    });
    struct Receiver : TestClient {
      using TestClient::TestClient;
      int seen = 0;
      intptr_t HandleWindowMessage(uint32_t message, uintptr_t w, intptr_t l) override {
        if (message == 0x0503) ++seen;
        return TestClient::HandleWindowMessage(message, w, l);
      }
    } client(engine);
    client.SetTimeout(5);
    ASSERT_EQ(client.ConnectTo(server.port()), 0);
    for (int i = 0; i < 10; ++i) client.WaitStep(0);  // idle looks
    if (engine) {
      client.PostToWindow(0x0503, 0, 0);
      EXPECT_TRUE(client.WaitStep(0));
      EXPECT_EQ(client.seen, 1);
    }
    ASSERT_EQ(client.Send("?", 1), 0);
    for (int i = 0; i < 5000 && client.received != "answer"; ++i) {
      client.WaitStep(0);
      if (i % 50 == 49) SleepMs(1);
    }
    EXPECT_EQ(client.received, "answer") << engine;
    client.Connect(false);
  }
}

TEST(WaitLoop, IgnoreOtherWindowEventsLeavesOtherComponentsMessagesQueued) {
  struct Receiver : TcpClient {
    int seen = 0;
    intptr_t HandleWindowMessage(uint32_t message, uintptr_t w, intptr_t l) override {
      if (message == 0x0504) ++seen;
      return 0;
    }
  };
  Receiver a;
  Receiver b;
  b.Config("IgnoreOtherWindowEvents=true");
  a.PostToWindow(0x0504, 0, 0);
  EXPECT_TRUE(b.WaitStep(10));
  EXPECT_EQ(a.seen, 0);
  a.DoEvents();
  EXPECT_EQ(a.seen, 1);
}

TEST(WaitLoop, IdleWaitSleepsInsteadOfSpinning) {
  for (bool engine : {true, false}) {
    TestClient client(engine);
    clock_t cpuStart = std::clock();
    int64_t start = TickCount();
    for (int i = 0; i < 10; ++i) client.WaitStep(20);
    EXPECT_GE(TickCount() - start, 150) << engine;
    // Ten passes of 20 ms sleeping cost next to no processor time.
    EXPECT_LT(static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC, 0.05) << engine;
  }
}

}  // namespace
}  // namespace corvane
