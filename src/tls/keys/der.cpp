#include "tls/keys/der.h"

#include <cstdio>

namespace corvane::keys {

bool DerReader::Header(uint8_t& tag, size_t& length) noexcept {
  uint8_t first = 0;
  if (!r_.U8(tag) || !r_.U8(first)) return false;
  if ((tag & 0x1F) == 0x1F) return r_.Skip(SIZE_MAX);  // high tag numbers: none of ours
  if (first < 0x80) {
    length = first;
    return true;
  }
  int n = first & 0x7F;
  if (n == 0 || n > 4) return r_.Skip(SIZE_MAX);  // indefinite or absurd: not DER
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    uint8_t b = 0;
    if (!r_.U8(b)) return false;
    v = (v << 8) | b;
  }
  length = v;
  return true;
}

bool DerReader::Element(uint8_t tag, std::string_view& out) noexcept {
  uint8_t t = 0;
  size_t length = 0;
  if (!Header(t, length)) return false;
  if (t != tag) return r_.Skip(SIZE_MAX);
  return r_.Bytes(length, out);
}

bool DerReader::Sequence(DerReader& out) noexcept {
  std::string_view body;
  if (!Element(kTagSequence, body)) return false;
  out = DerReader(body);
  return true;
}

bool DerReader::Integer(std::string_view& out) noexcept {
  if (!Element(kTagInteger, out) || out.empty()) return r_.Skip(SIZE_MAX);
  if (static_cast<uint8_t>(out[0]) & 0x80) return r_.Skip(SIZE_MAX);  // negative: never in a key
  out = StripZeros(out);
  return true;
}

bool DerReader::SmallInteger(uint32_t& out) noexcept {
  std::string_view v;
  if (!Integer(v) || v.size() > 4) return r_.Skip(SIZE_MAX);
  out = 0;
  for (char c : v) out = (out << 8) | static_cast<uint8_t>(c);
  return true;
}

bool DerReader::Oid(std::string& out) noexcept {
  std::string_view v;
  if (!Element(kTagOid, v) || v.empty()) return r_.Skip(SIZE_MAX);
  out.clear();
  uint64_t arc = 0;
  bool first = true;
  for (char ch : v) {
    auto c = static_cast<uint8_t>(ch);
    if (arc > (UINT64_MAX >> 8)) return r_.Skip(SIZE_MAX);
    arc = (arc << 7) | (c & 0x7F);
    if (c & 0x80) continue;
    char buf[48];
    if (first) {
      uint64_t top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
      std::snprintf(buf, sizeof buf, "%llu.%llu", static_cast<unsigned long long>(top),
                    static_cast<unsigned long long>(arc - 40 * top));
      first = false;
    } else {
      std::snprintf(buf, sizeof buf, ".%llu", static_cast<unsigned long long>(arc));
    }
    out += buf;
    arc = 0;
  }
  return true;
}

bool DerReader::Skip() noexcept {
  uint8_t t = 0;
  size_t length = 0;
  return Header(t, length) && r_.Skip(length);
}

std::string DerElement(uint8_t tag, std::string_view contents) {
  std::string out(1, static_cast<char>(tag));
  size_t n = contents.size();
  if (n < 0x80) {
    out += static_cast<char>(n);
  } else {
    int bytes = n > 0xFFFFFF ? 4 : n > 0xFFFF ? 3 : n > 0xFF ? 2 : 1;
    out += static_cast<char>(0x80 | bytes);
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(n >> (8 * i));
  }
  out.append(contents);
  return out;
}

std::string DerInteger(std::string_view unsignedBytes) {
  std::string_view v = StripZeros(unsignedBytes);
  std::string body;
  if (v.empty() || (static_cast<uint8_t>(v[0]) & 0x80)) body += '\0';
  body.append(v);
  return DerElement(kTagInteger, body);
}

std::string DerOid(std::string_view dotted) {
  std::string body;
  uint64_t arcs[32];
  size_t count = 0;
  uint64_t cur = 0;
  bool digit = false;
  for (size_t i = 0; i <= dotted.size(); ++i) {
    if (i == dotted.size() || dotted[i] == '.') {
      if (!digit || count == 32) return {};
      arcs[count++] = cur;
      cur = 0;
      digit = false;
    } else if (dotted[i] >= '0' && dotted[i] <= '9') {
      cur = cur * 10 + static_cast<uint64_t>(dotted[i] - '0');
      digit = true;
    } else {
      return {};
    }
  }
  if (count < 2) return {};
  auto put = [&body](uint64_t arc) {
    char tmp[10];
    int n = 0;
    do {
      tmp[n++] = static_cast<char>(arc & 0x7F);
      arc >>= 7;
    } while (arc != 0);
    while (n-- > 0) body += static_cast<char>(tmp[n] | (n > 0 ? 0x80 : 0));
  };
  put(arcs[0] * 40 + arcs[1]);
  for (size_t i = 2; i < count; ++i) put(arcs[i]);
  return DerElement(kTagOid, body);
}

std::string_view StripZeros(std::string_view bytes) noexcept {
  size_t i = 0;
  while (i < bytes.size() && bytes[i] == '\0') ++i;
  return bytes.substr(i);
}

}  // namespace corvane::keys
