#include "crypto/cipher_context.h"

#include <sys/random.h>

#include <cstring>
#include <random>

#include "core/error_codes.h"
#include "core/zero_memory.h"
#include "crypto/crypto_errors.h"

namespace corvane {
namespace {

// Forward/inverse block functions with one shape for every block cipher.
// Des and TripleDes carry a one-direction schedule, built for the direction
// the mode needs.
template <class C>
inline void Forward(const C& c, const uint8_t* in, uint8_t* out) {
  if constexpr (std::is_same_v<C, Des> || std::is_same_v<C, TripleDes>) {
    c.CryptBlock(in, out);
  } else {
    c.EncryptBlock(in, out);
  }
}
template <class C>
inline void Inverse(const C& c, const uint8_t* in, uint8_t* out) {
  if constexpr (std::is_same_v<C, Des> || std::is_same_v<C, TripleDes>) {
    c.CryptBlock(in, out);
  } else {
    c.DecryptBlock(in, out);
  }
}

template <class C>
constexpr bool kIsBlockCipher = !std::is_same_v<C, std::monostate> && !std::is_same_v<C, Rc4> &&
                                !std::is_same_v<C, Xxtea>;

void DefaultRandom(uint8_t* p, size_t n) {
  while (n != 0) {
    const ssize_t got = getrandom(p, n, 0);
    if (got <= 0) {
      // No kernel randomness: the pad bytes only need to be unpredictable
      // enough not to carry information, so fall back to a seeded PRNG.
      static thread_local std::minstd_rand fallback(static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
      for (; n != 0; --n) *p++ = static_cast<uint8_t>(fallback());
      return;
    }
    p += got;
    n -= static_cast<size_t>(got);
  }
}

}  // namespace

CipherContext::~CipherContext() {
  SecureWipe(&cipher_, sizeof cipher_);
  SecureWipe(register_, sizeof register_);
}

int CipherContext::NativeBlockSize() const noexcept {
  switch (algorithm_) {
    case caAES:
    case caAESWithIV:
    case caTwofish:
      return 16;
    case caRC4:
      return 1;
    case caXXTEA:
      return 8;  // padding granule; the cipher itself takes the whole buffer
    default:
      return 8;
  }
}

int CipherContext::SetKey(const void* key, int keyLength, const void* iv, int ivLength) noexcept {
  if (keyLength < 0) keyLength = 0;
  if (ivLength < 0) ivLength = 0;
  keyBits_ = keyLength * 8;
  if (int rc = key_.Assign(keyLength ? key : "", keyLength); rc != 0) return rc;
  if (int rc = iv_.Assign(ivLength ? iv : "", ivLength); rc != 0) return rc;
  const bool blockDecrypt = decrypt_ && (mode_ == cmCBC || mode_ == cmECB || mode_ == cmCBCCTS);
  return BuildSchedule(blockDecrypt);
}

int CipherContext::BuildSchedule(bool forDecrypt) noexcept {
  const uint8_t* k = reinterpret_cast<const uint8_t*>(key_.data());
  const size_t n = static_cast<size_t>(key_.size());
  bool ok = false;
  cipher_.emplace<std::monostate>();
  scheduleAlgorithm_ = -1;
  switch (algorithm_) {
    case caAES:
    case caAESWithIV: ok = cipher_.emplace<Aes>().SetKey(k, n); break;
    case caDES:
      ok = n == 8;
      if (ok) cipher_.emplace<Des>().SetKey(k, forDecrypt);
      break;
    case caTripleDES: ok = cipher_.emplace<TripleDes>().SetKey(k, n, forDecrypt); break;
    case caCAST128: ok = cipher_.emplace<Cast128>().SetKey(k, n); break;
    case caBlowfish: ok = cipher_.emplace<Blowfish>().SetKey(k, n); break;
    case caTwofish: ok = cipher_.emplace<Twofish>().SetKey(k, n); break;
    case caIDEA: ok = cipher_.emplace<Idea>().SetKey(k, n); break;
    case caRC4: ok = cipher_.emplace<Rc4>().SetKey(k, n); break;
    case caRC2: ok = cipher_.emplace<Rc2>().SetKey(k, n, effectiveBits_); break;
    case caTEA: ok = cipher_.emplace<Tea>().SetKey(k, n, false, rounds_); break;
    case caXTEA: ok = cipher_.emplace<Tea>().SetKey(k, n, true, rounds_); break;
    case caXXTEA: ok = cipher_.emplace<Xxtea>().SetKey(k, n); break;
    default: return kErrUnknownCipher;
  }
  if (!ok) {
    cipher_.emplace<std::monostate>();
    return kErrCipherKeyLength;
  }
  scheduleAlgorithm_ = algorithm_;
  scheduleForDecrypt_ = forDecrypt;
  // The chaining register starts from the IV (zeros where it is short).
  std::memset(register_, 0, sizeof register_);
  std::memcpy(register_, iv_.data(), static_cast<size_t>(iv_.size() < 16 ? iv_.size() : 16));
  streamPos_ = 0;
  return 0;
}

int CipherContext::Encrypt(const void* input, int offset, int length, ByteBuffer& output) noexcept {
  if (offset < 0 || length < 0) return kErrCipherBlockLength;
  return Run(false, static_cast<const uint8_t*>(input) + offset, length, output);
}

int CipherContext::Decrypt(const void* input, int offset, int length, ByteBuffer& output) noexcept {
  if (offset < 0 || length < 0) return kErrCipherBlockLength;
  return Run(true, static_cast<const uint8_t*>(input) + offset, length, output);
}

template <class C>
void CipherContext::RunBlockMode(const C& c, bool decrypt, const uint8_t* in, uint8_t* out,
                                 size_t len) noexcept {
  constexpr size_t b = C::kBlockSize;
  uint8_t* reg = register_;
  switch (mode_) {
    case cmECB:
      if constexpr (std::is_same_v<C, Aes>) {
        decrypt ? c.DecryptEcb(in, out, len / b) : c.EncryptEcb(in, out, len / b);
      } else {
        for (size_t i = 0; i < len; i += b) decrypt ? Inverse(c, in + i, out + i) : Forward(c, in + i, out + i);
      }
      return;
    case cmCBC:
      if constexpr (std::is_same_v<C, Aes>) {
        decrypt ? c.DecryptCbc(reg, in, out, len / b) : c.EncryptCbc(reg, in, out, len / b);
      } else if (!decrypt) {
        for (size_t i = 0; i < len; i += b) {
          uint8_t x[b];
          for (size_t j = 0; j < b; ++j) x[j] = in[i + j] ^ reg[j];
          Forward(c, x, out + i);
          std::memcpy(reg, out + i, b);
        }
      } else {
        for (size_t i = 0; i < len; i += b) {
          uint8_t saved[b], p[b];
          std::memcpy(saved, in + i, b);  // in and out may overlap
          Inverse(c, saved, p);
          for (size_t j = 0; j < b; ++j) out[i + j] = p[j] ^ reg[j];
          std::memcpy(reg, saved, b);
        }
      }
      return;
    case cmOFB:
      if (feedbackBits_ == 8) {
        for (size_t i = 0; i < len; ++i) {
          uint8_t t[b];
          Forward(c, reg, t);
          std::memmove(reg, reg + 1, b - 1);
          reg[b - 1] = t[0];
          out[i] = in[i] ^ t[0];
        }
        return;
      }
      for (size_t i = 0; i < len; ++i) {
        if (streamPos_ == 0) Forward(c, reg, reg);
        out[i] = in[i] ^ reg[streamPos_];
        streamPos_ = (streamPos_ + 1) % static_cast<int>(b);
      }
      return;
    case cmCFB:
      if (feedbackBits_ == 8) {
        for (size_t i = 0; i < len; ++i) {
          uint8_t t[b];
          Forward(c, reg, t);
          const uint8_t x = in[i];
          const uint8_t y = x ^ t[0];
          std::memmove(reg, reg + 1, b - 1);
          reg[b - 1] = decrypt ? x : y;
          out[i] = y;
        }
        return;
      }
      // The register holds E(previous ciphertext) and is overwritten byte by
      // byte with the new ciphertext, so a block may span calls.
      for (size_t i = 0; i < len; ++i) {
        if (streamPos_ == 0) Forward(c, reg, reg);
        const uint8_t x = in[i];
        const uint8_t y = x ^ reg[streamPos_];
        reg[streamPos_] = decrypt ? x : y;
        out[i] = y;
        streamPos_ = (streamPos_ + 1) % static_cast<int>(b);
      }
      return;
    default:
      return;
  }
}

int CipherContext::Run(bool decrypt, const uint8_t* in, int length, ByteBuffer& output) noexcept {
  if (algorithm_ < caAES || algorithm_ > caAESWithIV) return kErrUnknownCipher;
  const bool stream = algorithm_ == caRC4;
  const bool whole = algorithm_ == caXXTEA;
  if (!stream && !whole && mode_ != cmCBC && mode_ != cmECB && mode_ != cmOFB && mode_ != cmCFB) {
    return kErrUnknownCipherMode;
  }
  const bool blockMode = !stream && (whole || mode_ == cmCBC || mode_ == cmECB);
  // Rebuild the schedule when the algorithm or the direction changed since SetKey.
  const bool wantDecryptSchedule = decrypt && blockMode;
  if (scheduleAlgorithm_ != algorithm_ || scheduleForDecrypt_ != wantDecryptSchedule) {
    if (scheduleAlgorithm_ < 0 && key_.empty()) return kErrOutOfMemory;
    uint8_t keep[16];
    std::memcpy(keep, register_, 16);
    const int keepPos = streamPos_;
    const bool sameAlgorithm = scheduleAlgorithm_ == algorithm_;
    if (int rc = BuildSchedule(wantDecryptSchedule); rc != 0) return rc;
    if (sameAlgorithm) {
      std::memcpy(register_, keep, 16);  // a direction switch keeps the chain
      streamPos_ = keepPos;
    }
  }
  if (std::holds_alternative<std::monostate>(cipher_)) return kErrOutOfMemory;

  const int block = NativeBlockSize();
  const bool padded = blockMode && padding_ >= cpPKCS7 && padding_ <= cpISO10126;
  if (whole) {
    // XXTEA takes any whole number of (at least two) 32-bit words.
    if ((!padded || decrypt) && (length % 4 != 0 || length < 8)) return kErrCipherBlockLength;
  } else if (blockMode && (!padded || decrypt) && length % block != 0) {
    return kErrCipherBlockLength;
  }
  int pad = 0;
  if (padded && !decrypt) pad = block - length % block;
  if (length > INT_MAX - pad - output.size()) return kErrOutOfMemory;

  const int start = output.size();
  const int total = length + pad;
  // Room only: every byte is written by the cipher before it is committed,
  // so zero-filling it first would be a wasted pass over the output.
  if (int rc = output.Reserve(start + total); rc != 0) return rc;
  uint8_t* out = reinterpret_cast<uint8_t*>(output.data()) + start;

  // Whole blocks go straight from the input; a padded tail is built in a
  // small block of its own and processed after them.
  const int body = padded && !decrypt ? length - length % block : length;
  uint8_t tail[16] = {};
  if (pad != 0) {
    const int rest = length - body;
    std::memcpy(tail, in + body, static_cast<size_t>(rest));
    uint8_t* p = tail + rest;
    switch (padding_) {
      case cpPKCS7: std::memset(p, pad, static_cast<size_t>(pad)); break;
      case cpZeros: std::memset(p, 0, static_cast<size_t>(pad)); break;
      case cpANSIX923:
        std::memset(p, 0, static_cast<size_t>(pad));
        p[pad - 1] = static_cast<uint8_t>(pad);
        break;
      case cpISO10126:
        if (random_) random_(p, static_cast<size_t>(pad));
        else DefaultRandom(p, static_cast<size_t>(pad));
        p[pad - 1] = static_cast<uint8_t>(pad);
        break;
      default: break;
    }
  }

  int rc = 0;
  std::visit(
      [&](auto& c) {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, Rc4>) {
          c.Process(in, out, static_cast<size_t>(length));
        } else if constexpr (std::is_same_v<C, Xxtea>) {
          std::memcpy(out, in, static_cast<size_t>(body));
          if (pad != 0) std::memcpy(out + body, tail, static_cast<size_t>(block));
          const bool ok = decrypt ? c.Decrypt(out, static_cast<size_t>(total))
                                  : c.Encrypt(out, static_cast<size_t>(total));
          if (!ok) rc = kErrCipherBlockLength;
        } else if constexpr (kIsBlockCipher<C>) {
          RunBlockMode(c, decrypt, in, out, static_cast<size_t>(body));
          if (pad != 0) RunBlockMode(c, decrypt, tail, out + body, static_cast<size_t>(block));
        }
      },
      cipher_);
  SecureWipe(tail, sizeof tail);
  if (rc != 0) return rc;
  output.CommitAppended(total);

  if (decrypt && padded) {
    int drop = 0;
    if (padding_ == cpZeros) {
      while (drop < total && out[total - 1 - drop] == 0) ++drop;
    } else if (total > 0) {
      drop = static_cast<int8_t>(out[total - 1]);
      if (drop < 0 || drop > total) {
        output.Resize(start);
        return kErrCipherPadding;
      }
    }
    output.Resize(start + total - drop);
  }
  return 0;
}

}  // namespace corvane
