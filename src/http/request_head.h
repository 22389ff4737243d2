#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "http/url.h"

namespace corvane::http {

// Header values and switches of the request, as the caller configured them.
struct RequestHeaders {
  std::string authorization;
  std::string proxyAuthorization;
  std::string accept;
  std::string acceptEncoding = "gzip, deflate";
  std::string from;
  std::string userAgent;
  std::string ifModifiedSince;
  std::string referer;
  std::string pragma;
  std::string range;
  std::string contentType;
  std::string otherHeaders;
  std::string httpMethod;
  bool keepAlive = false;
  bool allowHttpCompression = false;
  bool absoluteURI = false;
  bool useChunkedEncoding = false;
};

// What the driver decided for this one request.
struct RequestHeadPlan {
  std::string_view verb;
  std::string_view httpVersion = "1.1";  // NegotiatedHTTPVersion
  bool viaProxy = false;                 // absolute-form target through a plain proxy
  bool withBody = false;
  bool emptyBodyForHandshake = false;    // first leg of NTLM/Digest/Negotiate
  int64_t contentLength = 0;             // PostData plus AttachedFile
  std::string_view cookie;               // the Cookie value, empty for none
};

// The request line and header block (RFC 7230 3.1.1, 5.3, 5.4) in the fixed
// order of the engine. Every header is written as CR LF + line so the request
// line ends where the first header begins. Without a body the block ends
// after the last header line's CR LF and the caller appends the blank line;
// with a body it ends with the blank line.
void ComposeRequestHead(const RequestTarget& target, const RequestHeaders& headers,
                        const RequestHeadPlan& plan, std::string& out);

// OtherHeaders with every trailing CR LF (and a last lone LF) removed and
// exactly one CR LF appended; empty stays empty.
std::string NormaliseOtherHeaders(std::string_view text);

// Chunked uploads (RFC 7230 4.1): "<hex size>\r\n" before a block.
void AppendChunkSizeLine(uint64_t size, std::string& out);

}  // namespace corvane::http
