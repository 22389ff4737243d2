#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <variant>

#include "core/byte_buffer.h"
#include "crypto/aes.h"
#include "crypto/blowfish.h"
#include "crypto/cast128.h"
#include "crypto/des.h"
#include "crypto/idea.h"
#include "crypto/rc2.h"
#include "crypto/rc4.h"
#include "crypto/tea.h"
#include "crypto/twofish.h"

namespace corvane {

enum CipherAlgorithm : int {
  caAES = 0,
  caDES = 1,
  caTripleDES = 2,  // EDE; a 16-byte key is K1 K2 K1
  caCAST128 = 3,
  caBlowfish = 4,
  caTwofish = 5,
  caIDEA = 6,
  caRC4 = 7,
  caRC2 = 8,
  caTEA = 9,
  caXTEA = 10,
  caXXTEA = 11,  // the whole message is one block
  caAESWithIV = 12,  // AES; the IV comes with the key as for every algorithm
};

enum CipherMode : int {
  cmCBC = 1,
  cmECB = 2,
  cmOFB = 3,  // full-block feedback, or 8-bit with a feedback size of 8
  cmCFB = 4,  // full-block feedback, or 8-bit with a feedback size of 8
  cmCBCCTS = 5,  // ciphertext stealing: not provided, reported as unknown
};

enum CipherPadding : int {
  cpNone = 1,
  cpPKCS7 = 2,
  cpZeros = 3,
  cpANSIX923 = 4,
  cpISO10126 = 5,
};

// Symmetric encryption of byte buffers with one algorithm, mode and padding.
// The chaining register carries over between calls, so a message can be
// processed in pieces (whole blocks per call in CBC and ECB without padding;
// any length in OFB, CFB and RC4).
//
// Codes: 2001 unknown algorithm, 2002 unknown mode, 2003 length not a
// multiple of the block, 2004 padding longer than the data, 2005 key length
// the algorithm does not take, 200 no key set or out of memory.
class CipherContext {
 public:
  // Fills n bytes with random data (ISO 10126 padding); tests pass a fixed one.
  using RandomSource = std::function<void(uint8_t* p, size_t n)>;

  CipherContext() noexcept = default;
  ~CipherContext();
  CipherContext(const CipherContext&) = delete;
  CipherContext& operator=(const CipherContext&) = delete;

  // Settings take effect at the next SetKey.
  void SetAlgorithm(int id) noexcept { algorithm_ = id; }
  void SetMode(int mode) noexcept { mode_ = mode; }
  void SetPadding(int padding) noexcept { padding_ = padding; }
  void SetFeedbackSize(int bits) noexcept { feedbackBits_ = bits; }
  // Kept for callers that set it; the modes always use the algorithm's own
  // block size.
  void SetBlockSize(int bits) noexcept { blockBits_ = bits; }
  // Direction the key schedule is built for; a call in the other direction
  // rebuilds it.
  void SetDecrypting(bool decrypt) noexcept { decrypt_ = decrypt; }
  // TEA and XTEA Feistel rounds (default 64, i.e. 32 cycles).
  void SetRounds(int rounds) noexcept { rounds_ = rounds; }
  // RC2 effective key bits (RFC 2268); 0 means the key length.
  void SetEffectiveKeyBits(int bits) noexcept { effectiveBits_ = bits; }
  void SetRandomSource(RandomSource source) { random_ = std::move(source); }

  int Algorithm() const noexcept { return algorithm_; }
  int Mode() const noexcept { return mode_; }
  int Padding() const noexcept { return padding_; }
  int KeySize() const noexcept { return keyBits_; }
  int BlockSize() const noexcept { return blockBits_; }
  int FeedbackSize() const noexcept { return feedbackBits_; }

  int SetKey(const void* key, int keyLength, const void* iv, int ivLength) noexcept;
  int Encrypt(const void* input, int offset, int length, ByteBuffer& output) noexcept;
  int Decrypt(const void* input, int offset, int length, ByteBuffer& output) noexcept;

 private:
  using Cipher = std::variant<std::monostate, Aes, Des, TripleDes, Cast128, Blowfish, Twofish, Idea,
                              Rc4, Rc2, Tea, Xxtea>;

  int BuildSchedule(bool forDecrypt) noexcept;
  int NativeBlockSize() const noexcept;
  int Run(bool decrypt, const uint8_t* in, int length, ByteBuffer& output) noexcept;
  template <class C>
  void RunBlockMode(const C& cipher, bool decrypt, const uint8_t* in, uint8_t* out, size_t len) noexcept;

  int algorithm_ = caAES;
  int keyBits_ = 256;
  int blockBits_ = 128;
  int mode_ = cmCBC;
  int padding_ = cpNone;
  int feedbackBits_ = 0;
  int rounds_ = 64;
  int effectiveBits_ = 0;
  bool decrypt_ = false;

  ByteBuffer key_;
  ByteBuffer iv_;
  Cipher cipher_;
  int scheduleAlgorithm_ = -1;
  bool scheduleForDecrypt_ = false;
  alignas(16) uint8_t register_[16] = {};
  int streamPos_ = 0;  // bytes of the current OFB/CFB keystream block used
  RandomSource random_;
};

}  // namespace corvane
