#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/library_errors.h"

namespace corvane::platform {
namespace {

TEST(LibraryErrorsTest, CurlResultsBecomeLibraryCodesWithTheirTexts) {
  struct Case {
    CURLcode result;
    const char* detail;
    int code;
    const char* text;
  };
  const Case cases[] = {
      {CURLE_OK, "", 0, "[0] (no description available)"},
      {CURLE_OPERATION_TIMEDOUT, "Operation timed out", 12002, "Internet Timeout."},
      {CURLE_COULDNT_RESOLVE_HOST, "Could not resolve host: nowhere", 12007, "Internet Name Not Resolved."},
      {CURLE_COULDNT_CONNECT, "Failed to connect", 12029, "Internet Cannot Connect."},
      {CURLE_RECV_ERROR, "Connection reset by peer", 12031, "Internet Connection Reset."},
      {CURLE_SSL_CONNECT_ERROR, "handshake failure", 12157, "Internet Security Channel Error."},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: self-signed certificate", 12045,
       "Invalid Certification Authority."},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: hostname mismatch", 12037,
       "The Certificate has an Invalid Name, or different from Host Name."},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: certificate not trusted", 12045,
       "Invalid Certification Authority."},
      {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: certificate has expired", 12169,
       "Invalid Security Certificate."},
      {CURLE_TOO_MANY_REDIRECTS, "Maximum (2) redirects followed", 12156, "Http Redirect Failed."},
      {CURLE_TFTP_NOSUCHUSER, "", 12004, "Internet Internal Error."},
  };
  for (const Case& c : cases) {
    int code = LibraryErrorForCurl(c.result, c.detail);
    EXPECT_EQ(code, c.code) << c.result << " " << c.detail;
    EXPECT_EQ(LibraryErrorText(code), c.text) << c.result;
  }
}

TEST(LibraryErrorsTest, CodesOutsideTheTableGetANumberedText) {
  EXPECT_EQ(LibraryErrorText(12035), "[12035] (no description available)");
  EXPECT_EQ(LibraryErrorText(12171), "Failed due to security check.");
  EXPECT_EQ(LibraryErrorText(12001), "Internet Out Of Handles.");
}

}  // namespace
}  // namespace corvane::platform
