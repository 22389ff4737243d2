// Interrupt called from a thread other than the one running the request. This
// binary is also built with ThreadSanitizer (scripts/test-tsan), so the cases
// exercise every wait the request can be in when the other thread strikes.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <future>
#include <string>
#include <thread>

#include "corvane/rest.h"
#include "net/net_test_support.h"

namespace corvane {
namespace {

enum class Stall {
  beforeResponse,  // the request was read; nothing is answered
  insideBody,      // the header and part of a body went out
  answer,          // a complete response: nothing to interrupt
};

// One connection on 127.0.0.1: reads the request, acts out the stall, tells
// the test it got there (reached), then waits for the client to close.
class StallServer {
 public:
  explicit StallServer(Stall stall) : server_([this, stall](int fd) { Serve(fd, stall); }) {}
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(server_.port()) + "/"; }
  std::future<void> Reached() { return reached_.get_future(); }
  // True once the client closed the connection.
  bool SawClose() { return closed_.get_future().get(); }

 private:
  void Serve(int fd, Stall stall) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<size_t>(n));
    }
    std::string out;
    switch (stall) {
      case Stall::beforeResponse: break;
      case Stall::insideBody: out = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789"; break;
      case Stall::answer: out = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"; break;
    }
    testing::SendAll(fd, out);
    reached_.set_value();
    bool closed = false;
    for (;;) {
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      // A close with unread bytes arrives as a reset.
      if (n == 0 || (n < 0 && errno == ECONNRESET)) closed = true;
      if (n <= 0) break;
    }
    closed_.set_value(closed);
  }

  std::promise<void> reached_;
  std::promise<bool> closed_;
  // Last: its thread is joined before the promises it fulfils are destroyed.
  testing::LoopbackServer server_;
};

// Each wait the request can be in (the event loop's message wait or a plain
// select), struck in every stall.
TEST(CrossThreadInterrupt, EndsTheRunningRequestWith301AndClosesItsConnection) {
  for (bool windowMessages : {true, false}) {
    for (Stall stall : {Stall::beforeResponse, Stall::insideBody, Stall::answer}) {
      SCOPED_TRACE(std::to_string(windowMessages) + " " + std::to_string(static_cast<int>(stall)));
      StallServer server(stall);
      REST rest;
      // Long enough that only the interrupt can end the stalled cases here.
      rest.SetTimeout(60);
      ASSERT_EQ(rest.Config(windowMessages ? "UseWindowsMessages=true" : "UseWindowsMessages=false"), 0);
      std::future<void> reached = server.Reached();
      std::thread other([&] {
        reached.wait();
        EXPECT_EQ(rest.Interrupt(), 0);
      });
      int rc = rest.Get(server.Url());
      other.join();
      EXPECT_TRUE(server.SawClose());
      if (stall != Stall::answer) {
        EXPECT_EQ(rc, 301);
        EXPECT_EQ(rest.LastError(), "Interrupted.");
        continue;
      }
      // The request may finish before the other thread gets to it; either way
      // a request after an interrupt that found nothing running is not cut short.
      EXPECT_TRUE(rc == 0 || rc == 301) << rest.LastError();
      StallServer next(Stall::answer);
      EXPECT_EQ(rest.Get(next.Url()), 0) << rest.LastError();
    }
  }
}

}  // namespace
}  // namespace corvane
