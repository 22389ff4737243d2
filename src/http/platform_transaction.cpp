// The caller's side of a transaction through the platform HTTP library
// (UseWinInet): the request is described here, spoken by the library on a
// worker thread, and every report of the worker is applied and turned into
// events here, on the thread that called the method.
#include "core/ascii.h"
#include "core/number_text.h"
#include "http/http_client.h"
#include "http/http_status.h"
#include "net/system_proxy.h"

namespace corvane {

using namespace http;

namespace {

// Transfer events report blocks of at most this many bytes, whatever the
// library hands over at once.
constexpr size_t kPlatformBlock = 2000;

// OtherHeaders lines without their line ends; empty lines dropped.
std::vector<std::string> HeaderLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.emplace_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

void HttpClient::SetPlatformTransportFactory(PlatformTransportFactory factory) noexcept {
  platformFactory_ = factory;
}

bool HttpClient::IsPlatformAction(int code) const noexcept {
  return useWinInet_ && code != actReset && code != actInterrupt;
}

int HttpClient::BuildPlatformRequest(std::string_view verb, PlatformRequest& r) {
  const RequestTarget& t = target_;
  bool secure = EqualsNoCase(t.scheme, kSchemeSecure);
  if (!secure && !EqualsNoCase(t.scheme, kSchemeDefault)) return FailWith(HttpError::PlatformScheme);
  if (t.host.empty()) return FailWith(HttpError::NoServer);
  // The library writes these values into the request as they are: the same
  // CR, LF and NUL refusal as on the native path.
  RequestHeaders values = headers_;
  values.authorization.assign(auth_.authorization.view());
  RequestHeadPlan plan;
  plan.verb = verb;
  plan.httpVersion = httpVersion_;
  plan.withBody = verb == "POST" || verb == "PUT";
  if (std::string_view unsafe = UnsafeRequestValue(t, values, plan); !unsafe.empty()) {
    return FailWith(HttpError::UnsafeRequestValue, unsafe);
  }

  r.verb.assign(verb);
  r.secure = secure;
  std::string host = t.hostIsIPv6Literal ? "[" + t.host + "]" : t.host;
  r.host = t.host;
  r.url = t.scheme + "://" + host + ":" + std::to_string(t.port) + (t.path.empty() ? "/" : t.path);
  r.httpVersion = httpVersion_;
  r.userAgent = headers_.userAgent;
  r.referer = headers_.referer;

  auto add = [&r](std::string_view field, std::string_view value) {
    if (!value.empty()) r.headers.push_back(std::string(field) + ": " + std::string(value));
  };
  add("Accept", headers_.accept);
  add("Content-Type", headers_.contentType);
  add("From", headers_.from);
  add("If-Modified-Since", headers_.ifModifiedSince);
  add("Pragma", headers_.pragma);
  bool callerCookie = false;
  for (std::string& line : HeaderLines(headers_.otherHeaders)) {
    callerCookie = callerCookie || StartsWithNoCase(line, "Cookie:");
    r.headers.push_back(std::move(line));
  }
  // A ready Authorization value of the caller's goes as it is; with User and
  // Password the library answers the server's challenge itself.
  r.user.assign(auth_.user.empty() ? std::string_view(t.user) : auth_.user.view());
  r.password.assign(auth_.password.empty() ? std::string_view(t.password) : auth_.password.view());
  if (r.user.empty() && !auth_.authorization.empty()) add("Authorization", auth_.authorization.view());
  r.cookies = useWinInetCookies_ && !callerCookie;

  if (verb == "POST" || verb == "PUT") {
    r.hasBody = true;
    r.body = postData_;
    if (!attachedFile_.empty()) {
      FileHandle f;
      if (OpenForRead(attachedFile_, f) != 0) return FailWith(HttpError::PlatformAttachedFile);
      char block[65536];
      for (;;) {
        ssize_t n = f.Read(block, sizeof block);
        if (n < 0) return FailWith(HttpError::PlatformAttachedFile);
        if (n == 0) break;
        r.body.append(block, static_cast<size_t>(n));
      }
    }
  }

  // "*" (optionally "*user*password") or ProxyAutoDetect: the system's proxy
  // for this scheme, unless its exception list names the host.
  std::string_view server = proxyServer_;
  if (!server.empty() && server.front() == '*') {
    std::string_view credentials = server.substr(1);
    if (size_t star = credentials.find('*'); star != std::string_view::npos) {
      r.proxyUser.assign(credentials.substr(0, star));
      r.proxyPassword.assign(credentials.substr(star + 1));
    }
  }
  if ((!server.empty() && server.front() == '*') || proxyAutoDetect_) {
    SystemProxySettings system = ReadSystemProxySettings();
    std::string proxyHost;
    int proxyPort = 0;
    if (system.enabled && !IsProxyBypassed(system.bypass, t.host, t.port, t.scheme)) {
      if (FindSchemeProxy(system.server, t.scheme, proxyHost, proxyPort) && !proxyHost.empty()) {
        r.proxy = proxyHost + ":" + std::to_string(proxyPort != 0 ? proxyPort : 80);
      } else if (FindSocksProxy(system.server, proxyHost, proxyPort)) {
        r.proxy = "socks5://" + proxyHost + ":" + std::to_string(proxyPort);
      }
    }
  } else if (!server.empty()) {
    r.proxy = std::string(server) + ":" + std::to_string(proxyPort_);
  }
  if (!auth_.proxyUser.empty()) r.proxyUser.assign(auth_.proxyUser.view());
  if (!auth_.proxyPassword.empty()) r.proxyPassword.assign(auth_.proxyPassword.view());

  r.sslSecurityFlags = Tls().sslSecurityFlags;
  r.sslEnabledProtocols = Tls().sslEnabledProtocols;
  r.readContentLength = readContentLength_;
  r.acceptCompression = headers_.allowHttpCompression;
  r.maxRedirects = maxRedirects_;
  return 0;
}

int HttpClient::RunPlatformTransaction() {
  std::string_view verb;
  switch (tx_.action) {
    case actGet: verb = "GET"; break;
    case actPost: verb = "POST"; break;
    case actHead: verb = "HEAD"; break;
    case actPut: verb = "PUT"; break;
    case actDelete: verb = "DELETE"; break;
    default: return 0;
  }
  ClearError();
  verb_.assign(verb);
  ResetResponse();
  statusLine_.clear();
  platformLength_ = -1;
  platformFailure_ = 0;

  PlatformRequest request;
  if (int rc = BuildPlatformRequest(verb, request); rc != 0) return rc;
  if (!platform_) {
    if (platformFactory_ == nullptr) return FailWith(HttpError::PlatformUnavailable);
    platform_ = platformFactory_();
  }

  currentAction_ = tx_.action;
  interruptRequested_ = false;
  ClearInterruptFlag();
  BeginOperation();
  ++tx_.rounds;
  StartDeadline();

  // The window-message engine is woken by a posted message; the select engine
  // waits on the hand-over itself.
  bool queued = UseWindowsMessages();
  std::function<void()> wake;
  if (queued) wake = [this] { PostToWindow(kPlatformEventMessage, 0, 0); };
  handOver_.Begin(std::move(wake));
  platformWorker_ = std::thread([this, request = std::move(request)] {
    std::string text;
    int rc = platform_->Perform(request, handOver_, text);
    handOver_.Finish(rc, std::move(text));
  });

  bool stopped = false;
  while (!stopped && !handOver_.Finished()) {
    if (queued) {
      stopped = !WaitStep(SelectWaitMillis());
    } else {
      handOver_.WaitForReport(SelectWaitMillis());
      handOver_.HandlePending([this](const PlatformEvent& e) { return ApplyPlatformEvent(e); });
      stopped = !WaitStep(0);
    }
  }
  EndPlatformWorker();
  file_.Close();

  std::string text;
  int rc = handOver_.Result(text);
  if (stopped || interruptRequested_) return kErrInterrupted;
  if (platformFailure_ != 0) return platformFailure_;
  if (rc != 0) return SetError(rc, text);

  // The status code is the word after the first blank; anything but 2xx
  // fails with the status line from that word on.
  size_t blank = statusLine_.find(' ');
  std::string_view status = blank == std::string::npos ? std::string_view()
                                                       : std::string_view(statusLine_).substr(blank + 1);
  if (status.empty() || status.front() != '2') return SetError(151, status);
  return 0;
}

void HttpClient::EndPlatformWorker() {
  if (!platformWorker_.joinable()) return;
  if (!handOver_.Finished()) {
    handOver_.Cancel();
    platform_->Wake();
    // Reports already on their way are released unseen until the worker ends.
    while (!handOver_.Finished()) {
      handOver_.WaitForReport(SelectWaitMillis());
      handOver_.HandlePending([](const PlatformEvent&) { return true; });
    }
  }
  platformWorker_.join();
}

intptr_t HttpClient::HandleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == kPlatformEventMessage) {
    handOver_.HandlePending([this](const PlatformEvent& e) { return ApplyPlatformEvent(e); });
    return 0;
  }
  return TransferClient::HandleWindowMessage(message, wParam, lParam);
}

