#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace corvane {

// One argument of a message template: a text or a number written in decimal.
class MessageArg {
 public:
  MessageArg(std::string_view text) : text_(text) {}  // NOLINT: implicit by design
  MessageArg(const char* text) : text_(text) {}       // NOLINT
  MessageArg(const std::string& text) : text_(text) {}  // NOLINT
  MessageArg(long long number) : text_(std::to_string(number)) {}  // NOLINT
  MessageArg(int number) : text_(std::to_string(number)) {}  // NOLINT
  MessageArg(unsigned number) : text_(std::to_string(number)) {}  // NOLINT
  MessageArg(unsigned long number) : text_(std::to_string(number)) {}  // NOLINT
  MessageArg(long number) : text_(std::to_string(number)) {}  // NOLINT
  MessageArg(unsigned long long number) : text_(std::to_string(number)) {}  // NOLINT
  const std::string& Text() const noexcept { return text_; }

 private:
  std::string text_;
};

// A platform status as the messages write it: "0x" and lower-case hex
// without padding.
std::string StatusHex(uint32_t status);

// Replaces each {n} in a template with the n-th argument; a placeholder
// without an argument is left as written. This is the only placeholder
// syntax of the message tables.
std::string FormatMessage(std::string_view templ, std::initializer_list<MessageArg> args);

}  // namespace corvane
