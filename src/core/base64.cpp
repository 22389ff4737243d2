#include "core/base64.h"

#include <array>
#include <cstdint>

#include "core/ascii.h"

namespace corvane {

namespace {

constexpr char kStd[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrl[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// Decoding table over all 256 bytes: 0-63 a digit of either alphabet,
// kSkip white space, kPad "=", kBad anything else.
constexpr int8_t kBad = -1, kSkip = -2, kPad = -3;

constexpr std::array<int8_t, 256> MakeDecodeTable() {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = kBad;
  for (int i = 0; i < 64; ++i) {
    t[static_cast<unsigned char>(kStd[i])] = static_cast<int8_t>(i);
    t[static_cast<unsigned char>(kUrl[i])] = static_cast<int8_t>(i);
  }
  t['\r'] = t['\n'] = t[' '] = t['\t'] = kSkip;
  t['='] = kPad;
  return t;
}
constexpr auto kDecode = MakeDecodeTable();

}  // namespace

std::string Base64Encode(std::string_view data, Base64Options options) {
  const char* alphabet = options.urlSafe ? kUrl : kStd;
  std::string out;
  size_t chars = (data.size() + 2) / 3 * 4;
  out.reserve(chars + (options.lineBreaks ? chars / 64 * 2 : 0));
  int onLine = 0;
  auto put = [&](char c) {
    if (options.lineBreaks && onLine == 64) {
      out += "\r\n";
      onLine = 0;
    }
    out += c;
    ++onLine;
  };
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    put(alphabet[v >> 18]);
    put(alphabet[(v >> 12) & 63]);
    put(alphabet[(v >> 6) & 63]);
    put(alphabet[v & 63]);
  }
  size_t rest = data.size() - i;
  if (rest > 0) {
    uint32_t v = p[i] << 16;
    if (rest == 2) v |= p[i + 1] << 8;
    put(alphabet[v >> 18]);
    put(alphabet[(v >> 12) & 63]);
    put(rest == 2 ? alphabet[(v >> 6) & 63] : '=');
    put('=');
  }
  return out;
}

bool Base64Decode(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size() / 4 * 3 + 3);
  uint32_t acc = 0;
  int bits = 0;
  int digits = 0;
  bool padded = false;
  for (char ch : text) {
    int8_t v = kDecode[static_cast<unsigned char>(ch)];
    if (v == kSkip) continue;
    if (v == kPad) {
      padded = true;
      continue;
    }
    if (v == kBad || padded) return false;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    ++digits;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return digits % 4 != 1;
}

std::string HexEncode(std::string_view data) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.resize(data.size() * 2);
  for (size_t i = 0; i < data.size(); ++i) {
    auto b = static_cast<unsigned char>(data[i]);
    out[2 * i] = kHex[b >> 4];
    out[2 * i + 1] = kHex[b & 15];
  }
  return out;
}

bool HexDecode(std::string_view text, std::string& out) {
  out.clear();
  if (text.size() % 2 != 0) return false;
  out.resize(text.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    int hi = HexValue(text[2 * i]);
    int lo = HexValue(text[2 * i + 1]);
    if (hi < 0 || lo < 0) {
      out.clear();
      return false;
    }
    out[i] = static_cast<char>(hi << 4 | lo);
  }
  return true;
}

}  // namespace corvane
