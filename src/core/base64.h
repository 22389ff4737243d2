#pragma once

#include <string>
#include <string_view>

namespace corvane {

struct Base64Options {
  bool lineBreaks = false;  // CR LF after every 64 output characters
  bool urlSafe = false;     // "-" and "_" in place of "+" and "/"
};

std::string Base64Encode(std::string_view data, Base64Options options = {});

// Decodes either alphabet; CR, LF, blanks and tabs are skipped; "=" padding
// is optional. Returns false on any other character or a dangling single
// character.
bool Base64Decode(std::string_view text, std::string& out);

// Lower-case hex, two characters per byte.
std::string HexEncode(std::string_view data);
// Accepts either case; false on an odd length or a non-hex character.
bool HexDecode(std::string_view text, std::string& out);

}  // namespace corvane
