#include "http/auth/challenge_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::auth {
namespace {

TEST(SplitChallenges, SeparatesSchemesAndKeepsParameterLists) {
  struct Case {
    const char* value;
    std::vector<std::string> expected;  // word|parameters
  } cases[] = {
      {"NTLM", {"NTLM|"}},
      {"NTLM TlRMTVNTUAACAAAA==", {"NTLM|TlRMTVNTUAACAAAA=="}},
      {"Basic realm=\"x\", Digest realm=\"y\", nonce=\"n\"", {"Basic|realm=\"x\"", "Digest|realm=\"y\", nonce=\"n\""}},
      {"Negotiate, NTLM", {"Negotiate|", "NTLM|"}},
      {"Bearer, Digest nonce=n", {"Bearer|", "Digest|nonce=n"}},
      {"Digest realm=\"Basic x, NTLM\", nonce=\"n\"", {"Digest|realm=\"Basic x, NTLM\", nonce=\"n\""}},
      {"Digest realm = x, nonce = y", {"Digest|realm = x, nonce = y"}},
      {"  Basic realm=\"r\"", {"Basic|realm=\"r\""}},
      {"", {"|"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> got;
    SplitChallenges(c.value, [&got](std::string_view word, std::string_view rest) {
      got.push_back(std::string(word) + "|" + std::string(rest));
    });
    EXPECT_EQ(got, c.expected) << c.value;
  }
}

}  // namespace
}  // namespace corvane::auth
