// The system security package's client without a server: how an
// initialisation result is read, and the failures that come before the
// package is asked (package, channel bindings, missing context).
#include <gtest/gtest.h>

#include <string>

#include "http/auth/sspi_state.h"

namespace corvane::auth {
namespace {

TEST(SspiState, InitialisationResultsAndTheTokenSizeLimit) {
  struct Case {
    bool failed, completeOrContinue;
    size_t length;
    InitResult result;
  } cases[] = {
      {true, false, 0, InitResult::failed},
      {true, false, 100, InitResult::failed},
      {false, true, 0, InitResult::noToken},
      {false, true, 1, InitResult::token},
      {false, true, 4096, InitResult::token},
      {false, true, 4097, InitResult::tooLarge},
      {false, false, 100, InitResult::noToken},  // another success status
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.failed << c.completeOrContinue << " " << c.length);
    EXPECT_EQ(ClassifyInitResult(c.failed, c.completeOrContinue, c.length), c.result);
  }
}

TEST(SspiState, FailuresBeforeAnyTokenCarryCodeAndText) {
  SspiState sspi;
  ByteBuffer token;
  struct Case {
    const char* name;
    int code;
    std::string prefix;
  };
  auto check = [&](const Case& c, int rc) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rc, c.code);
    EXPECT_EQ(sspi.ErrorText().substr(0, c.prefix.size()), c.prefix) << sspi.ErrorText();
    EXPECT_TRUE(token.empty());
  };
  check({"unknown package", 270, "The security library could not be loaded"}, sspi.StartSspi("Digest", "", ""));
  check({"bound exchange without bindings", 881, "Error querying Channel Bindings token for TLS (0x"},
        sspi.SspiNextToken("HTTP/localhost", "x", true, {}, token));
  check({"server token without a context", 881, "Error consuming security token (0x"},
        sspi.SspiNextToken("HTTP/localhost", "x", false, {}, token));
  EXPECT_FALSE(sspi.ExchangeOpen());
  EXPECT_TRUE(sspi.HasPackage("Negotiate"));
  EXPECT_TRUE(sspi.HasPackage("Kerberos"));
}

}  // namespace
}  // namespace corvane::auth