bool HttpClient::ApplyPlatformEvent(const PlatformEvent& e) {
  // Every report is activity: the deadline moves unless AbsoluteTimeout.
  NoteActivity();
  switch (e.kind) {
    case PlatformEventKind::connected: FireConnected(e.number, std::string(e.text)); return true;
    case PlatformEventKind::disconnected: FireDisconnected(e.number, std::string(e.text)); return true;
    case PlatformEventKind::startTransfer: FireStartTransfer(e.number); return true;
    case PlatformEventKind::endTransfer:
      if (e.number == 1) file_.Close();
      FireEndTransfer(e.number);
      return true;
    case PlatformEventKind::error: FireError(e.number, e.text); return true;
    case PlatformEventKind::sslStatus: FireSSLStatus(e.text); return true;
    // The library judges certificates itself; it offers none to the caller.
    case PlatformEventKind::sslServerAuthentication: return true;
    case PlatformEventKind::header: return ApplyPlatformHeaderLine(e.text);
    case PlatformEventKind::responseHead: {
      std::string_view head = e.text;
      bool first = true;
      while (!head.empty()) {
        size_t end = head.find("\r\n");
        std::string_view line = head.substr(0, end);
        head = end == std::string_view::npos ? std::string_view() : head.substr(end + 2);
        if (first) {
          statusLine_.assign(line);
          first = false;
        } else if (!line.empty() && !ApplyPlatformHeaderLine(line)) {
          return false;
        }
      }
      return true;
    }
    case PlatformEventKind::transfer: return ApplyPlatformBody(e.text);
  }
  return true;
}

