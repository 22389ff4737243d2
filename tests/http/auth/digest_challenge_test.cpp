// The challenge header values: the list of schemes, then a Digest challenge's
// parameters and the answer made from them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/auth/challenge_list.h"
#include "http/auth/digest_challenge.h"

namespace corvane::auth {
namespace {

TEST(SplitChallenges, SeparatesSchemesAndKeepsParameterLists) {
  struct Case {
    const char* value;
    std::vector<std::string> expected;  // word|parameters
  } cases[] = {
      {"NTLM TlRMTVNTUAACAAAA==", {"NTLM|TlRMTVNTUAACAAAA=="}},
      {"Basic realm=\"x\", Digest realm=\"y\", nonce=\"n\"", {"Basic|realm=\"x\"", "Digest|realm=\"y\", nonce=\"n\""}},
      {"Negotiate, NTLM", {"Negotiate|", "NTLM|"}},
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

constexpr const char* kRfc2617Challenge =
    "realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
    "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";
const std::string kRfc2617Plain = "realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\"";

// Responses beyond the two RFC examples were computed with an independent MD5
// implementation from the same formulas.
TEST(DigestResponse, MatchesKnownAnswers) {
  struct Vector {
    const char* source;
    std::string challenge;
    const char* response;
    uint32_t nonceCount = 1;
    const char* method = "GET";
    const char* body = "";
    const char* user = "Mufasa";
    const char* password = "Circle Of Life";
    const char* cnonce = nullptr;  // replaces the generated one
  } vectors[] = {
      {"RFC 2617 3.5", kRfc2617Challenge, "6629fae49393a05397450978507c4ef1"},
      {"RFC 2617 3.5 without qop", kRfc2617Plain, "670fd8c2df070c60b045671b8b24ff02", 0},
      {"RFC 2617 3.5 auth-int with a body", kRfc2617Plain + ", qop=\"auth-int\"", "ea36e36c4b23cd72e3fecfae37f536f9",
       1, "POST", "name=value"},
      {"RFC 2617 3.5 MD5-sess", kRfc2617Plain + ", qop=\"auth\", algorithm=MD5-sess",
       "8e3825c57e897f5a0dec6c2d4e5059d0"},
      {"RFC 7616 3.9.1 (MD5)",
       "realm=\"http-auth@example.org\", qop=\"auth, auth-int\", algorithm=MD5, "
       "nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", "
       "opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"",
       "8ca523f5e9506fed4657c9700eebdbec", 1, "GET", "", "Mufasa", "Circle of Life",
       "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ"},
      // An algorithm other than MD5 leaves A1 empty: MD5(MD5("") ":n:" MD5("GET:/dir/index.html")).
      {"unknown algorithm", "nonce=\"n\", algorithm=SHA-256", "8594ac7308274b97830b7be8fb69f680", 0},
  };
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.source);
    DigestChallenge record;
    ASSERT_EQ(ParseDigestChallenge(record, v.challenge, 0x3b114f0a), 0);  // the example's cnonce "0a4f113b"
    if (v.cnonce) record.cnonce.Assign(v.cnonce);
    record.user.Assign(v.user);
    record.password.Assign(v.password);
    SetDigestRequest(record, v.method, "/dir/index.html", v.body);
    record.nonceCount = v.nonceCount;
    ByteBuffer response;
    ASSERT_EQ(ComputeDigestResponse(record, response), 0);
    EXPECT_EQ(response.view(), v.response);
  }
}

TEST(DigestResponse, FormatsOnlyWhatTheChallengeAndCredentialsAllow) {
  struct Case {
    const char *name, *challenge, *user;
    int rc;
    const char* value;
  } cases[] = {
      // Quotes and backslashes in the user name are escaped, the hash takes it
      // as given; without qop there is no qop, nc or cnonce, and an empty
      // opaque is not echoed.
      {"user name with quotes, no qop", "realm=\"r\", nonce=\"n\", opaque=\"\"", "u\", x=\"\\", 0,
       "Digest username=\"u\\\", x=\\\"\\\\\", realm=\"r\", nonce=\"n\", uri=\"/\", algorithm=\"md5\", "
       "response=\"c9608f9317ac458cf0eeb22b7982cb8b\""},
      {"qop and opaque", "realm=\"r\", nonce=\"n\", qop=\"auth\", opaque=\"o\"", "u", 0,
       "Digest username=\"u\", realm=\"r\", nonce=\"n\", uri=\"/\", algorithm=\"md5\", qop=\"auth\", nc=00000001, "
       "cnonce=\"07000000\", response=\"452d7791d9b2d61e35730e0ffe9b34ad\", opaque=\"o\""},
      {"no nonce", "", "u", 0, ""},
      // An unknown qop fails after the fixed part, without counting.
      {"unknown qop", "realm=\"r\", nonce=\"n\", qop=\"token\"", "u", 1,
       "Digest username=\"u\", realm=\"r\", nonce=\"n\", uri=\"/\", algorithm=\"md5\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DigestChallenge record;
    ASSERT_EQ(ParseDigestChallenge(record, c.challenge, 7), 0);
    record.user.Assign(c.user);
    SetDigestRequest(record, "GET", "/", "");
    ByteBuffer out;
    EXPECT_EQ(FormatDigestAuthorization(record, out, true), c.rc);
    EXPECT_EQ(out.view(), c.value);
    EXPECT_EQ(record.errorText.empty(), c.rc == 0);
    EXPECT_EQ(record.nonceCount, std::string_view(c.value).find("nc=") != std::string_view::npos ? 1u : 0u);
  }
}

TEST(DigestChallengeParser, ReadsParameterFormsAndChoosesQop) {
  struct Case {
    const char *text, *fields;  // realm|nonce|algorithm|opaque|qop|
  } cases[] = {
      {"realm=\"a, b\", nonce=\"n,1\"", "a, b|n,1|md5|||"},
      {"realm=plain,nonce=abc,algorithm=MD5-sess", "plain|abc|MD5-sess|||"},
      {"REALM=\"R\", Nonce=\"N\", OPAQUE=\"O\"", "R|N|md5|O||"},
      {"stale=true, domain=\"/a /b\", nonce=\"n\"", "|n|md5|||"},
      {"realm=\"a\\\", nonce=\"n\"", "a\\|n|md5|||"},  // no escapes inside quotes
      {"\t realm=\"r\" ,\tnonce=\"n\"", "r|n|md5|||"},
      {"realm=\"never closed, nonce=\"x", "never closed, nonce=||md5|||"},
      {"realm", "||md5|||"},
      // A list that starts with auth is answered with auth, else auth-int
      // wins; a value without either is kept and refused when formatted.
      {"qop=\"auth,auth-int\"", "||md5||auth|"},
      {"qop=\"auth-int,auth\"", "||md5||auth-int|"},
      {"qop=\"token,auth\"", "||md5||auth|"},
      {"qop=\"AUTH\"", "||md5||AUTH|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    DigestChallenge record;
    record.realm.Assign("stale");
    ASSERT_EQ(ParseDigestChallenge(record, c.text, 0xA0), 0);
    std::string fields;
    for (const ByteBuffer* f : {&record.realm, &record.nonce, &record.algorithm, &record.opaque, &record.qop}) {
      fields.append(f->view()).append("|");
    }
    EXPECT_EQ(fields, c.fields);
    EXPECT_EQ(record.cnonce.view(), record.qop.empty() ? "" : "a0000000");  // least significant byte first
  }
}

}  // namespace
}  // namespace corvane::auth
