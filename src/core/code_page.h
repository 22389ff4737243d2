#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The iconv charset name for a code page: 0 is the locale's charset, 65001
// UTF-8, any other number "CPnnnn".
std::string CharsetForCodePage(unsigned codePage);

// UTF-16 to the 8-bit text of codePage and back. Return 0, or 434 when a
// non-empty input converts to nothing (unknown code page, invalid input).
int FromUtf16(std::u16string_view in, unsigned codePage, std::string& out);
int ToUtf16(std::string_view in, unsigned codePage, std::u16string& out);

}  // namespace corvane
