#pragma once

#include <random>
#include <string>

#include "support/hex.h"

namespace corvane::test {

using testing::Hex;
using testing::Unhex;

inline std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xff);
  return s;
}

}  // namespace corvane::test
