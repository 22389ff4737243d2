#include "crypto/big_integer.h"

namespace corvane {

BigInteger BigInteger::FromBytes(std::string_view bytes) {
  BigInteger r;
  r.words_.assign((bytes.size() + 3) / 4, 0);
  for (size_t i = 0; i < bytes.size(); ++i) {
    size_t fromEnd = bytes.size() - 1 - i;
    r.words_[fromEnd / 4] |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (8 * (fromEnd % 4));
  }
  r.Trim();
  return r;
}

std::string BigInteger::ToBytes() const {
  std::string out;
  size_t n = (BitLength() + 7) / 8;
  out.resize(n);
  for (size_t i = 0; i < n; ++i) {
    out[n - 1 - i] = static_cast<char>(words_[i / 4] >> (8 * (i % 4)));
  }
  return out;
}

size_t BigInteger::BitLength() const noexcept {
  if (words_.empty()) return 0;
  uint32_t top = words_.back();
  size_t bits = 32 * (words_.size() - 1);
  while (top != 0) {
    ++bits;
    top >>= 1;
  }
  return bits;
}

int BigInteger::Compare(const BigInteger& other) const noexcept {
  if (words_.size() != other.words_.size()) return words_.size() < other.words_.size() ? -1 : 1;
  for (size_t i = words_.size(); i-- > 0;) {
    if (words_[i] != other.words_[i]) return words_[i] < other.words_[i] ? -1 : 1;
  }
  return 0;
}

BigInteger BigInteger::Sub(const BigInteger& a, const BigInteger& b) {
  if (a.Compare(b) < 0) return {};
  BigInteger r = a;
  uint64_t borrow = 0;
  for (size_t i = 0; i < r.words_.size(); ++i) {
    uint64_t sub = borrow + (i < b.words_.size() ? b.words_[i] : 0);
    uint64_t cur = r.words_[i];
    borrow = cur < sub ? 1 : 0;
    r.words_[i] = static_cast<uint32_t>(cur - sub);
  }
  r.Trim();
  return r;
}

BigInteger BigInteger::Mul(const BigInteger& a, const BigInteger& b) {
  BigInteger r;
  if (a.IsZero() || b.IsZero()) return r;
  r.words_.assign(a.words_.size() + b.words_.size(), 0);
  for (size_t i = 0; i < a.words_.size(); ++i) {
    uint64_t carry = 0;
    for (size_t j = 0; j < b.words_.size(); ++j) {
      uint64_t cur = static_cast<uint64_t>(a.words_[i]) * b.words_[j] + r.words_[i + j] + carry;
      r.words_[i + j] = static_cast<uint32_t>(cur);
      carry = cur >> 32;
    }
    r.words_[i + b.words_.size()] = static_cast<uint32_t>(carry);
  }
  r.Trim();
  return r;
}

// Binary long division: one shift and at most one subtraction per bit of a.
// Key sizes keep this well under a millisecond for the CRT exponents.
bool BigInteger::DivMod(const BigInteger& a, const BigInteger& m, BigInteger* quotient,
                        BigInteger* remainder) {
  if (m.IsZero()) return false;
  BigInteger q, r;
  size_t bits = a.BitLength();
  if (quotient != nullptr) q.words_.assign(a.words_.size(), 0);
  r.words_.reserve(m.words_.size() + 1);
  for (size_t i = bits; i-- > 0;) {
    // r = 2r + bit
    uint32_t carry = a.Bit(i) ? 1U : 0U;
    for (auto& w : r.words_) {
      uint32_t next = w >> 31;
      w = (w << 1) | carry;
      carry = next;
    }
    if (carry != 0) r.words_.push_back(carry);
    if (r.Compare(m) >= 0) {
      r = Sub(r, m);
      if (quotient != nullptr) q.words_[i / 32] |= 1U << (i % 32);
    }
  }
  if (quotient != nullptr) {
    q.Trim();
    *quotient = std::move(q);
  }
  if (remainder != nullptr) *remainder = std::move(r);
  return true;
}

BigInteger BigInteger::PowMod(const BigInteger& base, const BigInteger& exponent, const BigInteger& m) {
  BigInteger result(1), b;
  if (!DivMod(base, m, nullptr, &b)) return {};
  DivMod(result, m, nullptr, &result);
  for (size_t i = exponent.BitLength(); i-- > 0;) {
    DivMod(Mul(result, result), m, nullptr, &result);
    if (exponent.Bit(i)) DivMod(Mul(result, b), m, nullptr, &result);
  }
  return result;
}

}  // namespace corvane
