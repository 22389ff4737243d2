#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/byte_reader.h"

namespace corvane::keys {

// DER tags used by the key formats.
inline constexpr uint8_t kTagInteger = 0x02;
inline constexpr uint8_t kTagBitString = 0x03;
inline constexpr uint8_t kTagOctetString = 0x04;
inline constexpr uint8_t kTagNull = 0x05;
inline constexpr uint8_t kTagOid = 0x06;
inline constexpr uint8_t kTagSequence = 0x30;

// Reads DER elements over a ByteReader: definite lengths only (X.690 8.1.3),
// at most 4 length bytes. A malformed element fails the reader, so a parser
// can check once at the end.
class DerReader {
 public:
  DerReader() noexcept = default;
  explicit DerReader(ByteReader reader) noexcept : r_(reader) {}
  explicit DerReader(std::string_view bytes) noexcept : r_(bytes) {}

  // The next element, which must carry tag; its contents in out.
  bool Element(uint8_t tag, std::string_view& out) noexcept;
  bool Sequence(DerReader& out) noexcept;
  // INTEGER contents with the sign byte of a positive value removed.
  bool Integer(std::string_view& out) noexcept;
  // A small non-negative INTEGER (version numbers, iteration counts).
  bool SmallInteger(uint32_t& out) noexcept;
  // OBJECT IDENTIFIER in dotted form.
  bool Oid(std::string& out) noexcept;
  bool PeekTag(uint8_t& tag) const noexcept { return r_.Peek(tag); }
  bool Skip() noexcept;

  bool AtEnd() const noexcept { return r_.AtEnd(); }
  bool Failed() const noexcept { return r_.Failed(); }
  size_t Position() const noexcept { return r_.Position(); }

 private:
  bool Header(uint8_t& tag, size_t& length) noexcept;
  ByteReader r_;
};

// DER writing for the structures the readers produce.
std::string DerElement(uint8_t tag, std::string_view contents);
// A positive INTEGER from big-endian unsigned bytes (sign byte added).
std::string DerInteger(std::string_view unsignedBytes);
// An OBJECT IDENTIFIER from dotted form (empty string for a malformed one).
std::string DerOid(std::string_view dotted);

// Big-endian unsigned bytes without leading zeros.
std::string_view StripZeros(std::string_view bytes) noexcept;

}  // namespace corvane::keys
