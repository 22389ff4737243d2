#pragma once

// The codes a call of the REST object can return, and the table of every
// code the library raises with its message. A number can mean different
// things in different subsystems (151 is any HTTP failure, from a 404 to a
// bad chunk size), so the message in LastError() always goes with it; the
// constants below name the codes a program usually branches on.
//
//   if (int rc = rest.Get(url); rc == corvane::error::kHttpStatus && rest.StatusCode() == 404) ...

#include <span>

#include "corvane/export.h"

namespace corvane {

namespace error {

inline constexpr int kOk = 0;
inline constexpr int kUnknownConfig = -1;  // also: the XErrorPath element was found
inline constexpr int kHttp2Protocol = 1;
inline constexpr int kFileWrite = 7;
inline constexpr int kBusy = 143;
inline constexpr int kHttpStatus = 151;   // non-2xx status, or a malformed response
inline constexpr int kNoServer = 152;
inline constexpr int kInvalidScheme = 153;
inline constexpr int kCookieIndex = 156;
inline constexpr int kHttp2Negotiation = 161;
inline constexpr int kHttp2StreamReset = 162;
inline constexpr int kOutOfMemory = 200;
inline constexpr int kCertificateRejected = 276;  // verification failed and nobody accepted it
inline constexpr int kCertificateFault = 280;
inline constexpr int kTimeout = 301;  // Timeout elapsed, or Interrupt was called
inline constexpr int kFileOpen = 302;
inline constexpr int kTooManyRedirects = 310;
inline constexpr int kCodePage = 434;
inline constexpr int kKeyFormat = 1424;
inline constexpr int kUnknownDigest = 3001;
inline constexpr int kJsonMarkup = 10232;
inline constexpr int kJsonPath = 10233;
inline constexpr int kConnectionReset = 10054;
inline constexpr int kConnectionClosed = 10057;
inline constexpr int kConnectionTimedOut = 10060;
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kHostNotFound = 11001;

}  // namespace error

// One row of the library's error tables. name is empty for the socket
// codes, which carry the system's own texts; a message may hold a
// placeholder that the call fills in.
struct ErrorDesc {
  int code;
  const char* subsystem;
  const char* name;
  const char* message;
};

// Every row of every subsystem's table, subsystems in layer order.
CORVANE_API std::span<const ErrorDesc> ErrorTable();

// A configuration key that Config() knows, with the layer that handles it.
// Keys compare case-insensitively; the table holds each as its handler
// spells it.
struct ConfigKeyDesc {
  const char* name;
  const char* layer;
};

CORVANE_API std::span<const ConfigKeyDesc> ConfigKeyTable();

}  // namespace corvane
