#include "http/auth/digest_challenge.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::auth {
namespace {

constexpr const char* kRfc2617Challenge =
    "realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
    "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";
const std::string kRfc2617Plain = "realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\"";

// Written least significant byte first it is the cnonce "0a4f113b" of the
// RFC 2617 example.
constexpr uint32_t kRfc2617CnonceValue = 0x3b114f0a;

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
      {"RFC 2617 3.5 second request", kRfc2617Challenge, "15b6bb427e3fecd23a43cb702ce447d5", 2},
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
    ASSERT_EQ(ParseDigestChallenge(record, v.challenge, kRfc2617CnonceValue), 0);
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

TEST(DigestResponse, FormatsTheRfc2617ExampleWithAndWithoutAlgorithm) {
  DigestChallenge record;
  ASSERT_EQ(ParseDigestChallenge(record, kRfc2617Challenge, kRfc2617CnonceValue), 0);
  record.user.Assign("Mufasa");
  record.password.Assign("Circle Of Life");
  SetDigestRequest(record, "GET", "/dir/index.html", "");
  const std::string head =
      "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "uri=\"/dir/index.html\", ";
  const std::string opaque = ", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";
  ByteBuffer out;
  ASSERT_EQ(FormatDigestAuthorization(record, out, true), 0);
  EXPECT_EQ(out.view(), head + "algorithm=\"md5\", qop=\"auth\", nc=00000001, cnonce=\"0a4f113b\", "
                               "response=\"6629fae49393a05397450978507c4ef1\"" + opaque);
  // Answered again the count goes on; the proxy form has no algorithm.
  out.Clear();
  ASSERT_EQ(FormatDigestAuthorization(record, out, false), 0);
  EXPECT_EQ(out.view(), head + "qop=\"auth\", nc=00000002, cnonce=\"0a4f113b\", "
                               "response=\"15b6bb427e3fecd23a43cb702ce447d5\"" + opaque);
  // A new challenge counts from 1 again.
  ASSERT_EQ(ParseDigestChallenge(record, kRfc2617Challenge, kRfc2617CnonceValue), 0);
  out.Clear();
  ASSERT_EQ(FormatDigestAuthorization(record, out, false), 0);
  EXPECT_NE(out.view().find("nc=00000001"), std::string_view::npos);
}

TEST(DigestResponse, FormatsOnlyWhatTheChallengeAndCredentialsAllow) {
  struct Case {
    const char *name, *challenge, *user;
    int rc;
    const char* value;
  } cases[] = {
      // Without qop there is no qop, nc or cnonce; an empty opaque is not echoed.
      {"no qop", "realm=\"r\", nonce=\"n\", opaque=\"\"", "u", 0,
       "Digest username=\"u\", realm=\"r\", nonce=\"n\", uri=\"/\", algorithm=\"md5\", "
       "response=\"ee0c00c4d45e9b29f517f59e393a8e14\""},
      // Quotes and backslashes in the user name are escaped; the hash takes it as given.
      {"user name with quotes", "realm=\"r\", nonce=\"n\"", "u\", x=\"\\", 0,
       "Digest username=\"u\\\", x=\\\"\\\\\", realm=\"r\", nonce=\"n\", uri=\"/\", algorithm=\"md5\", "
       "response=\"c9608f9317ac458cf0eeb22b7982cb8b\""},
      {"no nonce", "", "u", 0, ""},
      {"no user", "nonce=\"n\"", "", 0, ""},
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
    EXPECT_EQ(record.nonceCount, 0u);
  }
}

TEST(DigestChallengeParser, ChoosesQopAndMakesTheCnonceFromTheValue) {
  struct Case {
    const char *offered, *chosen;
  } cases[] = {
      {"auth,auth-int", "auth"}, {"auth-int,auth", "auth-int"}, {"auth", "auth"},
      {"AUTH", "AUTH"},          {"token,auth", "auth"},        {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offered);
    DigestChallenge record;
    ASSERT_EQ(ParseDigestChallenge(record, std::string("nonce=\"n\", qop=\"") + c.offered + "\"", 0xA0), 0);
    EXPECT_EQ(record.qop.view(), c.chosen);
    EXPECT_EQ(record.cnonce.view(), *c.chosen ? "a0000000" : "");  // least significant byte first
  }
}

TEST(DigestChallengeParser, ReadsParameterForms) {
  struct Case {
    const char *name, *text, *realm, *nonce, *algorithm, *opaque;
  } cases[] = {
      {"quoted commas", "realm=\"a, b\", nonce=\"n,1\"", "a, b", "n,1", "md5", ""},
      {"unquoted values", "realm=plain,nonce=abc,algorithm=MD5-sess", "plain", "abc", "MD5-sess", ""},
      {"names ignore case", "REALM=\"R\", Nonce=\"N\", OPAQUE=\"O\"", "R", "N", "md5", "O"},
      {"later duplicate wins", "nonce=\"one\", nonce=\"two\"", "", "two", "md5", ""},
      {"unknown names skipped", "stale=true, domain=\"/a /b\", nonce=\"n\"", "", "n", "md5", ""},
      {"no escapes inside quotes", "realm=\"a\\\", nonce=\"n\"", "a\\", "n", "md5", ""},
      {"tabs and blanks", "\t realm=\"r\" ,\tnonce=\"n\"", "r", "n", "md5", ""},
      {"unterminated quote", "realm=\"never closed, nonce=\"x", "never closed, nonce=", "", "md5", ""},
      {"name without value", "realm", "", "", "md5", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DigestChallenge record;
    record.realm.Assign("stale");
    ASSERT_EQ(ParseDigestChallenge(record, c.text, 0), 0);
    EXPECT_EQ(record.realm.view(), c.realm);
    EXPECT_EQ(record.nonce.view(), c.nonce);
    EXPECT_EQ(record.algorithm.view(), c.algorithm);
    EXPECT_EQ(record.opaque.view(), c.opaque);
  }
}

}  // namespace
}  // namespace corvane::auth
