#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "corvane/export.h"

namespace corvane {

// The text of a socket error code, or nullptr when the table has none.
const char* WinsockErrorText(int code) noexcept;

// The message for a code that failed without one: "Interrupted." for 301,
// "Out of memory." for 200, otherwise "[code] " and the socket error text or
// "(no description available)".
std::string DescribeError(int code);

// The automation result for an engine code: 0 for success, 0x800A0007 for
// 200, otherwise 0x800A0000 | (code + 20001) up to 10000 and | (code + 15001)
// above. Part of the public interface (corvane/dispatch.h).
CORVANE_API uint32_t AutomationResult(int code) noexcept;

// The description published with an automation error: the last error text,
// built from the code when empty, "No description available." as a last resort.
std::string AutomationMessage(int code, std::string_view lastErrorText);

}  // namespace corvane
