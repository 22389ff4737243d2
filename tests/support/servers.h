#pragma once

// Access to the test servers that tests/servers/up starts on loopback. Each
// server exports its address through environment variables. Without them a
// test is skipped, unless CORVANE_REQUIRE_SERVERS is set (scripts/test and CI
// set it), where a missing server is a failure.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#define CORVANE_SERVER_SETTING(var, name)                                                   \
  std::string var;                                                                          \
  do {                                                                                      \
    const char* value_ = std::getenv(name);                                                 \
    if (value_ == nullptr || *value_ == '\0') {                                             \
      if (std::getenv("CORVANE_REQUIRE_SERVERS") != nullptr) {                              \
        FAIL() << name << " is not set: its test server did not start (tests/servers/up)"; \
      }                                                                                     \
      GTEST_SKIP() << name << " not set; run the suite through scripts/test";               \
    }                                                                                       \
    var = value_;                                                                           \
  } while (0)

namespace corvane::testing {

// The bytes of a file the test servers serve or made (documents, keys), to
// compare with what a request brought back; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace corvane::testing
