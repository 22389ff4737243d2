#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "corvane/events.h"
#include "net/tcp_client.h"

namespace corvane::testing {

// A listening socket on 127.0.0.1 with an ephemeral port; a thread accepts
// one connection and runs the script on it (blocking I/O on the server side).
class LoopbackServer {
 public:
  // family AF_INET6 listens on ::1; port() stays 0 where the host has none.
  explicit LoopbackServer(std::function<void(int fd)> script, int family = AF_INET) {
    listenFd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 addr{};  // room for either family; the port sits at the same place in both
    auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    if (family == AF_INET6) {
      addr.sin6_addr = in6addr_loopback;
    } else {
      v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    addr.sin6_family = static_cast<sa_family_t>(family);
    socklen_t len = family == AF_INET6 ? sizeof addr : sizeof *v4;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), len) != 0) return;
    ::listen(listenFd_, 4);
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin6_port);
    thread_ = std::thread([this, script = std::move(script)] {
      int fd = ::accept(listenFd_, nullptr, nullptr);
      if (fd < 0) return;
      // A script waiting on a client that hangs gives up; each write leaves at once.
      timeval tv{10, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      script(fd);
      ::close(fd);
    });
  }
  ~LoopbackServer() {
    ::shutdown(listenFd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(listenFd_);
  }
  int port() const { return port_; }

 private:
  int listenFd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// Tests that must behave the same over window messages and select passes.
class BothEngines : public ::testing::TestWithParam<bool> {};

// A port on 127.0.0.1 where nothing listens.
inline int RefusingPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

inline void SendAll(int fd, const std::string& data) {
  size_t off = 0;
  while (off < data.size()) {
    ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

// Reads until the peer closes; returns everything.
inline std::string ReadToEnd(int fd) {
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return out;
    out.append(buf, static_cast<size_t>(n));
  }
}

// Records the transport events of a client as one transcript.
class TranscriptSink : public RESTEvents {
 public:
  std::vector<std::string> events;
  void Connected(int& code, std::string& description) override {
    events.push_back("Connected " + std::to_string(code) + " " + description);
  }
  void Disconnected(int& code, std::string& description) override {
    events.push_back("Disconnected " + std::to_string(code) + " " + description);
  }
  void ConnectionStatus(std::string& event, int& code, std::string& description) override {
    events.push_back("Status " + event + " " + std::to_string(code) + " " + description);
  }
  void Error(int& code, std::string& description) override {
    events.push_back("Error " + std::to_string(code) + " " + description);
  }
};

// A plain client that adds received pieces to the same transcript.
class TestClient : public TcpClient {
 public:
  explicit TestClient(bool windowMessages) {
    SetEventSink(&sink);
    SetUseWindowsMessages(windowMessages);
  }
  TranscriptSink sink;
  std::string received;
  std::function<void(const char*, int, bool)> onData;

  void OnDataIn(const char* data, int length, bool isLine) override {
    received.append(data, static_cast<size_t>(length));
    sink.events.push_back((isLine ? "Line " : "Chunk ") + std::string(data, static_cast<size_t>(length)));
    if (onData) onData(data, length, isLine);
  }

  // Connects to 127.0.0.1:port and waits; returns the connect-and-wait code.
  int ConnectTo(int port) {
    SetRemoteHost("127.0.0.1");
    SetRemotePort(port);
    return ConnectAndWait();
  }
};

}  // namespace corvane::testing
