#pragma once

// The request failures the scripted h2 server provokes (its --mode), each with
// the code and the exact message the caller must read afterwards, whatever
// the path (plain or TLS, Get or Post).

namespace corvane::test {

struct StreamFailureCase {
  const char* mode;
  bool get;  // a zero window only holds a body: Post alone
  int code;
  const char* message;
};

inline constexpr StreamFailureCase kStreamFailureCases[] = {
    {"rst_cancel", true, 162,
     "HTTP/2 Protocol Error: Stream reset. The stream was no longer needed. Error code 0x8 (CANCEL)."},
    {"ping7", true, 6,
     "FRAME_SIZE_ERROR: Receive Ping Frame with PadLen 7 differet from Ping Frame PadLen should be 8."},
    {"push", true, 1, "PROTOCOL_ERROR: Receive PushPromise Frame, but enable accept PushPromise ia false."},
    {"big_headers", true, 9, "COMPRESSION_ERROR: Header list exceeds the limit of 262144 bytes."},
    {"crlf_cookie", true, 1,
     "PROTOCOL_ERROR: Malformed response: the header field set-cookie contains a CR, LF or NUL character."},
    {"nul_location", true, 1,
     "PROTOCOL_ERROR: Malformed response: the header field location contains a CR, LF or NUL character."},
    {"window0", false, 301, "Timeout."},
};

}  // namespace corvane::test
