#include "crypto/argon2.h"

#include <cstring>
#include <memory>
#include <new>

#include "core/zero_memory.h"
#include "crypto/blake2b.h"
#include "crypto/byte_order.h"

namespace corvane {

namespace {

using detail::LoadLe64;
using detail::Rotr64;
using detail::StoreLe32;
using detail::StoreLe64;

constexpr uint32_t kVersion = 0x13;
constexpr int kBlockWords = 128;  // 1 KiB
constexpr uint32_t kSyncPoints = 4;

struct Block {
  uint64_t v[kBlockWords];
};

// BLAKE2b's mixing with the multiplications that make Argon2 costly to
// shortcut in hardware (RFC 9106 3.6).
inline uint64_t MulAdd(uint64_t x, uint64_t y) noexcept {
  constexpr uint64_t kLow = 0xFFFFFFFFu;
  return x + y + 2 * (x & kLow) * (y & kLow);
}

inline void Mix(uint64_t& a, uint64_t& b, uint64_t& c, uint64_t& d) noexcept {
  a = MulAdd(a, b);
  d = Rotr64(d ^ a, 32);
  c = MulAdd(c, d);
  b = Rotr64(b ^ c, 24);
  a = MulAdd(a, b);
  d = Rotr64(d ^ a, 16);
  c = MulAdd(c, d);
  b = Rotr64(b ^ c, 63);
}

// The permutation P over sixteen words given by their positions in the block.
inline void Permute(uint64_t* w, const int (&i)[16]) noexcept {
  Mix(w[i[0]], w[i[4]], w[i[8]], w[i[12]]);
  Mix(w[i[1]], w[i[5]], w[i[9]], w[i[13]]);
  Mix(w[i[2]], w[i[6]], w[i[10]], w[i[14]]);
  Mix(w[i[3]], w[i[7]], w[i[11]], w[i[15]]);
  Mix(w[i[0]], w[i[5]], w[i[10]], w[i[15]]);
  Mix(w[i[1]], w[i[6]], w[i[11]], w[i[12]]);
  Mix(w[i[2]], w[i[7]], w[i[8]], w[i[13]]);
  Mix(w[i[3]], w[i[4]], w[i[9]], w[i[14]]);
}

// The compression G: the block seen as 8x8 16-byte registers, P over each
// row, then over each column. With xorInto the result is XORed into next
// (passes after the first, version 1.3).
void Compress(const Block& x, const Block& y, Block& next, bool xorInto) noexcept {
  Block r;
  Block z;
  for (int k = 0; k < kBlockWords; ++k) r.v[k] = x.v[k] ^ y.v[k];
  z = r;
  for (int row = 0; row < 8; ++row) {
    int i[16];
    for (int k = 0; k < 16; ++k) i[k] = 16 * row + k;
    Permute(z.v, i);
  }
  for (int col = 0; col < 8; ++col) {
    int i[16];
    for (int k = 0; k < 8; ++k) {
      i[2 * k] = 2 * col + 16 * k;
      i[2 * k + 1] = 2 * col + 16 * k + 1;
    }
    Permute(z.v, i);
  }
  for (int k = 0; k < kBlockWords; ++k) {
    uint64_t out = z.v[k] ^ r.v[k];
    next.v[k] = xorInto ? next.v[k] ^ out : out;
  }
}

// H': BLAKE2b stretched to any output length (RFC 9106 3.3).
void HashLong(uint8_t* out, uint32_t outLength, const uint8_t* in, size_t inLength) noexcept {
  uint8_t prefix[4];
  StoreLe32(prefix, outLength);
  if (outLength <= 64) {
    Blake2b h(static_cast<int>(outLength));
    h.Update(prefix, 4);
    h.Update(in, inLength);
    std::memcpy(out, h.Final(), outLength);
    return;
  }
  uint8_t v[64];
  Blake2b h(64);
  h.Update(prefix, 4);
  h.Update(in, inLength);
  std::memcpy(v, h.Final(), 64);
  std::memcpy(out, v, 32);
  out += 32;
  uint32_t remaining = outLength - 32;
  while (remaining > 64) {
    Blake2b next(64);
    next.Update(v, 64);
    std::memcpy(v, next.Final(), 64);
    std::memcpy(out, v, 32);
    out += 32;
    remaining -= 32;
  }
  Blake2b last(static_cast<int>(remaining));
  last.Update(v, 64);
  std::memcpy(out, last.Final(), remaining);
}

void AppendLengthPrefixed(Blake2b& h, std::string_view text) noexcept {
  uint8_t length[4];
  StoreLe32(length, static_cast<uint32_t>(text.size()));
  h.Update(length, 4);
  h.Update(text.data(), text.size());
}

class Filler {
 public:
  Filler(const Argon2Params& p, Block* memory, uint32_t blocks)
      : p_(p), memory_(memory), blocks_(blocks), segment_(blocks / (p.lanes * kSyncPoints)),
        lane_(segment_ * kSyncPoints) {}

  void Run() noexcept {
    for (uint32_t pass = 0; pass < p_.passes; ++pass) {
      for (uint32_t slice = 0; slice < kSyncPoints; ++slice) {
        for (uint32_t lane = 0; lane < p_.lanes; ++lane) FillSegment(pass, slice, lane);
      }
    }
  }
  uint32_t LaneLength() const noexcept { return lane_; }

