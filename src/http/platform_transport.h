#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::http {

// What a request through the platform HTTP library needs, decided on the
// caller's thread before the worker starts. The worker only reads it.
struct PlatformRequest {
  std::string verb;  // GET, POST, HEAD, PUT or DELETE
  std::string url;   // scheme://host:port/path, as the library wants it
  std::string host;  // without brackets
  bool secure = false;
  std::string httpVersion = "1.1";
  std::string userAgent;
  std::string referer;
  // "Field: value" lines in the order they are sent.
  std::vector<std::string> headers;
  std::string body;
  bool hasBody = false;

  // The proxy as "host:port" (or a "socks5://" URL), empty to go direct.
  std::string proxy;
  std::string noProxy;  // hosts that bypass it, comma separated
  std::string proxyUser;
  std::string proxyPassword;
  std::string user;
  std::string password;

  uint32_t sslSecurityFlags = 0;
  uint32_t sslEnabledProtocols = 0;

  bool cookies = true;            // the library keeps and sends its cookies
  bool readContentLength = false;  // stop at Content-Length, whatever follows
  bool acceptCompression = false;
  int maxRedirects = 20;
};

// What the worker reports, in the order the caller's listeners see it. The
// numbers below 10 are the event selectors of the hand-over message.
enum class PlatformEventKind {
  connected = 1,
  disconnected = 2,
  endTransfer = 3,
  error = 4,
  header = 5,
  sslStatus = 6,
  sslServerAuthentication = 7,
  startTransfer = 8,
  transfer = 9,
  responseHead = 10,  // the final response's status line and header lines, CR LF separated
};

// One report. text and data point into the worker's memory, which stays
// valid until the report has been handled.
struct PlatformEvent {
  PlatformEventKind kind = PlatformEventKind::error;
  int number = 0;  // code or direction
  std::string_view text;
};

// The worker's side of the hand-over to the caller's thread.
class PlatformEventSink {
 public:
  virtual ~PlatformEventSink() = default;
  // Blocks until the caller's thread has handled the reports, in order (one
  // hand-over for several saves thread switches). False: the transaction is
  // to end now (interrupted, timed out, or the caller failed to store what
  // came); reports after such a stop are not applied.
  virtual bool Deliver(const PlatformEvent* events, size_t count) = 0;
  bool Deliver(const PlatformEvent& event) { return Deliver(&event, 1); }
  // Any thread; true once the caller stopped waiting.
  virtual bool Cancelled() const = 0;
};

// The platform HTTP library behind UseWinInet. Perform runs on the worker
// thread, one transaction at a time; the object keeps the library's
// connections and cookies between transactions.
class PlatformTransport {
 public:
  virtual ~PlatformTransport() = default;
  // Runs the transaction; 0, or a library error code with its text in
  // errorText. A transaction that ends because sink said so returns 0.
  virtual int Perform(const PlatformRequest& request, PlatformEventSink& sink,
                      std::string& errorText) = 0;
  // Any thread: makes a running Perform look at sink.Cancelled() at once.
  virtual void Wake() = 0;
};

using PlatformTransportFactory = std::unique_ptr<PlatformTransport> (*)();

}  // namespace corvane::http
