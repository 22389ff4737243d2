// The system security package's client without a server: how an
// initialisation result is read, and the failures that come before the
// package is asked.
#include "http/auth/sspi_state.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::auth {
namespace {

TEST(SspiState, InitialisationResultsAndTheTokenSizeLimit) {
  struct Case {
    bool failed, completeOrContinue;
    size_t length;
    InitResult result;
  } cases[] = {
      {true, false, 100, InitResult::failed},    {false, true, 0, InitResult::noToken},
      {false, true, 4096, InitResult::token},    {false, true, 4097, InitResult::tooLarge},
      {false, false, 100, InitResult::noToken},  // another success status
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyInitResult(c.failed, c.completeOrContinue, c.length), c.result) << c.length;
  }
}

TEST(SspiState, FailuresBeforeAnyTokenCarryCodeAndText) {
  SspiState sspi;
  ByteBuffer token;
  auto check = [&](int rc, int code, std::string_view prefix) {
    EXPECT_EQ(rc, code) << prefix;
    EXPECT_EQ(sspi.ErrorText().substr(0, prefix.size()), prefix) << sspi.ErrorText();
    EXPECT_TRUE(token.empty());
  };
  check(sspi.StartSspi("Digest", "", ""), 270, "The security library could not be loaded");
  check(sspi.SspiNextToken("HTTP/localhost", "x", true, {}, token), 881,
        "Error querying Channel Bindings token for TLS (0x");  // bound exchange without bindings
  check(sspi.SspiNextToken("HTTP/localhost", "x", false, {}, token), 881,
        "Error consuming security token (0x");  // a server token without a context
  EXPECT_FALSE(sspi.ExchangeOpen());
  EXPECT_TRUE(sspi.HasPackage("Kerberos"));
}

}  // namespace
}  // namespace corvane::auth
