// The NTLM clients (the own one, and the system's NTLMSSP package under
// UseSystemSSPI) against the GSSAPI NTLMSSP acceptor of tests/servers/ntlm
// over a raw loopback socket: the messages are checked by an implementation
// that is not ours. Each exchange runs on one kept-alive connection.
#include <gtest/gtest.h>

#include <string>

#include "http/auth/auth_state.h"
#include "http/auth/loopback_http.h"
#include "http/auth/sspi_state.h"
#include "support/servers.h"

namespace corvane::auth {
namespace {

using loopback::LoopbackConnection;
using loopback::Response;

std::string Header(const AuthState& state) {
  return state.authorization.empty() ? std::string() : "Authorization: " + state.authorization.str() + "\r\n";
}

// Runs the two-leg exchange the way the HTTP client does: build before the
// request, take the challenge, answer the 401 once.
Response RunExchange(int port, int scheme, std::string_view user, std::string_view password,
                     std::string_view method = "GET", std::string_view body = {}, bool system = false) {
  AuthState state;
  SspiState sspi;
  state.systemTokens = &sspi;
  AuthRequest request;
  request.method = method;
  request.uri = "/protected";
  request.host = "127.0.0.1";
  request.body = body;
  request.useSystemSspi = system;
  AuthLogFn log;
  SetAuthScheme(state, scheme);
  SetUser(state, user, request, log);
  SetPassword(state, password, request, log);

  LoopbackConnection c(port);
  EXPECT_TRUE(c.connected());
  Response r;
  EXPECT_EQ(BuildAuthorization(state, request, false, log), 0);
  // First leg: the body is held back while the handshake runs.
  std::string_view firstBody = EmptyBodyForHandshake(state, true) ? std::string_view() : body;
  if (!c.Exchange(method, "/protected", Header(state), firstBody, r)) return {};
  while (r.status == 401) {
    TakeWwwAuthenticate(state, r.challenge);
    AuthRetryResult retry = AnswerChallenge(state, r.status, request, log);
    if (retry.action != AuthRetry::retry) break;
    if (!c.Exchange(method, "/protected", Header(state), body, r)) return {};
  }
  return r;
}

TEST(NtlmAcceptor, AcceptsTheSessionResponseForDomainBackslashUser) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NTLM_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_NTLM_USER");
  CORVANE_SERVER_SETTING(domain, "CORVANE_NTLM_DOMAIN");
  CORVANE_SERVER_SETTING(password, "CORVANE_NTLM_PASSWORD");
  Response r = RunExchange(std::stoi(port), authNtlm, domain + "\\" + user, password);
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_NE(r.body.find(user), std::string::npos) << r.body;
}

TEST(NtlmAcceptor, AcceptsUserAtDomainAndAPostBodyAfterTheHandshake) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NTLM_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_NTLM_USER");
  CORVANE_SERVER_SETTING(domain, "CORVANE_NTLM_DOMAIN");
  CORVANE_SERVER_SETTING(password, "CORVANE_NTLM_PASSWORD");
  Response r = RunExchange(std::stoi(port), authNtlm, user + "@" + domain, password, "POST", "name=value");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_NE(r.body.find("POST /protected; 10 body bytes"), std::string::npos) << r.body;
}

TEST(NtlmAcceptor, AcceptsNtlmMessagesUnderNegotiate) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NTLM_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_NTLM_USER");
  CORVANE_SERVER_SETTING(domain, "CORVANE_NTLM_DOMAIN");
  CORVANE_SERVER_SETTING(password, "CORVANE_NTLM_PASSWORD");
  Response r = RunExchange(std::stoi(port), authNegotiate, domain + "\\" + user, password);
  EXPECT_EQ(r.status, 200) << r.body;
}

TEST(NtlmAcceptor, RefusesAWrongPasswordAfterOneRetry) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NTLM_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_NTLM_USER");
  CORVANE_SERVER_SETTING(domain, "CORVANE_NTLM_DOMAIN");
  CORVANE_SERVER_SETTING(password, "CORVANE_NTLM_PASSWORD");
  Response r = RunExchange(std::stoi(port), authNtlm, domain + "\\" + user, password + "x");
  EXPECT_EQ(r.status, 401);
  EXPECT_NE(r.body.find("rejected"), std::string::npos) << r.body;
}

TEST(NtlmAcceptor, SystemPackageAuthenticatesAndIsRefusedWithAWrongPassword) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NTLM_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_NTLM_USER");
  CORVANE_SERVER_SETTING(domain, "CORVANE_NTLM_DOMAIN");
  CORVANE_SERVER_SETTING(password, "CORVANE_NTLM_PASSWORD");
  if (!SystemHasPackage("NTLM")) GTEST_SKIP() << "no NTLMSSP mechanism installed (gss-ntlmssp)";
  struct Case {
    std::string user, password, method, body;
    int status;
  } cases[] = {
      {domain + "\\" + user, password, "GET", "", 200},
      {user + "@" + domain, password, "POST", "name=value", 200},
      {domain + "\\" + user, password + "x", "GET", "", 401},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + " " + c.method + " " + std::to_string(c.status));
    Response r = RunExchange(std::stoi(port), authNtlm, c.user, c.password, c.method, c.body, true);
    EXPECT_EQ(r.status, c.status) << r.body;
    if (c.status == 200) {
      EXPECT_NE(r.body.find(user), std::string::npos) << r.body;
      EXPECT_NE(r.body.find(std::to_string(c.body.size()) + " body bytes"), std::string::npos) << r.body;
    }
  }
}

}  // namespace
}  // namespace corvane::auth
