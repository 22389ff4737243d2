#pragma once

#include <cstdint>

namespace corvane::json {

// Byte classes of the JSON scanner. Only ASCII bytes belong to a class of
// their own; every byte of 128 or more is "other" (no bit set), which lets
// UTF-8 or any 8-bit text pass through names and strings untouched.
inline constexpr uint8_t kWs = 0x01;          // tab, line feed, form feed, carriage return, space
inline constexpr uint8_t kNumber = 0x02;      // + - . 0-9 E e
inline constexpr uint8_t kDelimiter = 0x04;   // , ] }
inline constexpr uint8_t kStringStop = 0x08;  // " and backslash end a plain run inside a string
inline constexpr uint8_t kEnd = 0x10;         // NUL: the end of the text

// Bytes that end a word (true, false, null) or a number.
inline constexpr uint8_t kTokenEnd = kWs | kDelimiter | kEnd;

namespace table {
// One letter per class keeps the rows of the table readable.
inline constexpr uint8_t W = kWs;
inline constexpr uint8_t N = kNumber;
inline constexpr uint8_t D = kDelimiter;
inline constexpr uint8_t S = kStringStop;
inline constexpr uint8_t Z = kEnd | kStringStop;

// clang-format off
inline constexpr uint8_t kCharClass[256] = {
  //  0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
      Z, 0, 0, 0, 0, 0, 0, 0, 0, W, W, 0, W, W, 0, 0,  // 0x00  NUL; \t \n \f \r (no vertical tab)
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x10  control bytes are "other"
      W, 0, S, 0, 0, 0, 0, 0, 0, 0, 0, N, D, N, N, 0,  // 0x20  space " + , - .
      N, N, N, N, N, N, N, N, N, N, 0, 0, 0, 0, 0, 0,  // 0x30  0-9
      0, 0, 0, 0, 0, N, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x40  E
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, S, D, 0, 0,  // 0x50  backslash ]
      0, 0, 0, 0, 0, N, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x60  e
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, D, 0, 0,  // 0x70  }
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x80-0xFF: other
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};
// clang-format on
}  // namespace table

using table::kCharClass;

inline constexpr uint8_t ClassOf(unsigned char c) noexcept { return kCharClass[c]; }

}  // namespace corvane::json
