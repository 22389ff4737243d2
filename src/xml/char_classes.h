#pragma once

#include <cstdint>

namespace corvane::xml {

// The three byte classes of the XML scanner, one flag per byte value. Bytes
// of 0x80 and above follow ISO 8859-1, which is what a name looks like after
// transcoding left it alone (multi-byte characters arrive as references).

// Whitespace: space, tab, line feed, form feed, carriage return.
inline constexpr uint8_t kWhitespaceTable[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1, 1, 0, 0,  // 00-0F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 10-1F
    1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 20-2F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 30-3F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 40-4F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 50-5F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 60-6F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 70-7F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 80-8F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 90-9F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // A0-AF
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // B0-BF
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // C0-CF
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // D0-DF
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // E0-EF
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // F0-FF
};

// Name start: ':', 'A'-'Z', '_', 'a'-'z', 0xC0-0xD6, 0xD8-0xF6, 0xF8-0xFF.
inline constexpr uint8_t kNameStartTable[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 00-0F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 10-1F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 20-2F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0,  // 30-3F
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 40-4F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1,  // 50-5F
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 60-6F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0,  // 70-7F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 80-8F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 90-9F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // A0-AF
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // B0-BF
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // C0-CF
    1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1,  // D0-DF
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // E0-EF
    1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1,  // F0-FF
};

// Name character: a name start or '-', '.', '0'-'9', 0xB7.
inline constexpr uint8_t kNameCharTable[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 00-0F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 10-1F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0,  // 20-2F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0,  // 30-3F
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 40-4F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1,  // 50-5F
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 60-6F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0,  // 70-7F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 80-8F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 90-9F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // A0-AF
    0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0,  // B0-BF
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // C0-CF
    1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1,  // D0-DF
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // E0-EF
    1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1,  // F0-FF
};

// The scanner's combined class word per byte: the three classes above plus
// the stop sets of the run loops. Every stop set contains NUL, the sentinel
// that ends the input buffer, so a run needs no bounds check per byte.
enum ScanClass : uint32_t {
  kWs = 0x0001,             // whitespace
  kNameStart = 0x0002,      // name start
  kName = 0x0004,           // name character
  kTextStop = 0x0008,       // text: '<' '&' LF
  kDbcsLead = 0x0010,       // lead byte of a double-byte character (code page 932)
  kAttrNameStop = 0x0020,   // attribute name: whitespace '>' '=' '/'
  kUnquotedStop = 0x0040,   // unquoted value: whitespace '>' '&'
  kDeclStop = 0x0080,       // declaration: '"' '\'' '[' '>'
  kDqValueStop = 0x0100,    // value in '"': '"' '&'
  kSqValueStop = 0x0200,    // value in '\'': '\'' '&'
  kDashStop = 0x0400,       // comment: '-'
  kGtStop = 0x0800,         // PI, section, junk: '>'
  kRBracketStop = 0x1000,   // internal subset: ']'
  kLBracketStop = 0x2000,   // section id: '['
  kDqStop = 0x4000,         // quoted string in a declaration: '"'
  kSqStop = 0x8000,         // quoted string in a declaration: '\''
  // A name character other than ':': tag name runs stop at the first colon,
  // so the prefix is split off without a second pass over the name.
  kNamePart = 0x10000,
};

constexpr uint32_t ScanClassOf(unsigned b) {
  uint32_t c = 0;
  if (kWhitespaceTable[b]) c |= kWs | kAttrNameStop | kUnquotedStop;
  if (kNameStartTable[b]) c |= kNameStart;
  if (kNameCharTable[b]) c |= kName;
  if (kNameCharTable[b] && b != ':') c |= kNamePart;
  if (b == 0) {
    c |= kTextStop | kAttrNameStop | kUnquotedStop | kDeclStop | kDqValueStop | kSqValueStop |
         kDashStop | kGtStop | kRBracketStop | kLBracketStop | kDqStop | kSqStop;
  }
  if (b == '<' || b == '&' || b == '\n') c |= kTextStop;
  if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF)) c |= kDbcsLead;
  if (b == '>' || b == '=' || b == '/') c |= kAttrNameStop;
  if (b == '>' || b == '&') c |= kUnquotedStop;
  if (b == '"' || b == '\'' || b == '[' || b == '>') c |= kDeclStop;
  if (b == '"' || b == '&') c |= kDqValueStop;
  if (b == '\'' || b == '&') c |= kSqValueStop;
  if (b == '-') c |= kDashStop;
  if (b == '>') c |= kGtStop;
  if (b == ']') c |= kRBracketStop;
  if (b == '[') c |= kLBracketStop;
  if (b == '"') c |= kDqStop;
  if (b == '\'') c |= kSqStop;
  return c;
}

struct ScanClassTable {
  uint32_t cls[256];
};

constexpr ScanClassTable MakeScanClassTable() {
  ScanClassTable t{};
  for (unsigned b = 0; b < 256; ++b) t.cls[b] = ScanClassOf(b);
  return t;
}

inline constexpr ScanClassTable kDefaultScanClasses = MakeScanClassTable();

}  // namespace corvane::xml
