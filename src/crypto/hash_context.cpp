#include "crypto/hash_context.h"

#include <cstring>

#include "core/error_codes.h"
#include "core/zero_memory.h"
#include "crypto/crypto_errors.h"

namespace corvane {

int Md5Sha1::Update(const void* data, size_t len) noexcept {
  md5_.Update(data, len);
  return sha1_.Update(data, len);
}

const uint8_t* Md5Sha1::Final() noexcept {
  const uint8_t* sha = sha1_.Final();
  if (sha == nullptr) return nullptr;
  std::memcpy(digest_ + 16, sha, 20);
  std::memcpy(digest_, md5_.Final(), 16);
  return digest_;
}

HashContext::~HashContext() { SecureWipe(&state_, sizeof state_); }

int HashContext::SetAlgorithm(int id) noexcept {
  id_ = id;
  switch (id) {
    case haSHA1: state_.emplace<Sha1>(); break;
    case haMD5: state_.emplace<Md5>(); break;
    case haSHA256: state_.emplace<Sha256>(); break;
    case haSHA224: state_.emplace<Sha224>(); break;
    case haSHA512: state_.emplace<Sha512>(); break;
    case haSHA384: state_.emplace<Sha384>(); break;
    case haRIPEMD160: state_.emplace<Ripemd160>(); break;
    case haMD4: state_.emplace<Md4>(); break;
    case haMD2: state_.emplace<Md2>(); break;
    case haMD5SHA1: state_.emplace<Md5Sha1>().Init(); break;
    case haKeccak224: state_.emplace<Keccak>(224); break;
    case haKeccak256: state_.emplace<Keccak>(256); break;
    case haKeccak384: state_.emplace<Keccak>(384); break;
    case haKeccak512: state_.emplace<Keccak>(512); break;
    default: state_.emplace<std::monostate>(); break;
  }
  return 0;
}

int HashContext::Check() const noexcept {
  if (id_ < 0 || id_ >= kHashAlgorithmCount) return kErrUnknownCipher;  // 2001
  if (std::holds_alternative<std::monostate>(state_)) return kErrOutOfMemory;
  return 0;
}

int HashContext::Update(const void* data, int len) noexcept {
  if (int rc = Check(); rc != 0) return rc;
  if (len <= 0) return 0;
  const size_t n = static_cast<size_t>(len);
  return std::visit(
      [&](auto& s) -> int {
        if constexpr (std::is_same_v<std::decay_t<decltype(s)>, std::monostate>) {
          return kErrOutOfMemory;
        } else {
          return s.Update(data, n);
        }
      },
      state_);
}

int HashContext::Final(uint8_t* out) noexcept {
  if (int rc = Check(); rc != 0) return rc;
  const int size = DigestSize();
  const uint8_t* digest = std::visit(
      [&](auto& s) -> const uint8_t* {
        using T = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return nullptr;
        } else {
          const uint8_t* d = s.Final();
          if (d != nullptr) std::memcpy(out, d, static_cast<size_t>(size));
          // Start the next message with the same algorithm.
          if constexpr (std::is_same_v<T, Keccak>) {
            s.Init(size * 8);
          } else {
            s.Init();
          }
          return d;
        }
      },
      state_);
  return digest == nullptr ? 1 : 0;
}

int HashContext::Final() noexcept {
  if (int rc = Check(); rc != 0) return rc;
  uint8_t out[128];
  int rc = Final(out);
  if (rc != 0) {
    digest_.Clear();
    return 0;  // an overflowed SHA-1 yields no digest
  }
  rc = digest_.Assign(out, DigestSize());
  SecureWipe(out, sizeof out);
  return rc;
}

namespace {

template <class H>
int OneShot(const void* data, int len, ByteBuffer& out) noexcept {
  H h;
  h.Update(data, len > 0 ? static_cast<size_t>(len) : 0);
  return out.Assign(h.Final(), H::kDigestSize);
}

}  // namespace

int Md5Digest(const void* data, int len, ByteBuffer& out) noexcept { return OneShot<Md5>(data, len, out); }
int Md4Digest(const void* data, int len, ByteBuffer& out) noexcept { return OneShot<Md4>(data, len, out); }
int Sha256Digest(const void* data, int len, ByteBuffer& out) noexcept {
  return OneShot<Sha256>(data, len, out);
}

int AppendHex(const void* data, int len, ByteBuffer& out) noexcept {
  static constexpr char kDigits[] = "0123456789abcdef";
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (len <= 0) return 0;
  if (len > (INT_MAX - out.size()) / 2) return kErrOutOfMemory;
  const int start = out.size();
  if (int rc = out.Resize(start + 2 * len); rc != 0) return rc;
  char* d = out.data() + start;
  for (int i = 0; i < len; ++i) {
    d[2 * i] = kDigits[p[i] >> 4];
    d[2 * i + 1] = kDigits[p[i] & 15];
  }
  return 0;
}

}  // namespace corvane
