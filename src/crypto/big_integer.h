#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Unsigned multi-precision integers for the key-file conversions: the CRT
// exponents an RSA key file leaves out, the DSA public value and the DSS
// blob's J. Numbers are arrays of 32-bit words, least significant first.
// Only what those need is here: comparison, subtraction, multiplication and
// division with remainder. Not constant time: the keys come from files the
// caller already holds.
class BigInteger {
 public:
  BigInteger() = default;
  explicit BigInteger(uint32_t v) {
    if (v != 0) words_.push_back(v);
  }
  // Big-endian unsigned bytes (leading zeros allowed).
  static BigInteger FromBytes(std::string_view bytes);
  // Big-endian bytes without leading zeros ("" for zero).
  std::string ToBytes() const;

  bool IsZero() const noexcept { return words_.empty(); }
  size_t BitLength() const noexcept;
  int Compare(const BigInteger& other) const noexcept;
  bool operator==(const BigInteger& other) const noexcept { return Compare(other) == 0; }

  // a - b for a >= b (else zero).
  static BigInteger Sub(const BigInteger& a, const BigInteger& b);
  static BigInteger Mul(const BigInteger& a, const BigInteger& b);
  // quotient and remainder of a / m; false for m = 0.
  static bool DivMod(const BigInteger& a, const BigInteger& m, BigInteger* quotient, BigInteger* remainder);
  // base^exponent mod m; zero for m = 0.
  static BigInteger PowMod(const BigInteger& base, const BigInteger& exponent, const BigInteger& m);

 private:
  bool Bit(size_t i) const noexcept { return (words_[i / 32] >> (i % 32)) & 1U; }
  void Trim() noexcept {
    while (!words_.empty() && words_.back() == 0) words_.pop_back();
  }
  std::vector<uint32_t> words_;
};

}  // namespace corvane