 private:
  // The position, within the reference lane, that J1 picks among the blocks
  // the current one may refer to (RFC 9106 3.4.2).
  uint32_t ReferenceIndex(uint32_t pass, uint32_t slice, uint32_t index, uint32_t j1, bool sameLane) const noexcept {
    uint64_t area;
    if (pass == 0) {
      if (slice == 0) {
        area = index - 1;
      } else if (sameLane) {
        area = uint64_t{slice} * segment_ + index - 1;
      } else {
        area = uint64_t{slice} * segment_ - (index == 0 ? 1 : 0);
      }
    } else if (sameLane) {
      area = uint64_t{lane_} - segment_ + index - 1;
    } else {
      area = uint64_t{lane_} - segment_ - (index == 0 ? 1 : 0);
    }
    uint64_t x = (uint64_t{j1} * j1) >> 32;
    uint64_t relative = area - 1 - ((area * x) >> 32);
    uint64_t start = pass != 0 && slice != kSyncPoints - 1 ? uint64_t{slice + 1} * segment_ : 0;
    return static_cast<uint32_t>((start + relative) % lane_);
  }

  void NextAddresses(Block& input, Block& address) const noexcept {
    const Block zero{};
    Block once;
    ++input.v[6];
    Compress(zero, input, once, false);
    Compress(zero, once, address, false);
  }

  void FillSegment(uint32_t pass, uint32_t slice, uint32_t lane) noexcept {
    const bool independent = p_.type == Argon2Type::argon2i ||
                             (p_.type == Argon2Type::argon2id && pass == 0 && slice < kSyncPoints / 2);
    Block input{};
    Block address{};
    if (independent) {
      input.v[0] = pass;
      input.v[1] = lane;
      input.v[2] = slice;
      input.v[3] = blocks_;
      input.v[4] = p_.passes;
      input.v[5] = static_cast<uint64_t>(p_.type);
    }
    // The first two blocks of each lane come from H0.
    const uint32_t first = pass == 0 && slice == 0 ? 2 : 0;
    if (independent && first != 0) NextAddresses(input, address);
    for (uint32_t index = first; index < segment_; ++index) {
      const uint32_t current = lane * lane_ + slice * segment_ + index;
      const uint32_t previous = current % lane_ == 0 ? current + lane_ - 1 : current - 1;
      uint64_t random;
      if (independent) {
        if (index % kBlockWords == 0) NextAddresses(input, address);
        random = address.v[index % kBlockWords];
      } else {
        random = memory_[previous].v[0];
      }
      uint32_t refLane = static_cast<uint32_t>((random >> 32) % p_.lanes);
      if (pass == 0 && slice == 0) refLane = lane;
      uint32_t refIndex = ReferenceIndex(pass, slice, index, static_cast<uint32_t>(random), refLane == lane);
      Compress(memory_[previous], memory_[refLane * lane_ + refIndex], memory_[current], pass != 0);
    }
  }

  const Argon2Params& p_;
  Block* memory_;
  uint32_t blocks_;
  uint32_t segment_;
  uint32_t lane_;
};

}  // namespace

bool Argon2(const Argon2Params& p, uint8_t* out, uint32_t tagLength) {
  if (tagLength < 4 || p.passes < 1 || p.lanes < 1 || p.lanes > 0xFFFFFF || p.memoryKiB < 8 * p.lanes ||
      p.memoryKiB > kArgon2MaxMemoryKiB || uint64_t{p.memoryKiB} * p.passes > kArgon2MaxWorkKiB ||
      p.password.size() > 0xFFFFFFFFu || p.salt.size() < 8) {
    return false;
  }
  const uint32_t blocks = p.memoryKiB / (kSyncPoints * p.lanes) * (kSyncPoints * p.lanes);
  std::unique_ptr<Block[]> memory(new (std::nothrow) Block[blocks]);
  if (!memory) return false;

  uint8_t h0[64 + 8];
  {
    Blake2b h(64);
    uint8_t word[4];
    for (uint32_t value : {p.lanes, tagLength, p.memoryKiB, p.passes, kVersion, static_cast<uint32_t>(p.type)}) {
      StoreLe32(word, value);
      h.Update(word, 4);
    }
    AppendLengthPrefixed(h, p.password);
    AppendLengthPrefixed(h, p.salt);
    AppendLengthPrefixed(h, p.secret);
    AppendLengthPrefixed(h, p.associated);
    std::memcpy(h0, h.Final(), 64);
  }
  Filler filler(p, memory.get(), blocks);
  const uint32_t laneLength = filler.LaneLength();
  uint8_t bytes[1024];
  for (uint32_t lane = 0; lane < p.lanes; ++lane) {
    for (uint32_t i = 0; i < 2; ++i) {
      StoreLe32(h0 + 64, i);
      StoreLe32(h0 + 68, lane);
      HashLong(bytes, sizeof bytes, h0, sizeof h0);
      Block& b = memory[lane * laneLength + i];
      for (int k = 0; k < kBlockWords; ++k) b.v[k] = LoadLe64(bytes + 8 * k);
    }
  }
  filler.Run();

  Block final = memory[laneLength - 1];
  for (uint32_t lane = 1; lane < p.lanes; ++lane) {
    const Block& last = memory[lane * laneLength + laneLength - 1];
    for (int k = 0; k < kBlockWords; ++k) final.v[k] ^= last.v[k];
  }
  for (int k = 0; k < kBlockWords; ++k) StoreLe64(bytes + 8 * k, final.v[k]);
  HashLong(out, tagLength, bytes, sizeof bytes);

  // The blocks are derived from the password.
  SecureWipe(memory.get(), sizeof(Block) * blocks);
  SecureWipe(bytes, sizeof bytes);
  SecureWipe(h0, sizeof h0);
  SecureWipe(&final, sizeof final);
  return true;
}

}  // namespace corvane
