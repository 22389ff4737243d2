#include "http/auth/challenge_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::auth {
namespace {

std::vector<std::string> Split(std::string_view value) {
  std::vector<std::string> out;
  SplitChallenges(value, [&out](std::string_view word, std::string_view rest) {
    out.push_back(std::string(word) + "|" + std::string(rest));
  });
  return out;
}

TEST(SplitChallenges, SeparatesSchemesAndKeepsParameterLists) {
  struct Case {
    const char* value;
    std::vector<std::string> expected;
  } cases[] = {
      {"NTLM", {"NTLM|"}},
      {"NTLM TlRMTVNTUAACAAAA==", {"NTLM|TlRMTVNTUAACAAAA=="}},
      {"Digest realm=\"a, b\", nonce=\"n\", qop=\"auth,auth-int\"",
       {"Digest|realm=\"a, b\", nonce=\"n\", qop=\"auth,auth-int\""}},
      {"Basic realm=\"x\", Digest realm=\"y\", nonce=\"n\"", {"Basic|realm=\"x\"", "Digest|realm=\"y\", nonce=\"n\""}},
      {"Negotiate, NTLM", {"Negotiate|", "NTLM|"}},
      {"Bearer, Digest nonce=n", {"Bearer|", "Digest|nonce=n"}},
      {"Digest realm=\"Basic x, NTLM\", nonce=\"n\"", {"Digest|realm=\"Basic x, NTLM\", nonce=\"n\""}},
      {"Digest realm = x, nonce = y", {"Digest|realm = x, nonce = y"}},
      {"  Basic realm=\"r\"", {"Basic|realm=\"r\""}},
      {"", {"|"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(Split(c.value), c.expected);
  }
}

}  // namespace
}  // namespace corvane::auth
