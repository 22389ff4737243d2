#include "core/error_text.h"

#include "core/error_codes.h"
#include "core/error_table.h"

namespace corvane {

namespace {

constexpr ErrorRow kWinsockRows[] = {
#define CORVANE_WINSOCK_ERROR(code, text) {code, text},
#include "core/winsock_errors.def"
#undef CORVANE_WINSOCK_ERROR
};

// Looked up by code only: the socket error numbers are the row keys.
constexpr ErrorTable<int> kWinsockErrors(kWinsockRows);

}  // namespace

const char* WinsockErrorText(int code) noexcept {
  const ErrorRow* row = kWinsockErrors.Find(code);
  return row ? row->text.data() : nullptr;
}

std::string DescribeError(int code) {
  if (code == kErrInterrupted) return "Interrupted.";
  if (code == kErrOutOfMemory) return "Out of memory.";
  const char* text = WinsockErrorText(code);
  std::string message = "[";
  message += std::to_string(code);
  message += "] ";
  message += text ? text : "(no description available)";
  return message;
}

uint32_t AutomationResult(int code) noexcept {
  if (code == 0) return 0;
  if (code == kErrOutOfMemory) return 0x800A0007u;
  uint32_t offset = code <= 10000 ? static_cast<uint32_t>(code + 20001)
                                  : static_cast<uint32_t>(code + 15001);
  return 0x800A0000u | offset;
}

std::string AutomationMessage(int code, std::string_view lastErrorText) {
  if (code == kErrOutOfMemory) return "Out of memory.";
  std::string message(lastErrorText);
  if (message.empty()) message = DescribeError(code);
  if (message.empty()) message = "No description available.";
  return message;
}

}  // namespace corvane
