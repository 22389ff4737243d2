#include "platform/library_errors.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

namespace corvane::platform {
namespace {

// Which library code a curl result becomes: a verification failure by the
// kind its detail names, others through the result table (one row stands for
// it), the rest as an internal error; a code outside the texts gets a number.
TEST(LibraryErrorsTest, CurlResultsBecomeLibraryCodes) {
  const struct {
    CURLcode result;
    const char* detail;
    int code;
  } cases[] = {
      {CURLE_OK, "", 0},
      {CURLE_COULDNT_CONNECT, "Failed to connect", 12029},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: self-signed certificate", 12045},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: hostname mismatch", 12037},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: certificate has expired", 12169},
      {CURLE_TFTP_NOSUCHUSER, "", 12004},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LibraryErrorForCurl(c.result, c.detail), c.code) << c.result << " " << c.detail;
  EXPECT_EQ(LibraryErrorText(12035), "[12035] (no description available)");
}

}  // namespace
}  // namespace corvane::platform
