#include "platform/curl_transport.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/ascii.h"
#include "core/number_text.h"
#include "platform/library_errors.h"
#include "tls/channel/foreign_server_check.h"

namespace corvane::platform {

namespace {

using http::PlatformEvent;
using http::PlatformEventKind;
using http::PlatformEventSink;
using http::PlatformRequest;

// The library's progress notifications, reported as SSLStatus texts.
constexpr std::string_view kResolving = "Looking up the IP address";
constexpr std::string_view kResolved = "Successfully found the IP address";
constexpr std::string_view kConnecting = "Connecting to the socket address";
constexpr std::string_view kConnected = "Successfully connected to";
constexpr std::string_view kSending = "Sending the information request to the server.";
constexpr std::string_view kSent = "Successfully sent the information request to the server.";
constexpr std::string_view kReceived = "Successfully received a response from the server.";
constexpr std::string_view kRedirecting = "An HTTP request is about to automatically redirect the request to";
constexpr std::string_view kInterim = "Received an intermediate (100 level) status code message from the server.";

struct EasyDeleter {
  void operator()(CURL* h) const noexcept { curl_easy_cleanup(h); }
};
struct MultiDeleter {
  void operator()(CURLM* h) const noexcept { curl_multi_cleanup(h); }
};
struct ShareDeleter {
  void operator()(CURLSH* h) const noexcept { curl_share_cleanup(h); }
};
struct ListDeleter {
  void operator()(curl_slist* l) const noexcept { curl_slist_free_all(l); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using ShareHandle = std::unique_ptr<CURLSH, ShareDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// The lowest and highest enabled TLS version of SSLEnabledProtocols as a
// CURLOPT_SSLVERSION value; the library's default when none is enabled.
long TlsVersionRange(uint32_t protocols) {
  struct Version {
    uint32_t bits;
    long min;
    long max;
  };
  constexpr Version kVersions[] = {
      {0x00C0, CURL_SSLVERSION_TLSv1_0, CURL_SSLVERSION_MAX_TLSv1_0},
      {0x0300, CURL_SSLVERSION_TLSv1_1, CURL_SSLVERSION_MAX_TLSv1_1},
      {0x0C00, CURL_SSLVERSION_TLSv1_2, CURL_SSLVERSION_MAX_TLSv1_2},
      {0x3000, CURL_SSLVERSION_TLSv1_3, CURL_SSLVERSION_MAX_TLSv1_3},
  };
  long min = 0, max = 0;
  for (const Version& v : kVersions) {
    if ((protocols & v.bits) == 0) continue;
    if (min == 0) min = v.min;
    max = v.max;
  }
  return min == 0 ? static_cast<long>(CURL_SSLVERSION_DEFAULT) : (min | max);
}

// One transaction's state on the worker: what the callbacks collect and the
// reports they make.
class Transfer {
 public:
  Transfer(const PlatformRequest& request, PlatformEventSink& sink) : request_(request), sink_(sink) {
    check_.securityFlags = request.sslSecurityFlags;
    check_.host = request.host;
  }

  const tls::ForeignServerCheck& check() const noexcept { return check_; }

  bool stopped() const noexcept { return stopped_; }
  bool lengthReached() const noexcept { return lengthReached_; }

  // Reports wait in a batch until one that carries response data, so a
  // keep-alive request costs two thread hand-overs: progress notes, head and
  // first block together, then the closing events.
  void Add(PlatformEventKind kind, int number, std::string_view text = {}) {
    batch_.push_back(PlatformEvent{kind, number, text});
  }
  bool Note(std::string_view text) {
    Add(PlatformEventKind::sslStatus, 0, text);
    return !stopped_;
  }
  bool Flush() {
    if (!stopped_ && !batch_.empty() && !sink_.Deliver(batch_.data(), batch_.size())) stopped_ = true;
    batch_.clear();
    return !stopped_;
  }

  // The response has begun (its first body byte, or its end without one):
  // the final head goes with the events around it.
  void Begin() {
    if (begun_) return;
    begun_ = true;
    Add(PlatformEventKind::connected, 0, "OK");
    Add(PlatformEventKind::startTransfer, 0);
    Add(PlatformEventKind::responseHead, 0, head_);
    Add(PlatformEventKind::endTransfer, 0);
    Add(PlatformEventKind::startTransfer, 1);
  }

  // False ends the transfer.
  bool OnHeader(std::string_view line) {
    if (stopped_) return false;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/") {
      // A new response: an interim one, a redirect or an authentication
      // challenge the library answers, or the final one.
      if (!statusSeen_ && (!Note(kSent) || !Note(kReceived))) return false;
      statusSeen_ = true;
      head_.assign(line);
      head_.append("\r\n");
      status_ = 0;
      size_t blank = line.find(' ');
      for (size_t i = blank + 1; blank != std::string_view::npos && i < line.size() && i < blank + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') break;
        status_ = status_ * 10 + (line[i] - '0');
      }
      length_ = -1;
      location_ = false;
    } else if (line.empty()) {
      if (status_ >= 100 && status_ <= 199 && !Note(kInterim)) return false;
      if (status_ >= 300 && status_ <= 399 && location_ && !Note(kRedirecting)) return false;
    } else {
      head_.append(line);
      head_.append("\r\n");
      if (StartsWithNoCase(line, "Location:")) location_ = true;
      if (StartsWithNoCase(line, "Content-Length:")) {
        int64_t n = 0;
        length_ = ParseDecimal(line.substr(15), n) ? n : -1;
      }
    }
    return !stopped_;
  }

  // Returns the count taken; less than offered ends the transfer.
  size_t OnBody(const char* data, size_t size) {
    Begin();
    size_t take = size;
    // With ReadContentLength nothing past the announced length is taken (the
    // library itself stops there on HTTP/1.1; this guards the rest). A
    // decoded body has another length, so it is read to its end.
    if (request_.readContentLength && !request_.acceptCompression && length_ >= 0) {
      int64_t left = std::max<int64_t>(length_ - received_, 0);
      if (static_cast<int64_t>(take) > left) {
        take = static_cast<size_t>(left);
        lengthReached_ = true;
      }
    }
    if (take > 0) Add(PlatformEventKind::transfer, 1, std::string_view(data, take));
    if (!Flush()) return 0;
    received_ += static_cast<int64_t>(take);
    return take == size ? size : 0;
  }

  bool OnResolving() { return Note(kResolving); }
  bool OnOpenSocket() {
    newConnection_ = true;
    return Note(kResolved) && Note(kConnecting);
  }
  bool OnRequestReady() {
    if (newConnection_ && !Note(kConnected)) return false;
    return Note(kSending);
  }

  // After the library is done: the closing events of a response.
  bool Complete() {
    Begin();
    Add(PlatformEventKind::endTransfer, 1);
    Add(PlatformEventKind::disconnected, 0, "OK");
    return Flush();
  }

  // Header lines for the library, kept alive while it runs.
  curl_slist* Headers() {
    curl_slist* list = nullptr;
    auto append = [&list](const std::string& line) {
      curl_slist* grown = curl_slist_append(list, line.c_str());
      if (grown != nullptr) list = grown;
    };
    bool contentType = false;
    for (const std::string& line : request_.headers) {
      contentType = contentType || StartsWithNoCase(line, "Content-Type:");
      append(line);
    }
    // The library would add a form content type and a 100-continue wait
    // that the caller did not ask for.
    if (request_.hasBody && !contentType) append("Content-Type:");
    append("Expect:");
    headers_.reset(list);
    return list;
  }

 private:
  const PlatformRequest& request_;
  PlatformEventSink& sink_;
  tls::ForeignServerCheck check_;
  std::vector<PlatformEvent> batch_;
  HeaderList headers_;
  std::string head_;
  int status_ = 0;
  int64_t length_ = -1;
  int64_t received_ = 0;
  bool location_ = false;
  bool statusSeen_ = false;
  bool begun_ = false;
  bool newConnection_ = false;
  bool stopped_ = false;
  bool lengthReached_ = false;
};

size_t HeaderCallback(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  size_t n = size * count;
  return t->OnHeader(std::string_view(data, n)) ? n : 0;
}

size_t WriteCallback(char* data, size_t size, size_t count, void* user) {
  return static_cast<Transfer*>(user)->OnBody(data, size * count);
}

int ProgressCallback(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(user)->stopped() ? 1 : 0;
}

int ResolverStartCallback(void*, void*, void* user) {
  return static_cast<Transfer*>(user)->OnResolving() ? 0 : 1;
}

curl_socket_t OpenSocketCallback(void* user, curlsocktype, curl_sockaddr* address) {
  if (!static_cast<Transfer*>(user)->OnOpenSocket()) return CURL_SOCKET_BAD;
  int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  return fd < 0 ? CURL_SOCKET_BAD : fd;
}

int PrereqCallback(void* user, char*, char*, int, int) {
  return static_cast<Transfer*>(user)->OnRequestReady() ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
}

// Each new TLS connection judges the server certificate as the component's
// own connections do, SSLSecurityFlags included.
CURLcode SslContextCallback(CURL*, void* sslContext, void* user) {
  tls::InstallForeignServerCheck(sslContext, &static_cast<Transfer*>(user)->check());
  return CURLE_OK;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

class CurlTransport final : public http::PlatformTransport {
 public:
  CurlTransport() {
    GlobalInit();
    OpenSession();
    cookies_.reset(curl_share_init());
    if (cookies_) curl_share_setopt(cookies_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  }

  int Perform(const PlatformRequest& request, PlatformEventSink& sink, std::string& errorText) override {
    // Kept connections and TLS sessions were judged under the flags they were
    // made with; other flags start a new session.
    if (request.secure && request.sslSecurityFlags != sessionFlags_) {
      OpenSession();
      sessionFlags_ = request.sslSecurityFlags;
    }
    if (!multi_ || !easy_ || !cookies_) {
      errorText = LibraryErrorText(12001);
      return 12001;
    }
    Transfer transfer(request, sink);
    char detail[CURL_ERROR_SIZE] = {};
    if (int rc = Configure(request, transfer, detail); rc != 0) {
      errorText = LibraryErrorText(rc);
      return rc;
    }

    CURL* easy = easy_.get();
    CURLM* multi = multi_.get();
    curl_multi_add_handle(multi, easy);
    int running = 1;
    bool failed = false;
    while (running > 0) {
      if (curl_multi_perform(multi, &running) != CURLM_OK) failed = true;
      if (failed || running == 0 || transfer.stopped() || sink.Cancelled()) break;
      if (curl_multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK) failed = true;
    }
    CURLcode result = failed ? CURLE_FAILED_INIT : CURLE_ABORTED_BY_CALLBACK;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy) result = message->data.result;
    }
    // Taking the handle out mid-transfer closes its connection.
    curl_multi_remove_handle(multi, easy);

    if (transfer.stopped() || sink.Cancelled()) return 0;
    if (transfer.lengthReached() && result == CURLE_WRITE_ERROR) result = CURLE_OK;
    if (result == CURLE_OK) {
      transfer.Complete();
      return 0;
    }
    transfer.Flush();  // the progress notes that came before the failure
    int code = LibraryErrorForCurl(result, detail);
    errorText = LibraryErrorText(code);
    return code;
  }

  void Wake() override {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    if (multi_) curl_multi_wakeup(multi_.get());
  }

 private:
  // New connection cache and session cache; the cookie store stays.
  void OpenSession() {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    easy_.reset();
    multi_.reset(curl_multi_init());
    easy_.reset(curl_easy_init());
  }

  // 0, or the library error that setting up the request met.
  int Configure(const PlatformRequest& r, Transfer& t, char* detail) {
    CURL* h = easy_.get();
    // The reset drops the list the last request's CURLOPT_COOKIEFILE made
    // without freeing it; cleared first, it is freed (the cookies themselves
    // stay in the share).
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, static_cast<char*>(nullptr));
    curl_easy_reset(h);
    bool ok = true;
    auto set = [&ok, h](CURLoption option, auto value) {
      if (curl_easy_setopt(h, option, value) != CURLE_OK) ok = false;
    };
    set(CURLOPT_ERRORBUFFER, detail);
    set(CURLOPT_URL, r.url.c_str());
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, static_cast<long>(r.maxRedirects));
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    if (r.verb == "HEAD") {
      set(CURLOPT_NOBODY, 1L);
    } else if (r.verb == "GET") {
      set(CURLOPT_HTTPGET, 1L);
    } else if (r.verb == "DELETE") {
      set(CURLOPT_CUSTOMREQUEST, "DELETE");
    }
    if (r.hasBody) {
      set(CURLOPT_POSTFIELDS, r.body.data());
      set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
      if (r.verb != "POST") set(CURLOPT_CUSTOMREQUEST, r.verb.c_str());
    }
    long version = r.httpVersion == "1.0"   ? CURL_HTTP_VERSION_1_0
                   : r.httpVersion == "2.0" ? CURL_HTTP_VERSION_2TLS
                                            : CURL_HTTP_VERSION_1_1;
    set(CURLOPT_HTTP_VERSION, version);
    set(CURLOPT_USERAGENT, r.userAgent.c_str());
    if (!r.referer.empty()) set(CURLOPT_REFERER, r.referer.c_str());
    set(CURLOPT_HTTPHEADER, t.Headers());
    if (r.acceptCompression) set(CURLOPT_ACCEPT_ENCODING, "");

