// The public error constants against the tables the library raises them from.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "corvane/errors.h"

namespace corvane {
namespace {

bool TableHas(int code, std::string_view subsystem, std::string_view messageStart) {
  for (const ErrorDesc& e : ErrorTable()) {
    if (e.code == code && e.subsystem == subsystem &&
        std::string_view(e.message).substr(0, messageStart.size()) == messageStart)
      return true;
  }
  return false;
}

TEST(ErrorTableTest, PublicConstantsNameRowsOfTheTables) {
  struct Case {
    int code;
    const char* subsystem;
    const char* messageStart;
  } cases[] = {
      {error::kUnknownConfig, "core", "Unknown config setting."},
      {error::kHttp2Protocol, "http2", "PROTOCOL_ERROR"},
      {error::kFileWrite, "http", "Error writing to LocalFile."},
      {error::kBusy, "http", "Busy performing current action."},
      {error::kHttpStatus, "http", "HTTP protocol error."},
      {error::kNoServer, "http", "No server specified in URL"},
      {error::kInvalidScheme, "http", "Specified URLScheme"},
      {error::kCookieIndex, "http", "Invalid cookie index"},
      {error::kHttp2Negotiation, "http", "Server does not support HTTP/2"},
      {error::kHttp2StreamReset, "http2", "HTTP/2 Protocol Error: Stream reset."},
      {error::kOutOfMemory, "core", "Out of memory."},
      {error::kCertificateRejected, "tls", "Server certificate verification failed."},
      {error::kCertificateFault, "tls", "error verifying server certificate"},
      {error::kTimeout, "core", "Interrupted."},
      {error::kFileOpen, "http", "Can't open"},
      {error::kTooManyRedirects, "http", "There were too many redirects."},
      {error::kKeyFormat, "keys", ""},
      {error::kUnknownDigest, "crypto", "Unknown digest algorithm."},
      {error::kJsonMarkup, "json", "Invalid JSON markup."},
      {error::kJsonPath, "json", "Invalid XPath."},
      {error::kConnectionReset, "socket", "Connection reset by peer"},
      {error::kConnectionClosed, "http", "Connection closed"},
      {error::kConnectionTimedOut, "socket", "Connection timed out"},
      {error::kConnectionRefused, "socket", "Connection refused"},
      {error::kHostNotFound, "socket", "Host not found"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(TableHas(c.code, c.subsystem, c.messageStart))
        << c.code << " " << c.subsystem << " " << c.messageStart;
  }
}

TEST(ErrorTableTest, ConfigKeysAreListedOnceEach) {
  std::set<std::string> seen;
  for (const ConfigKeyDesc& k : ConfigKeyTable()) {
    std::string lower(k.name);
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_TRUE(seen.insert(lower).second) << k.name;
  }
  // The keys of the REST object, the HTTP engine and the sockets are all there.
  for (const char* key : {"CodePage", "KeepAlive", "UserAgent", "ConnectionTimeout", "SSLTrustedCAFile"}) {
    EXPECT_TRUE(seen.count([&] {
      std::string l(key);
      for (char& ch : l) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      return l;
    }())) << key;
  }
}

}  // namespace
}  // namespace corvane
