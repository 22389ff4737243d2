#include "http/request_writer.h"

#include <sys/stat.h>

#include "core/file_ops.h"

namespace corvane::http {

namespace {

void Line(std::string& out, std::string_view name, std::string_view value) {
  out.append("\r\n").append(name).append(value);
}

void LineIf(std::string& out, std::string_view name, std::string_view value) {
  if (!value.empty()) Line(out, name, value);
}

}  // namespace

bool IsSafeFieldValue(std::string_view value) noexcept {
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool IsSafeHeaderText(std::string_view text) noexcept {
  std::string normalised = NormaliseOtherHeaders(text);
  std::string_view rest = normalised;
  while (!rest.empty()) {
    size_t end = rest.find("\r\n");  // always found: normalising ends the text with CR LF
    std::string_view line = rest.substr(0, end);
    if (line.empty() || !IsSafeFieldValue(line)) return false;
    rest.remove_prefix(end + 2);
  }
  return true;
}

std::string_view UnsafeRequestValue(const RequestTarget& target, const RequestHeaders& headers,
                                    const RequestHeadPlan& plan) {
  // Ordered as the values appear on the wire, so the first fault named is
  // the first one a reader of the request would meet.
  const struct {
    std::string_view name;
    std::string_view value;
    bool used;
  } values[] = {
      {"HTTPMethod", headers.httpMethod.empty() ? plan.verb : std::string_view(headers.httpMethod), true},
      {"URL", target.scheme, plan.viaProxy},
      {"URL", target.host, true},
      {"URL", headers.absoluteURI ? target.url : target.path, true},
      {"HTTPVersion", plan.httpVersion, true},
      {"Authorization", headers.authorization, true},
      {"ProxyAuthorization", headers.proxyAuthorization, true},
      {"Accept", headers.accept, true},
      {"AcceptEncoding", headers.acceptEncoding, headers.allowHttpCompression},
      {"From", headers.from, true},
      {"UserAgent", headers.userAgent, true},
      {"IfModifiedSince", headers.ifModifiedSince, true},
      {"Referer", headers.referer, true},
      {"Pragma", headers.pragma, true},
      {"Range", headers.range, true},
      {"Cookie", plan.cookie, true},
      {"ContentType", headers.contentType, plan.withBody},
  };
  for (const auto& v : values) {
    if (v.used && !IsSafeFieldValue(v.value)) return v.name;
  }
  if (!IsSafeHeaderText(headers.otherHeaders)) return "OtherHeaders";
  return {};
}

bool RequestBodyLength(std::string_view postData, const std::string& attachedFile, int64_t& length) {
  length = static_cast<int64_t>(postData.size());
  if (attachedFile.empty()) return true;
  FileHandle f;
  struct stat st {};
  if (OpenForRead(attachedFile, f) != 0 || fstat(f.fd(), &st) != 0) return false;
  length += st.st_size;
  return true;
}

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

std::string_view ComposeRequestHead(const RequestTarget& target, const RequestHeaders& headers,
                                    const RequestHeadPlan& plan, std::string& out) {
  out.clear();
  if (std::string_view unsafe = UnsafeRequestValue(target, headers, plan); !unsafe.empty()) return unsafe;
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
  if (!plan.withBody) return {};

  if (!headers.contentType.empty()) out.append("Content-Type: ").append(headers.contentType).append("\r\n");
  int64_t length = plan.emptyBodyForHandshake ? 0 : plan.contentLength;
  if (headers.useChunkedEncoding && !plan.emptyBodyForHandshake) {
    out.append("Transfer-Encoding: chunked\r\n\r\n");
    return {};
  }
  out.append("Content-Length: ").append(std::to_string(length)).append("\r\n\r\n");
  return {};
}

}  // namespace corvane::http
