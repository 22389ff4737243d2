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

// Long division on 32-bit digits (Knuth, TAOCP vol. 2, 4.3.1, Algorithm D):
// one estimated quotient digit per word of a, corrected at most twice.
bool BigInteger::DivMod(const BigInteger& a, const BigInteger& m, BigInteger* quotient,
                        BigInteger* remainder) {
  if (m.IsZero()) return false;
  BigInteger q, r;
  if (a.Compare(m) < 0) {
    r = a;
  } else if (m.words_.size() == 1) {
    uint64_t d = m.words_[0], rest = 0;
    q.words_.assign(a.words_.size(), 0);
    for (size_t i = a.words_.size(); i-- > 0;) {
      uint64_t cur = (rest << 32) | a.words_[i];
      q.words_[i] = static_cast<uint32_t>(cur / d);
      rest = cur % d;
    }
    r = BigInteger(static_cast<uint32_t>(rest));
  } else {
    size_t n = m.words_.size(), len = a.words_.size();
    int shift = 0;
    for (uint32_t top = m.words_.back(); (top & 0x80000000U) == 0; top <<= 1) ++shift;
    // Normalised so the divisor's top bit is set; u gets one extra word.
    std::vector<uint32_t> v(n), u(len + 1);
    for (size_t i = n; i-- > 0;) {
      uint64_t w = static_cast<uint64_t>(m.words_[i]) << shift;
      if (shift != 0 && i > 0) w |= m.words_[i - 1] >> (32 - shift);
      v[i] = static_cast<uint32_t>(w);
    }
    u[len] = shift != 0 ? a.words_[len - 1] >> (32 - shift) : 0;
    for (size_t i = len; i-- > 0;) {
      uint64_t w = static_cast<uint64_t>(a.words_[i]) << shift;
      if (shift != 0 && i > 0) w |= a.words_[i - 1] >> (32 - shift);
      u[i] = static_cast<uint32_t>(w);
    }
    q.words_.assign(len - n + 1, 0);
    constexpr uint64_t kBase = 1ULL << 32;
    for (size_t j = len - n + 1; j-- > 0;) {
      uint64_t num = (static_cast<uint64_t>(u[j + n]) << 32) | u[j + n - 1];
      uint64_t qhat = num / v[n - 1], rhat = num % v[n - 1];
      while (qhat >= kBase || qhat * v[n - 2] > ((rhat << 32) | u[j + n - 2])) {
        --qhat;
        rhat += v[n - 1];
        if (rhat >= kBase) break;
      }
      // u[j..j+n] -= qhat * v
      int64_t borrow = 0;
      uint64_t carry = 0;
      for (size_t i = 0; i < n; ++i) {
        uint64_t p = qhat * v[i] + carry;
        carry = p >> 32;
        int64_t t = static_cast<int64_t>(u[i + j]) - static_cast<int64_t>(p & 0xFFFFFFFFU) - borrow;
        u[i + j] = static_cast<uint32_t>(t);
        borrow = t < 0 ? 1 : 0;
      }
      int64_t t = static_cast<int64_t>(u[j + n]) - static_cast<int64_t>(carry) - borrow;
      u[j + n] = static_cast<uint32_t>(t);
      if (t < 0) {
        // qhat was one too large: add the divisor back.
        --qhat;
        uint64_t c = 0;
        for (size_t i = 0; i < n; ++i) {
          uint64_t sum = static_cast<uint64_t>(u[i + j]) + v[i] + c;
          u[i + j] = static_cast<uint32_t>(sum);
          c = sum >> 32;
        }
        u[j + n] = static_cast<uint32_t>(u[j + n] + c);
      }
      q.words_[j] = static_cast<uint32_t>(qhat);
    }
    r.words_.assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
      uint64_t w = u[i] >> shift;
      if (shift != 0) w |= static_cast<uint64_t>(u[i + 1]) << (32 - shift);
      r.words_[i] = static_cast<uint32_t>(w);
    }
  }
  q.Trim();
  r.Trim();
  if (quotient != nullptr) *quotient = std::move(q);
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