    // An empty proxy means direct: the environment's proxies apply only
    // through the caller's "*".
    set(CURLOPT_PROXY, r.proxy.c_str());
    set(CURLOPT_NOPROXY, r.noProxy.c_str());
    if (!r.proxyUser.empty() || !r.proxyPassword.empty()) {
      set(CURLOPT_PROXYUSERNAME, r.proxyUser.c_str());
      set(CURLOPT_PROXYPASSWORD, r.proxyPassword.c_str());
      set(CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_ANY));
    }
    if (!r.user.empty() || !r.password.empty()) {
      set(CURLOPT_USERNAME, r.user.c_str());
      set(CURLOPT_PASSWORD, r.password.c_str());
      set(CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_ANY));
    }

    if (r.secure) {
      // The certificate check is the component's (SslContextCallback), the
      // name check included; the library only enforces its verdict.
      set(CURLOPT_SSL_VERIFYPEER, 1L);
      set(CURLOPT_SSL_VERIFYHOST, 0L);
      set(CURLOPT_SSL_CTX_FUNCTION, &SslContextCallback);
      set(CURLOPT_SSL_CTX_DATA, &t);
      set(CURLOPT_SSLVERSION, TlsVersionRange(r.sslEnabledProtocols));
    }

    // The cookie store lives in the share; a request without it neither
    // sends nor keeps cookies.
    if (r.cookies) {
      set(CURLOPT_SHARE, cookies_.get());
      set(CURLOPT_COOKIEFILE, "");
    } else {
      set(CURLOPT_SHARE, static_cast<CURLSH*>(nullptr));
    }

