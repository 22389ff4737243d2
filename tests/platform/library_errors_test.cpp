#include "platform/library_errors.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

namespace corvane::platform {
namespace {

// Which library code a curl result becomes; a code outside the table gets a numbered text.
TEST(LibraryErrorsTest, CurlResultsBecomeLibraryCodes) {
  struct Case {
    CURLcode result;
    const char* detail;
    int code;
  };
  const Case cases[] = {
      {CURLE_OK, "", 0},
      {CURLE_OPERATION_TIMEDOUT, "Operation timed out", 12002},
      {CURLE_COULDNT_RESOLVE_HOST, "Could not resolve host: nowhere", 12007},
      {CURLE_COULDNT_CONNECT, "Failed to connect", 12029},
      {CURLE_RECV_ERROR, "Connection reset by peer", 12031},
      {CURLE_SSL_CONNECT_ERROR, "handshake failure", 12157},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: self-signed certificate", 12045},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: hostname mismatch", 12037},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: certificate not trusted", 12045},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: certificate has expired", 12169},
      {CURLE_TOO_MANY_REDIRECTS, "Maximum (2) redirects followed", 12156},
      {CURLE_TFTP_NOSUCHUSER, "", 12004},
  };
  for (const Case& c : cases) EXPECT_EQ(LibraryErrorForCurl(c.result, c.detail), c.code) << c.result << " " << c.detail;
  EXPECT_EQ(LibraryErrorText(12035), "[12035] (no description available)");
}

}  // namespace
}  // namespace corvane::platform
