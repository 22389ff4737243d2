#pragma once

#include <cstdint>
#include <variant>

#include "core/byte_buffer.h"
#include "crypto/hash_algorithm.h"
#include "crypto/keccak.h"
#include "crypto/md2.h"
#include "crypto/md4.h"
#include "crypto/md5.h"
#include "crypto/ripemd160.h"
#include "crypto/sha1.h"
#include "crypto/sha256.h"
#include "crypto/sha512.h"

namespace corvane {

// MD5 and SHA-1 of the same input, digests concatenated (16 + 20 bytes).
class Md5Sha1 {
 public:
  static constexpr int kDigestSize = 36;

  void Init() noexcept {
    md5_.Init();
    sha1_.Init();
  }
  int Update(const void* data, size_t len) noexcept;
  const uint8_t* Final() noexcept;

 private:
  Md5 md5_;
  Sha1 sha1_;
  uint8_t digest_[kDigestSize];
};

// The generic digest context: one state record of the selected algorithm and
// the digest of the last Final().
//
// Codes: Update/Final return 2001 for an id outside 0-13, 200 when no state
// record exists (a context whose algorithm was never set), 1 once SHA-1's
// bit count has overflowed.
class HashContext {
 public:
  HashContext() noexcept = default;
  explicit HashContext(int id) noexcept { SetAlgorithm(id); }
  HashContext(const HashContext&) noexcept = default;
  HashContext& operator=(const HashContext&) noexcept = default;
  ~HashContext();

  // Selects the algorithm and starts a new message; always 0. An unknown id
  // leaves no state record, so later calls fail.
  int SetAlgorithm(int id) noexcept;
  int Algorithm() const noexcept { return id_; }

  int Update(const void* data, int len) noexcept;
  // Finishes the message into Digest() and starts a new one with the same id.
  int Final() noexcept;
  // Same, writing DigestSize() bytes to out instead of the digest buffer.
  int Final(uint8_t* out) noexcept;

  const ByteBuffer& Digest() const noexcept { return digest_; }
  int DigestSize() const noexcept { return HashDigestBits(id_) / 8; }

 private:
  using State = std::variant<std::monostate, Sha1, Md5, Sha256, Sha224, Sha512, Sha384,
                             Ripemd160, Md4, Md2, Md5Sha1, Keccak>;
  int Check() const noexcept;

  int id_ = 0;
  State state_;
  ByteBuffer digest_;
};

// One-shot digests written into out (replacing its content). 0 or 200.
int Md5Digest(const void* data, int len, ByteBuffer& out) noexcept;
int Md4Digest(const void* data, int len, ByteBuffer& out) noexcept;
int Sha256Digest(const void* data, int len, ByteBuffer& out) noexcept;

// Lower-case hexadecimal of bytes appended to out; 0 or 200.
int AppendHex(const void* data, int len, ByteBuffer& out) noexcept;

}  // namespace corvane