    set(CURLOPT_HEADERFUNCTION, &HeaderCallback);
    set(CURLOPT_HEADERDATA, &t);
    set(CURLOPT_WRITEFUNCTION, &WriteCallback);
    set(CURLOPT_WRITEDATA, &t);
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &ProgressCallback);
    set(CURLOPT_XFERINFODATA, &t);
    set(CURLOPT_RESOLVER_START_FUNCTION, &ResolverStartCallback);
    set(CURLOPT_RESOLVER_START_DATA, &t);
    set(CURLOPT_OPENSOCKETFUNCTION, &OpenSocketCallback);
    set(CURLOPT_OPENSOCKETDATA, &t);
    set(CURLOPT_PREREQFUNCTION, &PrereqCallback);
    set(CURLOPT_PREREQDATA, &t);
    return ok ? 0 : 12009;
  }

  std::mutex wakeMutex_;  // Wake comes from the caller's thread
  MultiHandle multi_;
  // Before the easy handle, so that it goes after it: the library refuses to
  // free a share an easy handle still uses, and the cookie store leaked.
  ShareHandle cookies_;
  EasyHandle easy_;
  uint32_t sessionFlags_ = 0;
};

}  // namespace

std::unique_ptr<http::PlatformTransport> MakeCurlTransport() { return std::make_unique<CurlTransport>(); }

}  // namespace corvane::platform
