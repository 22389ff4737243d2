#pragma once

// A blocking HTTP/1.1 client over one kept-alive loopback connection, with a
// deadline on every exchange: just enough to drive the header builders against
// the real servers of tests/servers without the HTTP engine.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace corvane::auth::loopback {

struct Response {
  int status = 0;
  std::string challenge;       // WWW-Authenticate (the last one)
  std::string proxyChallenge;  // Proxy-Authenticate
  std::string body;
};

class LoopbackConnection {
 public:
  explicit LoopbackConnection(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~LoopbackConnection() {
    if (fd_ >= 0) ::close(fd_);
  }
  LoopbackConnection(const LoopbackConnection&) = delete;
  LoopbackConnection& operator=(const LoopbackConnection&) = delete;
  bool connected() const { return connected_; }

  // Sends one request (target as written in the request line) and reads the
  // response with a Content-Length body. False on a timeout or a closed
  // connection.
  bool Exchange(std::string_view method, std::string_view target, std::string_view headers,
                std::string_view body, Response& out) {
    std::string request = std::string(method) + " " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    request += std::string(headers);
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
    if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
      return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    size_t headEnd = std::string::npos;
    size_t contentLength = 0;
    while (true) {
      if (headEnd == std::string::npos && (headEnd = buffer_.find("\r\n\r\n")) != std::string::npos) {
        std::string head = buffer_.substr(0, headEnd);
        out.status = std::stoi(head.substr(9, 3));
        out.challenge = Header(head, "WWW-Authenticate");
        out.proxyChallenge = Header(head, "Proxy-Authenticate");
        contentLength = std::stoul("0" + Header(head, "Content-Length"));
        if (method == "HEAD") contentLength = 0;
      }
      if (headEnd != std::string::npos && buffer_.size() >= headEnd + 4 + contentLength) {
        out.body = buffer_.substr(headEnd + 4, contentLength);
        buffer_.erase(0, headEnd + 4 + contentLength);
        return true;
      }
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char chunk[4096];
      ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

 private:
  // The value of the last header line of that name (case-insensitive).
  static std::string Header(const std::string& head, std::string_view name) {
    std::string found;
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
      at += 2;
      size_t colon = head.find(':', at);
      size_t end = head.find("\r\n", at);
      if (colon == std::string::npos || (end != std::string::npos && colon > end)) continue;
      std::string field = head.substr(at, colon - at);
      bool same = field.size() == name.size();
      for (size_t i = 0; same && i < field.size(); ++i) {
        same = (field[i] | 0x20) == (name[i] | 0x20);
      }
      if (!same) continue;
      size_t v = colon + 1;
      while (v < head.size() && head[v] == ' ') ++v;
      found = head.substr(v, (end == std::string::npos ? head.size() : end) - v);
    }
    return found;
  }

  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

}  // namespace corvane::auth::loopback
