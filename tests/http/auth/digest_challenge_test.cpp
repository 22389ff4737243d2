#include "http/auth/digest_challenge.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::auth {
namespace {

constexpr const char* kRfc2617Challenge =
    "realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
    "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";

// 0x3b114f0a written least significant byte first is the cnonce "0a4f113b"
// of the RFC 2617 example.
constexpr uint32_t kRfc2617CnonceValue = 0x3b114f0a;

struct ResponseVector {
  const char* source;
  const char* challenge;
  const char* cnonce;  // replaces the generated one when set
  const char* user;
  const char* password;
  const char* method;
  const char* uri;
  const char* body;
  uint32_t nonceCount;
  const char* response;
};

// Responses beyond the two RFC examples were computed with an independent
// MD5 implementation from the same formulas.
const ResponseVector kVectors[] = {
    {"RFC 2617 3.5", kRfc2617Challenge, nullptr, "Mufasa", "Circle Of Life", "GET", "/dir/index.html", "",
     1, "6629fae49393a05397450978507c4ef1"},
    {"RFC 7616 3.9.1 (MD5)",
     "realm=\"http-auth@example.org\", qop=\"auth, auth-int\", algorithm=MD5, "
     "nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", "
     "opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"",
     "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ", "Mufasa", "Circle of Life", "GET", "/dir/index.html", "",
     1, "8ca523f5e9506fed4657c9700eebdbec"},
    {"RFC 2617 3.5 without qop",
     "realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\"", nullptr, "Mufasa",
     "Circle Of Life", "GET", "/dir/index.html", "", 0, "670fd8c2df070c60b045671b8b24ff02"},
    {"RFC 2617 3.5 auth-int with a body",
     "realm=\"testrealm@host.com\", qop=\"auth-int\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\"", nullptr,
     "Mufasa", "Circle Of Life", "POST", "/dir/index.html", "name=value", 1,
     "ea36e36c4b23cd72e3fecfae37f536f9"},
    {"RFC 2617 3.5 MD5-sess",
     "realm=\"testrealm@host.com\", qop=\"auth\", algorithm=MD5-sess, "
     "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\"",
     nullptr, "Mufasa", "Circle Of Life", "GET", "/dir/index.html", "", 1, "8e3825c57e897f5a0dec6c2d4e5059d0"},
    {"RFC 2617 3.5 second request (nc 2)", kRfc2617Challenge, nullptr, "Mufasa", "Circle Of Life", "GET",
     "/dir/index.html", "", 2, "15b6bb427e3fecd23a43cb702ce447d5"},
};

TEST(DigestResponse, MatchesKnownAnswers) {
  for (const auto& v : kVectors) {
    SCOPED_TRACE(v.source);
    DigestChallenge record;
    ASSERT_EQ(ParseDigestChallenge(record, v.challenge, kRfc2617CnonceValue), 0);
    if (v.cnonce) record.cnonce.Assign(v.cnonce);
    record.user.Assign(v.user);
    record.password.Assign(v.password);
    SetDigestRequest(record, v.method, v.uri, v.body);
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
  ByteBuffer withAlgorithm;
  ASSERT_EQ(FormatDigestAuthorization(record, withAlgorithm, true), 0);
  EXPECT_EQ(withAlgorithm.view(), head + "algorithm=\"md5\", qop=\"auth\", nc=00000001, cnonce=\"0a4f113b\", "
                                         "response=\"6629fae49393a05397450978507c4ef1\"" + opaque);
  // The same challenge answered again counts on; the proxy form has no algorithm.
  ByteBuffer second;
  ASSERT_EQ(FormatDigestAuthorization(record, second, false), 0);
  EXPECT_EQ(second.view(),
            head + "qop=\"auth\", nc=00000002, cnonce=\"0a4f113b\", response=\"15b6bb427e3fecd23a43cb702ce447d5\"" + opaque);

  // A new challenge starts counting again.
  ASSERT_EQ(ParseDigestChallenge(record, kRfc2617Challenge, kRfc2617CnonceValue), 0);
  ByteBuffer third;
  ASSERT_EQ(FormatDigestAuthorization(record, third, false), 0);
  EXPECT_NE(third.view().find("nc=00000001"), std::string_view::npos);
}

TEST(DigestResponse, FormatsOnlyWhatTheChallengeAndCredentialsAllow) {
  struct Case {
    const char* name;
    const char* challenge;
    const char* user;
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
    EXPECT_EQ(record.errorText.view(), c.rc == 0 ? "" : "Digest authentication error: unknown qop value.");
    if (c.rc != 0) {
      EXPECT_EQ(record.nonceCount, 0u);
    }
  }
}

TEST(DigestChallengeParser, ChoosesQopFromTheOfferedList) {
  struct Case {
    const char* offered;
    const char* chosen;
  } cases[] = {
      {"auth,auth-int", "auth"},   {"auth-int,auth", "auth-int"}, {"auth-int", "auth-int"},
      {"auth", "auth"},            {"auth, auth-int", "auth"},   {"AUTH", "AUTH"},
      {"token,auth", "auth"},      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offered);
    DigestChallenge record;
    std::string text = std::string("nonce=\"n\", qop=\"") + c.offered + "\"";
    ASSERT_EQ(ParseDigestChallenge(record, text, 0), 0);
    EXPECT_EQ(record.qop.view(), c.chosen);
    EXPECT_EQ(record.cnonce.empty(), *c.chosen == '\0');
  }
}

TEST(DigestChallengeParser, ReadsParameterForms) {
  struct Case {
    const char* name;
    const char* text;
    const char* realm;
    const char* nonce;
    const char* algorithm;
    const char* opaque;
  } cases[] = {
      {"quoted commas", "realm=\"a, b\", nonce=\"n,1\"", "a, b", "n,1", "md5", ""},
      {"unquoted values", "realm=plain,nonce=abc,algorithm=MD5-sess", "plain", "abc", "MD5-sess", ""},
      {"missing realm", "nonce=\"abc\"", "", "abc", "md5", ""},
      {"names ignore case", "REALM=\"R\", Nonce=\"N\", OPAQUE=\"O\"", "R", "N", "md5", "O"},
      {"later duplicate wins", "nonce=\"one\", nonce=\"two\"", "", "two", "md5", ""},
      {"unknown names skipped", "stale=true, domain=\"/a /b\", nonce=\"n\"", "", "n", "md5", ""},
      {"no escapes inside quotes", "realm=\"a\\\", nonce=\"n\"", "a\\", "n", "md5", ""},
      {"tabs and blanks", "\t realm=\"r\" ,\tnonce=\"n\"", "r", "n", "md5", ""},
      {"unterminated quote", "realm=\"never closed, nonce=\"x", "never closed, nonce=", "", "md5", ""},
      {"empty text", "", "", "", "md5", ""},
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

TEST(DigestChallengeParser, CnonceIsTheValueLeastSignificantByteFirst) {
  DigestChallenge record;
  ASSERT_EQ(ParseDigestChallenge(record, "nonce=\"n\", qop=\"auth\"", 0x12345678), 0);
  EXPECT_EQ(record.cnonce.view(), "78563412");
  ASSERT_EQ(ParseDigestChallenge(record, "nonce=\"n\", qop=\"auth\"", 0xA0), 0);
  EXPECT_EQ(record.cnonce.view(), "a0000000");
}

TEST(DigestResponse, UnknownAlgorithmUsesAnEmptyA1) {
  DigestChallenge sha;
  ASSERT_EQ(ParseDigestChallenge(sha, "nonce=\"n\", algorithm=SHA-256", 0), 0);
  sha.user.Assign("u");
  sha.password.Assign("p");
  SetDigestRequest(sha, "GET", "/", "");
  DigestChallenge other = sha;
  other.user.Assign("someone else");
  ByteBuffer a, b;
  ASSERT_EQ(ComputeDigestResponse(sha, a), 0);
  ASSERT_EQ(ComputeDigestResponse(other, b), 0);
  EXPECT_EQ(a.view(), b.view());  // the credentials do not enter the response
  EXPECT_EQ(a.size(), 32);
}

}  // namespace
}  // namespace corvane::auth