bool HttpClient::ApplyPlatformHeaderLine(std::string_view line) {
  if (transferredHeaders_.Append(line) != 0 || transferredHeaders_.Append("\r\n", 2) != 0) {
    platformFailure_ = SetError(kErrOutOfMemory, "Out of memory.");
    return false;
  }
  std::string_view field, value;
  SplitHeaderLine(line, field, value);
  if (!field.empty()) {
    parsedHeaders_.emplace_back(field);
    parsedHeaders_.emplace_back(value);
  } else if (!parsedHeaders_.empty()) {
    parsedHeaders_.back().append(value);
  }
  FireHeader(field, value);
  if (EqualsNoCase(field, "Content-Type")) {
    responseContentType_.assign(value);
  } else if (EqualsNoCase(field, "Content-Length")) {
    int64_t length = 0;
    platformLength_ = ParseDecimal(value, length) ? length : -1;
  } else if (EqualsNoCase(field, "Set-Cookie")) {
    OnSetCookieHeader(value);
  }
  return true;
}

bool HttpClient::ApplyPlatformBody(std::string_view data) {
  while (!data.empty()) {
    std::string_view block = data.substr(0, kPlatformBlock);
    data.remove_prefix(block.size());
    if (int rc = memory_.Write(block.data(), block.size()); rc != 0) {
      FireError(rc, HttpErrorText(HttpError::TransferredDataAppend));
    }
    if (!file_.Path().empty()) {
      FileBodyWriter::Outcome outcome = file_.Write(block.data(), block.size());
      if (outcome != FileBodyWriter::Outcome::written) {
        platformFailure_ = FailWith(outcome == FileBodyWriter::Outcome::openFailed ? HttpError::LocalFileOpen
                                                                                    : HttpError::PlatformLocalFileWrite);
        return false;
      }
    }
    bytesTransferred_ += static_cast<int64_t>(block.size());
    FireTransfer(1, bytesTransferred_, PercentDone(bytesTransferred_, platformLength_), block);
    // A listener that interrupted sees no further block.
    if (handOver_.Cancelled()) return true;
  }
  return true;
}

}  // namespace corvane
