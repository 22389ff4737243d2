#include "json/json_string.h"

#include <cstdint>

#include "core/utf8.h"

namespace corvane {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Four hex digits at text[i..i+4); -1 when they are not.
int32_t Hex4(std::string_view text, size_t i) {
  if (i + 4 > text.size()) return -1;
  int32_t value = 0;
  for (size_t k = i; k < i + 4; ++k) {
    int d = HexDigit(text[k]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

}  // namespace

bool DecodeJsonString(std::string_view token, std::string& out) {
  if (token.size() < 2 || token.front() != '"' || token.back() != '"') return false;
  std::string_view body = token.substr(1, token.size() - 2);
  std::string decoded;
  decoded.reserve(body.size());
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c != '\\') {
      if (c == '"') return false;  // an unescaped quote ends the token early
      decoded += c;
      continue;
    }
    if (++i == body.size()) return false;
    switch (body[i]) {
      case '"': decoded += '"'; break;
      case '\\': decoded += '\\'; break;
      case '/': decoded += '/'; break;
      case 'b': decoded += '\b'; break;
      case 'f': decoded += '\f'; break;
      case 'n': decoded += '\n'; break;
      case 'r': decoded += '\r'; break;
      case 't': decoded += '\t'; break;
      case 'u': {
        int32_t unit = Hex4(body, i + 1);
        if (unit < 0) return false;
        i += 4;
        uint32_t cp = static_cast<uint32_t>(unit);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          // A high surrogate pairs with a following "\uDC00".."\uDFFF".
          int32_t low = i + 2 < body.size() && body[i + 1] == '\\' && body[i + 2] == 'u' ? Hex4(body, i + 3) : -1;
          if (low >= 0xDC00 && low <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
            i += 6;
          } else {
            cp = 0xFFFD;
          }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
          cp = 0xFFFD;
        }
        AppendUtf8(decoded, cp);
        break;
      }
      default:
        return false;
    }
  }
  out = std::move(decoded);
  return true;
}

}  // namespace corvane
