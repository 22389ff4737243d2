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

// The request writer: the request line and header block, the body length
// they announce, and the framing of a chunked body. Everything that goes on
// the wire in an HTTP/1.x head is composed here, and the HTTP/2 request takes
// its fields from the same head, so this is the one place where a value that
// could break the framing is caught.

// True when value carries none of CR, LF and NUL: a request line or header
// field holding one of them would end early, and whatever follows would be
// read by the server as further fields or a second request (RFC 9110 5.5,
// RFC 9112 2.2).
bool IsSafeFieldValue(std::string_view value) noexcept;

// OtherHeaders is raw header text: safe when, once its end is normalised,
// every line is non-empty and ends in CR LF with no CR, LF or NUL inside (an
// empty line would end the head there).
bool IsSafeHeaderText(std::string_view text) noexcept;

// The name of the first setting whose value would be written into this
// request's line or header block and is not safe ("URL", "HTTPMethod",
// "UserAgent", "Cookie", "OtherHeaders", ...); empty when all are.
std::string_view UnsafeRequestValue(const RequestTarget& target, const RequestHeaders& headers,
                                    const RequestHeadPlan& plan);

// The request line and header block (RFC 9112 3, RFC 9110 7.2) in the fixed
// order of the engine. Every header is written as CR LF + line so the request
// line ends where the first header begins. Without a body the block ends
// after the last header line's CR LF and the caller appends the blank line;
// with a body it ends with the blank line.
// Returns UnsafeRequestValue's answer: when it is not empty, out is left
// empty and nothing may be sent.
std::string_view ComposeRequestHead(const RequestTarget& target, const RequestHeaders& headers,
                                    const RequestHeadPlan& plan, std::string& out);

// The length of a request body made of postData followed by the file at
// attachedFile (none when empty). False when the file cannot be opened.
bool RequestBodyLength(std::string_view postData, const std::string& attachedFile, int64_t& length);

// OtherHeaders with every trailing CR LF (and a last lone LF) removed and
// exactly one CR LF appended; empty stays empty.
std::string NormaliseOtherHeaders(std::string_view text);

// Chunked uploads (RFC 7230 4.1): "<hex size>\r\n" before a block.
void AppendChunkSizeLine(uint64_t size, std::string& out);

}  // namespace corvane::http
