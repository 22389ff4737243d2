#pragma once

#include <string_view>

#include "core/byte_buffer.h"
#include "crypto/hmac_context.h"

namespace corvane {

// PBKDF2 (RFC 8018 5.2) with PRF = HMAC-`id`. derivedBits / 8 bytes are
// written to output (replacing its content). At most 29 blocks of the PRF's
// output may be asked for; more gives 200. Other codes: those of HmacContext.
inline constexpr int kPbkdf2MaxBlocks = 29;
int Pbkdf2(HmacContext& hmac, int id, const void* password, int passwordLength, const void* salt,
           int saltLength, int iterations, int derivedBits, ByteBuffer& output) noexcept;

// Password-to-key derivation selected by name.
//  - A name containing "hmac" (any case) runs PBKDF2 with the HMAC named by
//    the first of "sha1", "sha224", "sha256", "sha384", "sha512", "md5",
//    "ripemd" found after the first character (e.g. "hmacWithSHA256").
//  - "MD5", "SHA1" or "MD2" run the classic iterated-digest derivation:
//    D_i = H^iterations(D_(i-1) || password || salt), or with passwordFirst
//    H^iterations(password || D_(i-1) || salt), concatenated.
//  - An empty name means "MD5". Any other name gives 3001.
// output receives exactly keyLength bytes.
int DeriveKeyFromPassword(int iterations, std::string_view algorithmName, std::string_view password,
                          const void* salt, int saltLength, int keyLength, bool passwordFirst,
                          ByteBuffer& output) noexcept;

}  // namespace corvane
