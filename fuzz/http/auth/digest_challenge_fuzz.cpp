// Digest challenge parser and the credentials built from it: the input is a
// WWW-Authenticate value. Whatever the challenge, formatting either succeeds
// or fails with the unknown-qop code, and a successful value ends with a
// quoted 32-digit response (or the opaque).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "http/auth/auth_state.h"
#include "http/auth/digest_challenge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane::auth;
  std::string_view text(reinterpret_cast<const char*>(data), size);

  DigestChallenge record;
  if (ParseDigestChallenge(record, text, 0x01020304) != 0) return 0;
  SetDigestRequest(record, "POST", "/dir/index.html", "body");
  record.user.Assign("Mufasa");
  record.password.Assign("Circle Of Life");
  corvane::ByteBuffer out;
  int rc = FormatDigestAuthorization(record, out, true);
  if (rc != 0 && rc != 1) std::abort();
  if (rc == 0 && !record.nonce.empty() && out.view().find("response=\"") == std::string_view::npos) {
    std::abort();
  }

  // The same value through the header intake and the builder.
  AuthState state;
  state.tickCount = [] { return 0u; };
  SetAuthScheme(state, authDigest);
  state.user.Assign("Mufasa");
  state.password.Assign("Circle Of Life");
  TakeWwwAuthenticate(state, text);
  AuthRequest request;
  request.method = "GET";
  request.uri = "/";
  rc = BuildAuthorization(state, request, true, [](std::string_view) {});
  if (rc != 0 && rc != 151) std::abort();
  return 0;
}
