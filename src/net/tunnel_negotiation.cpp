#include "net/tunnel_negotiation.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "core/ascii.h"
#include "core/base64.h"
#include "core/byte_reader.h"
#include "core/byte_writer.h"
#include "core/number_text.h"
#include "corvane/enums.h"

namespace corvane {

namespace {

constexpr size_t kMaxCredential = 255;  // one length byte in RFC 1929
constexpr size_t kMaxDomainName = 255;  // one length byte in RFC 1928

// "HTTP/1.1 407 Proxy Authentication Required" -> "407 Proxy Authentication
// Required": the text after the first run of blanks.
std::string_view StatusText(std::string_view line) noexcept {
  size_t blank = line.find_first_of(" \t");
  if (blank == std::string_view::npos) return {};
  size_t start = line.find_first_not_of(" \t", blank);
  return start == std::string_view::npos ? std::string_view() : line.substr(start);
}

int StatusCode(std::string_view line) noexcept {
  std::string_view text = StatusText(line);
  int code = 0;
  size_t i = 0;
  for (; i < text.size() && i < 3 && text[i] >= '0' && text[i] <= '9'; ++i) code = code * 10 + (text[i] - '0');
  return i == 3 ? code : -1;
}

std::string Formatted(const char* format, int value) {
  char text[96];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string_view TunnelNegotiation::StateName(State s) noexcept {
  switch (s) {
    case State::idle: return "idle";
    case State::socks4Reply: return "socks4Reply";
    case State::socks5Method: return "socks5Method";
    case State::socks5Auth: return "socks5Auth";
    case State::socks5Connect: return "socks5Connect";
    case State::connectReply: return "connectReply";
    case State::authStatus: return "authStatus";
    case State::authHeaders: return "authHeaders";
    case State::authBody: return "authBody";
    case State::authChunkSize: return "authChunkSize";
    case State::authChunkData: return "authChunkData";
    case State::authChunkTrailer: return "authChunkTrailer";
    case State::finalStatus: return "finalStatus";
    case State::finalHeaders: return "finalHeaders";
    case State::up: return "up";
    case State::failed: return "failed";
  }
  return "?";
}

TunnelNegotiation::Result TunnelNegotiation::Start(const TunnelRequest& request, TunnelAuthenticator* auth) {
  request_ = request;
  auth_ = auth;
  // Cut before copying: RFC 1929 carries each in 255 bytes at most.
  user_.assign(request.user.substr(0, kMaxCredential));
  password_.assign(request.password.substr(0, kMaxCredential));
  hostByName_ = !request.host.empty() && request.host.front() == '*';
  host_.assign(hostByName_ ? request.host.substr(1) : request.host);
  request_.user = user_;
  request_.password = password_;
  request_.host = host_;
  pending_.clear();
  rest_.clear();
  failureText_.clear();
  failureDetail_.clear();
  challenge_.clear();
  output_.Clear();
  bodyLength_ = left_ = 0;
  chunked_ = false;

  // The CONNECT request is HTTP: a CR, LF or NUL in what it carries would
  // let the text add lines of its own (the SOCKS requests are binary and
  // carry lengths).
  bool httpTunnel = request.type == fwTunnel || request.type == fwTunnelNTLM ||
                    request.type == fwTunnelNegotiate || request.type == fwTunnelDigest;
  constexpr std::string_view kBreaks("\r\n\0", 3);
  if (httpTunnel) {
    for (std::string_view v : {std::string_view(host_), std::string_view(user_), std::string_view(request.userAgent)}) {
      if (v.find_first_of(kBreaks) != std::string_view::npos) {
        return Fail("A tunnel request value contains a CR, LF or NUL character; the tunnel was not requested.");
      }
    }
  }

  ByteWriter w(output_);
  switch (request.type) {
    case fwTunnel:
      AppendConnectLine();
      if (!user_.empty() || !password_.empty()) {
        output_.Append("\r\nProxy-Authorization: Basic ");
        output_.Append(Base64Encode(user_ + ":" + password_));
      }
      state_ = State::connectReply;
      break;
    case fwSOCKS4:
      w.U8(4);
      w.U8(1);  // CONNECT
      w.U16Be(static_cast<uint16_t>(request.port));
      w.Bytes(&request.address, 4);  // already in network order
      w.Bytes(user_);
      w.U8(0);
      state_ = State::socks4Reply;
      return w.Code() != 0 ? Fail("Out of memory.") : Result::more;
    case fwSOCKS5:
      if (hostByName_ && host_.size() > kMaxDomainName) {
        return Fail("The RemoteHost name is too long for a SOCKS 5 firewall (" + std::to_string(host_.size()) +
                    " bytes, at most 255).");
      }
      w.U8(5);
      if (!user_.empty() && !password_.empty()) {
        w.U8(2);
        w.U8(0);  // no authentication
        w.U8(2);  // user name and password
      } else {
        w.U8(1);
        w.U8(0);
      }
      state_ = State::socks5Method;
      return w.Code() != 0 ? Fail("Out of memory.") : Result::more;
    case fwTunnelNTLM:
    case fwTunnelNegotiate: {
      if (auth_ == nullptr) return Fail("No authentication is available for the firewall tunnel.");
      std::string value, error;
      int rc = auth_->TokenValue(request.type == fwTunnelNegotiate, user_, password_, {}, value, error);
      if (rc != 0) return Fail(error);
      AppendConnectLine();
      output_.Append("\r\nProxy-Authorization: ");
      output_.Append(value);
      output_.Append("\r\nProxy-Connection: Keep-Alive");
      state_ = State::authStatus;
      break;
    }
    case fwTunnelDigest:
      AppendConnectLine();
      output_.Append("\r\nHost: " + host_ + ":" + std::to_string(request.port) +
                     "\r\nContent-Length: 0\r\nProxy-Connection: Keep-Alive\r\nPragma: no-cache");
      state_ = State::authStatus;
      break;
    default:
      return Fail("Unknown FirewallType " + std::to_string(request.type) + ".");
  }
  if (!request.userAgent.empty()) {
    output_.Append("\r\nUser-Agent: ");
    output_.Append(request.userAgent);
  }
  if (output_.Append("\r\n\r\n") != 0) return Fail("Out of memory.");
  return Result::more;
}

void TunnelNegotiation::AppendConnectLine() {
  output_.Append("CONNECT " + host_ + ":" + std::to_string(request_.port) + " HTTP/1.0");
}

void TunnelNegotiation::AppendSocks5Connect() {
  ByteWriter w(output_);
  w.U8(5);
  w.U8(1);  // CONNECT
  w.U8(0);
  if (hostByName_) {
    w.U8(3);
    w.U8(static_cast<uint8_t>(host_.size()));
    w.Bytes(host_);
  } else {
    w.U8(1);
    w.Bytes(&request_.address, 4);
  }
  w.U16Be(static_cast<uint16_t>(request_.port));
}

TunnelNegotiation::Result TunnelNegotiation::Feed(const char* data, size_t length) {
  switch (state_) {
    case State::up: return Result::up;
    case State::failed: return Result::failed;
    case State::idle: return Fail("The firewall negotiation has not started.");
    default: break;
  }
  pending_.append(data, length);
  Result r = Run();
  if (r == Result::more && pending_.size() > kMaxPending) {
    return Fail("Firewall error. The firewall's reply is too long (more than " + std::to_string(kMaxPending) +
                " bytes without an end).");
  }
  return r;
}

// One LF-terminated line off pending_, CR before the LF dropped.
bool TunnelNegotiation::NextLine(std::string_view& line) {
  size_t lf = pending_.find('\n');
  if (lf == std::string::npos) return false;
  lineStore_.assign(pending_, 0, lf);
  if (!lineStore_.empty() && lineStore_.back() == '\r') lineStore_.pop_back();
  pending_.erase(0, lf + 1);
  line = lineStore_;
  return true;
}

TunnelNegotiation::Result TunnelNegotiation::Run() {
  for (;;) {
    std::string_view line;
    switch (state_) {
      case State::idle:
      case State::up:
      case State::failed:
        return state_ == State::up ? Result::up : state_ == State::failed ? Result::failed : Result::more;
      case State::socks4Reply:
        if (pending_.size() < 8) return Result::more;
        return OnSocks4Reply();
      case State::socks5Method:
        if (pending_.size() < 2) return Result::more;
        if (Result r = OnSocks5Method(); r != Result::more) return r;
        break;
      case State::socks5Auth:
        if (pending_.size() < 2) return Result::more;
        if (Result r = OnSocks5Auth(); r != Result::more) return r;
        break;
      case State::socks5Connect: {
        Result r = OnSocks5Connect();
        if (r != Result::more || state_ == State::socks5Connect) return r;
        break;
      }
      case State::connectReply:
        return OnConnectReply();
      case State::authStatus:
      case State::finalStatus:
        if (!NextLine(line)) return Result::more;
        if (Result r = OnStatusLine(line, state_ == State::finalStatus); r != Result::more) return r;
        break;
      case State::authHeaders:
        if (!NextLine(line)) return Result::more;
        if (!line.empty()) {
          OnHeaderLine(line);
        } else if (Result r = EndOfHeaders(); r != Result::more) {
          return r;
        }
        break;
      case State::authBody:
      case State::authChunkData: {
        if (pending_.empty()) return Result::more;
        size_t take = static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(pending_.size())));
        pending_.erase(0, take);
        left_ -= static_cast<int64_t>(take);
        if (left_ > 0) return Result::more;
        if (state_ == State::authChunkData) {
          state_ = State::authChunkSize;
        } else if (Result r = SendAuthenticated(); r != Result::more) {
          return r;
        }
        break;
      }
      case State::authChunkSize: {
        if (!NextLine(line)) return Result::more;
        int32_t size = 0;
        if (!ParseChunkSize(line, size)) {
          return Fail("Firewall error. Invalid chunk size in the firewall's reply: " + std::string(line) + ".");
        }
        if (size == 0) {
          state_ = State::authChunkTrailer;
        } else {
          left_ = int64_t{size} + 2;  // the data and the CR LF behind it
          state_ = State::authChunkData;
        }
        break;
      }
      case State::authChunkTrailer:
        if (!NextLine(line)) return Result::more;
        if (line.empty()) {
          if (Result r = SendAuthenticated(); r != Result::more) return r;
        }
        break;
      case State::finalHeaders:
        if (!NextLine(line)) return Result::more;
        if (line.empty()) return Up(0);
        break;
    }
  }
}

TunnelNegotiation::Result TunnelNegotiation::OnSocks4Reply() {
  auto result = static_cast<uint8_t>(pending_[1]);
  switch (result) {
    case 90: return Up(8);
    case 91: return Fail("firewall request rejected or failed");
    case 92: return Fail("firewall request rejected because identd is not available");
    case 93: return Fail("firewall request rejected because identd reports different user");
    default: return Fail(Formatted("unknown firewall error: %d", static_cast<int8_t>(result)));
  }
}

TunnelNegotiation::Result TunnelNegotiation::OnSocks5Method() {
  auto method = static_cast<uint8_t>(pending_[1]);
  pending_.erase(0, 2);
  if (method == 0) {
    AppendSocks5Connect();
    state_ = State::socks5Connect;
    return Result::more;
  }
  if (method == 2) {
    // Also when no user is set: the firewall asked for one, and gets empty texts.
    ByteWriter w(output_);
    w.U8(1);
    w.U8(static_cast<uint8_t>(user_.size()));
    w.Bytes(user_);
    w.U8(static_cast<uint8_t>(password_.size()));
    w.Bytes(password_);
    state_ = State::socks5Auth;
    return Result::more;
  }
  if (method == 255) return Fail("no acceptable firewall authentication methods");
  return Fail("unknown firewall authentication method");
}

TunnelNegotiation::Result TunnelNegotiation::OnSocks5Auth() {
  auto status = static_cast<uint8_t>(pending_[1]);
  pending_.erase(0, 2);
  if (status != 0) return Fail(Formatted("firewall authentication failed: %d", static_cast<int8_t>(status)));
  AppendSocks5Connect();
  state_ = State::socks5Connect;
  return Result::more;
}

TunnelNegotiation::Result TunnelNegotiation::OnSocks5Connect() {
  // Version, reply, reserved, then the bound address in its own form: the
  // reply is as long as its address type says (10 bytes for IPv4).
  ByteReader r(pending_);
  uint8_t version = 0, reply = 0, reserved = 0, addressType = 0;
  if (!r.U8(version) || !r.U8(reply)) return Result::more;
  if (reply != 0) {
    static constexpr const char* kReplies[] = {
        nullptr,
        "general SOCKS server failure",
        "connection not allowed by ruleset",
        "network unreachable",
        "host unreachable",
        "connection refused",
        "TTL expired",
        "command not supported",
        "address type not supported",
    };
    if (reply < std::size(kReplies)) return Fail(kReplies[reply]);
    return Fail(Formatted("unknown firewall error: %d", static_cast<int8_t>(reply)));
  }
  if (!r.U8(reserved) || !r.U8(addressType)) return Result::more;
  size_t addressLength = 4;
  if (addressType == 4) {
    addressLength = 16;
  } else if (addressType == 3) {
    uint8_t n = 0;
    if (!r.U8(n)) return Result::more;
    addressLength = n;
  } else if (addressType != 1) {
    return Fail(Formatted("unknown firewall address type in the reply: %d", addressType));
  }
  if (!r.Skip(addressLength + 2)) return Result::more;
  return Up(r.Position());
}

TunnelNegotiation::Result TunnelNegotiation::OnConnectReply() {
  size_t lf = pending_.find('\n');
  if (lf == std::string::npos) return Result::more;
  std::string_view first(pending_.data(), lf);
  if (StatusText(first).substr(0, 1) == "2") {
    // The proxy's reply head ends at its blank line; what follows is the tunnel's.
    size_t end = pending_.find("\r\n\r\n");
    size_t endLf = pending_.find("\n\n");
    if (end != std::string::npos && (endLf == std::string::npos || end + 2 < endLf)) return Up(end + 4);
    if (endLf != std::string::npos) return Up(endLf + 2);
    return Result::more;
  }
  std::string_view status = first.substr(0, first.find('\r'));
  std::string text = "Firewall error. " + std::string(status);
  if (text.back() != '.') text += '.';
  return Fail(std::move(text), std::string(status));
}

TunnelNegotiation::Result TunnelNegotiation::OnStatusLine(std::string_view line, bool final) {
  int code = StatusCode(line);
  std::string_view shown = StatusText(line);
  const char* scheme = Digest() ? "digest" : "NTLM";
  if (final) {
    if (code >= 200 && code < 300) {
      state_ = State::finalHeaders;
      return Result::more;
    }
    return Fail(std::string("Firewall error after ") + scheme +
                    " authentication. Expected a status code beginning with 2 but got: " + std::string(shown),
                std::string(line));
  }
  if (code == 200) {
    state_ = State::finalHeaders;
    return Result::more;
  }
  if (code == 401 || code == 407) {
    bodyLength_ = 0;
    chunked_ = false;
    challenge_.clear();
    state_ = State::authHeaders;
    return Result::more;
  }
  return Fail(std::string("Firewall error while attempting ") + scheme +
                  " authentication. Expected 401 or 407 but got: " + std::string(shown),
              std::string(line));
}

void TunnelNegotiation::OnHeaderLine(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  std::string_view field = TrimBlanks(line.substr(0, colon));
  std::string_view value = TrimBlanks(line.substr(colon + 1));
  if (EqualsNoCase(field, "Content-Length")) {
    int64_t n = 0;
    if (ParseDecimal(value, n)) bodyLength_ = n;
  } else if (EqualsNoCase(field, "Transfer-Encoding")) {
    if (EqualsNoCase(value, "chunked")) chunked_ = true;
  } else if (EqualsNoCase(field, "Proxy-Authenticate")) {
    // A proxy may offer several schemes, one per line; only ours counts.
    std::string_view word = Digest() ? "Digest" : request_.type == fwTunnelNegotiate ? "Negotiate" : "NTLM";
    if (!StartsWithNoCase(value, word)) return;
    std::string_view params = value.substr(word.size());
    if (!params.empty() && params.front() != ' ' && params.front() != '\t') return;
    challenge_.assign(TrimBlanks(params));
  }
}

TunnelNegotiation::Result TunnelNegotiation::EndOfHeaders() {
  if (chunked_) {
    state_ = State::authChunkSize;
    return Result::more;
  }
  if (bodyLength_ > 0) {
    left_ = bodyLength_;
    state_ = State::authBody;
    return Result::more;
  }
  return SendAuthenticated();
}

TunnelNegotiation::Result TunnelNegotiation::SendAuthenticated() {
  if (auth_ == nullptr) return Fail("No authentication is available for the firewall tunnel.");
  std::string value, error;
  int rc = Digest() ? auth_->DigestValue(user_, password_, challenge_, request_.uri, value, error)
                    : auth_->TokenValue(request_.type == fwTunnelNegotiate, user_, password_, challenge_, value, error);
  if (rc != 0) return Fail(error);
  AppendConnectLine();
  if (Digest()) {
    output_.Append("\r\nHost: " + host_ + ":" + std::to_string(request_.port) +
                   "\r\nContent-Length: 0\r\nProxy-Connection: Keep-Alive\r\nPragma: no-cache"
                   "\r\nProxy-Authorization: " + value);
  } else {
    output_.Append("\r\nProxy-Authorization: " + value + "\r\nProxy-Connection: Keep-Alive");
  }
  if (!request_.userAgent.empty()) {
    output_.Append("\r\nUser-Agent: ");
    output_.Append(request_.userAgent);
  }
  if (output_.Append("\r\n\r\n") != 0) return Fail("Out of memory.");
  state_ = State::finalStatus;
  return Result::more;
}

TunnelNegotiation::Result TunnelNegotiation::Up(size_t consumed) {
  rest_.assign(pending_, consumed);
  pending_.clear();
  state_ = State::up;
  return Result::up;
}

TunnelNegotiation::Result TunnelNegotiation::Fail(std::string text, std::string detail) {
  failureText_ = std::move(text);
  failureDetail_ = std::move(detail);
  pending_.clear();
  state_ = State::failed;
  return Result::failed;
}

}  // namespace corvane
