#pragma once

#include <string>
#include <string_view>

#include "core/byte_reader.h"
#include "tls/keys/der.h"

namespace corvane::keys {

// RFC 4251 5 "string": 32-bit big-endian length, then the bytes.
inline bool SshString(ByteReader& r, std::string_view& out) {
  uint32_t n = 0;
  return r.U32Be(n) && r.Bytes(n, out);
}

// RFC 4251 5 "mpint" of a positive number, sign byte removed.
inline bool SshMpint(ByteReader& r, std::string& out) {
  std::string_view v;
  if (!SshString(r, v)) return false;
  if (!v.empty() && (static_cast<uint8_t>(v[0]) & 0x80)) return false;
  out.assign(StripZeros(v));
  return true;
}

inline void PutSshString(std::string& out, std::string_view v) {
  for (int i = 3; i >= 0; --i) out += static_cast<char>(v.size() >> (8 * i));
  out.append(v);
}

inline void PutSshMpint(std::string& out, std::string_view unsignedBytes) {
  std::string_view v = StripZeros(unsignedBytes);
  std::string body;
  if (!v.empty() && (static_cast<uint8_t>(v[0]) & 0x80)) body += '\0';
  body.append(v);
  PutSshString(out, body);
}

}  // namespace corvane::keys
