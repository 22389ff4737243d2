#pragma once

#include <cstdint>
#include <string_view>

#include "core/byte_buffer.h"
#include "crypto/hash_context.h"

namespace corvane {

// HMAC (RFC 2104) over any HashAlgorithm. The padded keys are prepared on the
// first Update (or Final) after the key was set or a MAC was finished, so one
// context computes any number of MACs with the same key.
class HmacContext {
 public:
  HmacContext() noexcept = default;
  ~HmacContext();
  HmacContext(const HmacContext&) = delete;
  HmacContext& operator=(const HmacContext&) = delete;

  // Stores the id and a copy of the key; a negative length counts as 0.
  // 0 or 200.
  int SetKey(int id, const void* key, int keyLength) noexcept;
  int Algorithm() const noexcept { return id_; }

  // 0 or the code of the underlying HashContext (2001 for an unknown id).
  int Update(const void* data, int len) noexcept;
  // The MAC goes to Result() (the digest size of the id).
  int Final() noexcept;
  // Same, writing the MAC to out (DigestSize() bytes).
  int Final(uint8_t* out) noexcept;

  const ByteBuffer& Result() const noexcept { return result_; }
  int DigestSize() const noexcept { return HashDigestBits(id_) / 8; }

 private:
  int PrepareKeys() noexcept;

  int id_ = 0;
  ByteBuffer key_;
  HashContext hash_;
  // The hash states after absorbing the inner and outer padded key blocks;
  // computed once per key so repeated MACs (PBKDF2) skip the two key blocks.
  HashContext innerStart_;
  HashContext outerStart_;
  bool keysPending_ = true;
  bool prepared_ = false;
  ByteBuffer result_;
};

// HMAC-MD5 of data under key, 16 bytes appended to out; 0 or 200.
int HmacMd5(std::string_view key, std::string_view data, ByteBuffer& out) noexcept;

}  // namespace corvane
