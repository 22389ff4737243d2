#include "http/request_head.h"

namespace corvane::http {

namespace {

void Line(std::string& out, std::string_view name, std::string_view value) {
  out.append("\r\n").append(name).append(value);
}

void LineIf(std::string& out, std::string_view name, std::string_view value) {
  if (!value.empty()) Line(out, name, value);
}

}  // namespace

std::string NormaliseOtherHeaders(std::string_view text) {
  if (text.empty()) return {};
  if (text.back() == '\n' && (text.size() < 2 || text[text.size() - 2] != '\r')) {
    text.remove_suffix(1);
  }
  while (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.remove_suffix(2);
  std::string out(text);
  out.append("\r\n");
  return out;
}

void AppendChunkSizeLine(uint64_t size, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  char digits[16];
  int n = 0;
  do {
    digits[n++] = kHex[size & 15];
    size >>= 4;
  } while (size != 0);
  while (n > 0) out.push_back(digits[--n]);
  out.append("\r\n");
}

void ComposeRequestHead(const RequestTarget& target, const RequestHeaders& headers,
                        const RequestHeadPlan& plan, std::string& out) {
  out.clear();
  out.append(headers.httpMethod.empty() ? plan.verb : std::string_view(headers.httpMethod));
  out.push_back(' ');
  if (plan.viaProxy) {
    out.append(target.scheme).append("://").append(target.host);
    if (target.port != target.defaultPort) out.append(":").append(std::to_string(target.port));
  }
  out.append(headers.absoluteURI ? target.url : target.path);
  out.append(" HTTP/").append(plan.httpVersion);

  if (std::string_view(headers.otherHeaders).substr(0, 5) != "Host:" && !headers.absoluteURI) {
    Line(out, "Host: ", HostHeaderValue(target));
  }
  LineIf(out, "Authorization: ", headers.authorization);
  LineIf(out, "Proxy-Authorization: ", headers.proxyAuthorization);
  LineIf(out, "Accept: ", headers.accept);
  if (headers.allowHttpCompression) LineIf(out, "Accept-Encoding: ", headers.acceptEncoding);
  LineIf(out, "From: ", headers.from);
  LineIf(out, "User-Agent: ", headers.userAgent);
  LineIf(out, "If-Modified-Since: ", headers.ifModifiedSince);
  LineIf(out, "Referer: ", headers.referer);
  LineIf(out, "Pragma: ", headers.pragma);
  LineIf(out, "Range: bytes=", headers.range);
  LineIf(out, "Cookie: ", plan.cookie);
  if (!headers.keepAlive) {
    Line(out, "Connection: ", "close");
  } else if (plan.httpVersion == "1.0") {
    Line(out, "Connection: ", "Keep-Alive");
  }
  out.append("\r\n");
  out.append(NormaliseOtherHeaders(headers.otherHeaders));
  if (!plan.withBody) return;

  if (!headers.contentType.empty()) out.append("Content-Type: ").append(headers.contentType).append("\r\n");
  int64_t length = plan.emptyBodyForHandshake ? 0 : plan.contentLength;
  if (headers.useChunkedEncoding && !plan.emptyBodyForHandshake) {
    out.append("Transfer-Encoding: chunked\r\n\r\n");
    return;
  }
  out.append("Content-Length: ").append(std::to_string(length)).append("\r\n\r\n");
}

}  // namespace corvane::http
