#pragma once

#include <cstdint>
#include <string_view>

#include "core/byte_buffer.h"

namespace corvane::auth {

// One Digest challenge (RFC 2617) and what is needed to answer it: the
// server's parameters, the client's cnonce and nonce count, the credentials
// and the request parts. One record for the server and one for the proxy.
struct DigestChallenge {
  ByteBuffer realm;
  ByteBuffer qop;  // the chosen quality of protection
  ByteBuffer algorithm{"md5"};
  ByteBuffer nonce;
  ByteBuffer21 cnonce;  // 8 lower-case hex digits while qop is non-empty
  ByteBuffer opaque;
  uint32_t nonceCount = 0;
  ByteBuffer user;
  ByteBuffer password;
  ByteBuffer method;
  ByteBuffer uri;
  // Borrowed request body for "auth-int"; valid only between SetDigestRequest
  // and the formatting call that follows it.
  std::string_view entityBody;
  ByteBuffer errorText;
};

// Parses the parameters of a challenge (the text after "Digest ") into the
// record, replacing the previous challenge. cnonceValue is the 32-bit value
// the cnonce is made of when a qop is chosen (the caller passes its clock
// plus a per-object value; tests pass a constant). 0 or 200.
int ParseDigestChallenge(DigestChallenge& record, std::string_view text, uint32_t cnonceValue);

// Stores the request parts the response covers. body is borrowed.
int SetDigestRequest(DigestChallenge& record, std::string_view method, std::string_view uri,
                     std::string_view body);

// Appends the whole Digest credentials value ("Digest username=...") to out.
// Without a nonce or a user nothing is appended. Returns 0; 1 for a qop other
// than "auth" or "auth-int" (message in record.errorText, the text appended so
// far stays); 200 when a buffer cannot grow.
int FormatDigestAuthorization(DigestChallenge& record, ByteBuffer& out, bool includeAlgorithm);

// Writes the 32 lower-case hex digits of the request digest into out
// (replacing its content). 0 or 200.
int ComputeDigestResponse(const DigestChallenge& record, ByteBuffer& out);

}  // namespace corvane::auth
