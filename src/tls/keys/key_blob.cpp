#include "tls/keys/key_blob.h"

#include <initializer_list>

#include "core/byte_reader.h"
#include "crypto/big_integer.h"
#include "tls/keys/der.h"

namespace corvane::keys {

namespace {

constexpr uint8_t kPrivateKeyBlob = 7;
constexpr uint32_t kAlgRsaKeyx = 0x0000A400;
constexpr uint32_t kAlgDssSign = 0x00002200;
constexpr uint32_t kMagicRsa2 = 0x32415352;  // "RSA2"
constexpr uint32_t kMagicDss4 = 0x34535344;  // "DSS4"

void PutLe32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

// A big-endian integer written little-endian into a field of size bytes.
bool PutField(std::string& out, std::string_view bigEndian, size_t size) {
  std::string_view v = StripZeros(bigEndian);
  if (v.size() > size) return false;
  for (size_t i = 0; i < v.size(); ++i) out += v[v.size() - 1 - i];
  out.append(size - v.size(), '\0');
  return true;
}

bool GetField(ByteReader& r, size_t size, std::string& bigEndian) {
  std::string_view le;
  if (!r.Bytes(size, le)) return false;
  bigEndian.assign(le.rbegin(), le.rend());
  bigEndian.assign(StripZeros(bigEndian));
  return true;
}

// The blob header: type, version, two reserved bytes, algorithm, magic.
void PutHeader(std::string& out, uint8_t version, uint32_t alg, uint32_t magic) {
  out += static_cast<char>(kPrivateKeyBlob);
  out += static_cast<char>(version);
  out.append(2, '\0');
  PutLe32(out, alg);
  PutLe32(out, magic);
}

bool Header(ByteReader& r, uint8_t version, uint32_t alg, uint32_t magic) {
  uint8_t type = 0, ver = 0;
  uint16_t reserved = 0;
  uint32_t a = 0, m = 0;
  return r.U8(type) && r.U8(ver) && r.U16Le(reserved) && r.U32Le(a) && r.U32Le(m) &&
         type == kPrivateKeyBlob && ver == version && a == alg && m == magic;
}

BigInteger Big(std::string_view v) { return BigInteger::FromBytes(v); }

// Keys beyond 16384 bits are not in use anywhere; refusing them bounds the
// arithmetic a hostile file can ask for.
constexpr size_t kMaxKeyBytes = 2048;

bool WithinLimit(std::initializer_list<const std::string*> parts) {
  for (const std::string* part : parts) {
    if (StripZeros(*part).size() > kMaxKeyBytes) return false;
  }
  return true;
}

}  // namespace

bool CompleteRsa(RsaKey& key) {
  for (const std::string* part : {&key.n, &key.e, &key.d, &key.p, &key.q, &key.qinv}) {
    if (StripZeros(*part).empty()) return false;
  }
  if (!WithinLimit({&key.n, &key.e, &key.d, &key.p, &key.q, &key.dp, &key.dq, &key.qinv})) return false;
  BigInteger p = Big(key.p), q = Big(key.q), d = Big(key.d);
  if (!(BigInteger::Mul(p, q) == Big(key.n))) return false;
  BigInteger r;
  if (StripZeros(key.dp).empty()) {
    BigInteger::DivMod(d, BigInteger::Sub(p, BigInteger(1)), nullptr, &r);
    key.dp = r.ToBytes();
  }
  if (StripZeros(key.dq).empty()) {
    BigInteger::DivMod(d, BigInteger::Sub(q, BigInteger(1)), nullptr, &r);
    key.dq = r.ToBytes();
  }
  // The coefficient must be q^-1 mod p; some formats carry p^-1 mod q, which
  // is the same key with the primes swapped.
  BigInteger check;
  BigInteger::DivMod(BigInteger::Mul(Big(key.qinv), q), p, nullptr, &check);
  if (!(check == BigInteger(1))) {
    BigInteger::DivMod(BigInteger::Mul(Big(key.qinv), p), q, nullptr, &check);
    if (!(check == BigInteger(1))) return false;
    std::swap(key.p, key.q);
    std::swap(key.dp, key.dq);
  }
  return true;
}

bool CompleteDsa(DsaKey& key) {
  for (const std::string* part : {&key.p, &key.q, &key.g, &key.x}) {
    if (StripZeros(*part).empty()) return false;
  }
  if (!WithinLimit({&key.p, &key.q, &key.g, &key.y, &key.x})) return false;
  BigInteger y = BigInteger::PowMod(Big(key.g), Big(key.x), Big(key.p));
  if (StripZeros(key.y).empty()) {
    key.y = y.ToBytes();
    return true;
  }
  return y == Big(key.y);
}

bool BuildRsaBlob(const RsaKey& key, std::string& blob) {
  std::string_view e = StripZeros(key.e);
  size_t modulusBytes = StripZeros(key.n).size();
  if (e.size() > 4 || modulusBytes == 0) return false;
  uint32_t bits = static_cast<uint32_t>((8 * modulusBytes + 8) / 512 * 512);
  if (bits < 8 * modulusBytes) bits = static_cast<uint32_t>(8 * modulusBytes + 15) / 16 * 16;
  uint32_t exponent = 0;
  for (char c : e) exponent = (exponent << 8) | static_cast<uint8_t>(c);
  blob.clear();
  PutHeader(blob, 2, kAlgRsaKeyx, kMagicRsa2);
  PutLe32(blob, bits);
  PutLe32(blob, exponent);
  size_t full = bits / 8, half = bits / 16;
  return PutField(blob, key.n, full) && PutField(blob, key.p, half) && PutField(blob, key.q, half) &&
         PutField(blob, key.dp, half) && PutField(blob, key.dq, half) && PutField(blob, key.qinv, half) &&
         PutField(blob, key.d, full);
}

bool ParseRsaBlob(std::string_view blob, RsaKey& key) {
  ByteReader r(blob);
  uint32_t bits = 0, exponent = 0;
  if (!Header(r, 2, kAlgRsaKeyx, kMagicRsa2) || !r.U32Le(bits) || !r.U32Le(exponent) || bits % 16 != 0) {
    return false;
  }
  size_t full = bits / 8, half = bits / 16;
  key = RsaKey{};
  for (int i = 3; i >= 0; --i) key.e += static_cast<char>(exponent >> (8 * i));
  key.e.assign(StripZeros(key.e));
  return GetField(r, full, key.n) && GetField(r, half, key.p) && GetField(r, half, key.q) &&
         GetField(r, half, key.dp) && GetField(r, half, key.dq) && GetField(r, half, key.qinv) &&
         GetField(r, full, key.d) && r.AtEnd();
}

bool BuildDssBlob(const DsaKey& key, std::string& blob) {
  if (!WithinLimit({&key.p, &key.q})) return false;
  BigInteger p = Big(key.p), q = Big(key.q), j;
  if (q.IsZero() || !BigInteger::DivMod(BigInteger::Sub(p, BigInteger(1)), q, &j, nullptr)) return false;
  auto bitsP = static_cast<uint32_t>((p.BitLength() + 7) / 8 * 8);
  auto bitsQ = static_cast<uint32_t>((q.BitLength() + 7) / 8 * 8);
  auto bitsJ = static_cast<uint32_t>(j.BitLength());
  blob.clear();
  PutHeader(blob, 3, kAlgDssSign, kMagicDss4);
  PutLe32(blob, bitsP);
  PutLe32(blob, bitsQ);
  PutLe32(blob, bitsJ);
  PutLe32(blob, 0xFFFFFFFF);  // no seed: the key files do not keep one
  blob.append(20, '\0');
  size_t lenP = bitsP / 8, lenQ = bitsQ / 8, lenJ = (bitsJ + 7) / 8;
  return PutField(blob, key.p, lenP) && PutField(blob, key.q, lenQ) && PutField(blob, key.g, lenP) &&
         PutField(blob, j.ToBytes(), lenJ) && PutField(blob, key.y, lenP) && PutField(blob, key.x, lenQ);
}

bool ParseDssBlob(std::string_view blob, DsaKey& key) {
  ByteReader r(blob);
  uint32_t bitsP = 0, bitsQ = 0, bitsJ = 0, counter = 0;
  if (!Header(r, 3, kAlgDssSign, kMagicDss4) || !r.U32Le(bitsP) || !r.U32Le(bitsQ) || !r.U32Le(bitsJ) ||
      !r.U32Le(counter) || !r.Skip(20)) {
    return false;
  }
  size_t lenP = bitsP / 8, lenQ = bitsQ / 8, lenJ = (bitsJ + 7) / 8;
  std::string j;
  key = DsaKey{};
  return GetField(r, lenP, key.p) && GetField(r, lenQ, key.q) && GetField(r, lenP, key.g) &&
         GetField(r, lenJ, j) && GetField(r, lenP, key.y) && GetField(r, lenQ, key.x) && r.AtEnd();
}

}  // namespace corvane::keys
