#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "xml/xml_buffer.h"

namespace corvane {

// Input encodings of the XML parser.
enum class XmlEncoding : uint8_t { xeAscii, xeUtf8, xeUtf16LE, xeUtf16BE, xeUtf32LE, xeUtf32BE };

// "UTF-8", "UTF-16LE", ... or "ASCII".
const char* XmlEncodingName(XmlEncoding encoding) noexcept;
// Case-insensitive; any name that is not one of the five selects ASCII.
XmlEncoding XmlEncodingFromName(std::string_view name) noexcept;
inline bool IsUtf16(XmlEncoding e) noexcept {
  return e == XmlEncoding::xeUtf16LE || e == XmlEncoding::xeUtf16BE;
}

// Turns input bytes into the scanner's 8-bit text: code points below 128 are
// single bytes, every other code point becomes a decimal character reference
// "&#n;". The state of a sequence cut at the end of one piece carries over to
// the next piece.
class XmlTranscoder {
 public:
  void Reset() noexcept { *this = XmlTranscoder(); }

  // Appends the transcoding of in[0..n) to out. Returns 0 or 200.
  int Transcode(XmlEncoding encoding, const uint8_t* in, size_t n, XmlBuffer& out) noexcept;

  // The number of leading input bytes whose transcoding is exactly produced
  // bytes long, continuing from the current state (which is left as after
  // those bytes). Used to find where in a piece an encoding switch applies.
  size_t InputFor(XmlEncoding encoding, const uint8_t* in, size_t n, size_t produced) noexcept;

 private:
  template <typename Sink>
  size_t Run(XmlEncoding encoding, const uint8_t* in, size_t n, Sink& sink) noexcept;

  uint32_t value_ = 0;  // code point being assembled
  uint8_t count_ = 0;   // bytes collected (UTF-32) or still needed (UTF-8)
};

}  // namespace corvane
