#include "xml/xml_transcoder.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/config_item.h"

namespace corvane {

namespace {

// Replacement for a broken UTF-8 sequence (U+FFFD).
constexpr uint32_t kReplacement = 0xFFFD;

int FormatReference(uint32_t cp, char* out) noexcept {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + cp % 10);
    cp /= 10;
  } while (cp != 0);
  int len = 0;
  out[len++] = '&';
  out[len++] = '#';
  while (n > 0) out[len++] = digits[--n];
  out[len++] = ';';
  return len;
}

// Appends to the input buffer. A run or a reference between two others is
// a few bytes: the buffer's inline Extend, not a call per piece.
struct BufferSink {
  XmlBuffer& out;
  int rc = 0;
  bool Bytes(const uint8_t* p, size_t n) noexcept {
    if (rc != 0 || n == 0) return rc == 0;
    auto at = static_cast<uint32_t>(out.size());
    rc = out.Extend(n);
    if (rc == 0) std::memcpy(out.data() + at, p, n);
    return rc == 0;
  }
  bool CodePoint(uint32_t cp) noexcept {
    if (cp < 0x80) {
      uint8_t b = static_cast<uint8_t>(cp);
      return Bytes(&b, 1);
    }
    char ref[16];
    int len = FormatReference(cp, ref);
    return Bytes(reinterpret_cast<const uint8_t*>(ref), static_cast<size_t>(len));
  }
  // Whole-run copies are allowed.
  static constexpr bool kByteAtATime = false;
};

// Counts output and stops at an input boundary where the count is reached.
struct CountSink {
  size_t target;
  size_t produced = 0;
  bool Bytes(const uint8_t*, size_t n) noexcept {
    produced += n;
    return produced < target;
  }
  bool CodePoint(uint32_t cp) noexcept {
    char ref[16];
    produced += cp < 0x80 ? 1 : static_cast<size_t>(FormatReference(cp, ref));
    return produced < target;
  }
  static constexpr bool kByteAtATime = true;
};

}  // namespace

const char* XmlEncodingName(XmlEncoding encoding) noexcept {
  switch (encoding) {
    case XmlEncoding::xeAscii: return "ASCII";
    case XmlEncoding::xeUtf8: return "UTF-8";
    case XmlEncoding::xeUtf16LE: return "UTF-16LE";
    case XmlEncoding::xeUtf16BE: return "UTF-16BE";
    case XmlEncoding::xeUtf32LE: return "UTF-32LE";
    case XmlEncoding::xeUtf32BE: return "UTF-32BE";
  }
  return "ASCII";
}

XmlEncoding XmlEncodingFromName(std::string_view name) noexcept {
  for (XmlEncoding e : {XmlEncoding::xeUtf8, XmlEncoding::xeUtf16LE, XmlEncoding::xeUtf16BE,
                        XmlEncoding::xeUtf32LE, XmlEncoding::xeUtf32BE}) {
    if (EqualsNoCase(name, XmlEncodingName(e))) return e;
  }
  return XmlEncoding::xeAscii;
}

// Returns the number of input bytes consumed; stops early when the sink says so.
template <typename Sink>
size_t XmlTranscoder::Run(XmlEncoding encoding, const uint8_t* in, size_t n, Sink& sink) noexcept {
  size_t i = 0;
  switch (encoding) {
    case XmlEncoding::xeAscii:
    case XmlEncoding::xeUtf16LE:  // never fed: refused before transcoding
    case XmlEncoding::xeUtf16BE:
      if constexpr (Sink::kByteAtATime) {
        while (i < n) {
          bool more = sink.Bytes(in + i, 1);
          ++i;
          if (!more) break;
        }
      } else {
        sink.Bytes(in, n);
        i = n;
      }
      return i;
    case XmlEncoding::xeUtf8:
      while (i < n) {
        uint8_t b = in[i];
        if (count_ == 0) {
          if (b < 0x80) {
            size_t j = i + 1;
            if constexpr (!Sink::kByteAtATime) {
              // ASCII runs sixteen bytes at a time, then eight.
#ifdef __SSE2__
              while (n - j >= 16) {
                __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j));
                int high = _mm_movemask_epi8(v);
                if (high != 0) {
                  j += static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(high)));
                  break;
                }
                j += 16;
              }
#endif
              while (n - j >= 8) {
                uint64_t word;
                std::memcpy(&word, in + j, 8);
                if (word & 0x8080808080808080ull) break;
                j += 8;
              }
              while (j < n && in[j] < 0x80) ++j;
            }
            bool more = sink.Bytes(in + i, j - i);
            i = j;
            if (!more) return i;
            continue;
          }
          ++i;
          if (b >= 0xC0 && b <= 0xDF) {
            value_ = b & 0x1Fu;
            count_ = 1;
          } else if (b >= 0xE0 && b <= 0xEF) {
            value_ = b & 0x0Fu;
            count_ = 2;
          } else if (b >= 0xF0 && b <= 0xF7) {
            value_ = b & 0x07u;
            count_ = 3;
          } else if (!sink.CodePoint(kReplacement)) {
            return i;  // stray continuation byte or 0xF8-0xFF
          }
          continue;
        }
        if ((b & 0xC0) != 0x80) {
          // The sequence broke off: replace it and scan this byte afresh.
          count_ = 0;
          if (!sink.CodePoint(kReplacement)) return i;
          continue;
        }
        ++i;
        value_ = (value_ << 6) | (b & 0x3Fu);
        if (--count_ == 0 && !sink.CodePoint(value_)) return i;
      }
      return i;
    case XmlEncoding::xeUtf32LE:
    case XmlEncoding::xeUtf32BE:
      while (i < n) {
        uint32_t b = in[i++];
        if (encoding == XmlEncoding::xeUtf32LE) {
          value_ |= b << (8 * count_);
        } else {
          value_ = (value_ << 8) | b;
        }
        if (++count_ == 4) {
          uint32_t cp = value_;
          value_ = 0;
          count_ = 0;
          if (!sink.CodePoint(cp)) return i;
        }
      }
      return i;
  }
  return i;
}

int XmlTranscoder::Transcode(XmlEncoding encoding, const uint8_t* in, size_t n,
                             XmlBuffer& out) noexcept {
  if (n == 0) return 0;
  if (n > static_cast<size_t>(INT32_MAX) - static_cast<size_t>(out.size())) return kErrOutOfMemory;
  // Most input is ASCII: one reservation covers it.
  if (int rc = out.Reserve(static_cast<uint64_t>(out.size()) + n); rc != 0) return rc;
  BufferSink sink{out};
  Run(encoding, in, n, sink);
  return sink.rc;
}

size_t XmlTranscoder::InputFor(XmlEncoding encoding, const uint8_t* in, size_t n,
                               size_t produced) noexcept {
  if (produced == 0) return 0;
  CountSink sink{produced};
  return Run(encoding, in, n, sink);
}

}  // namespace corvane
