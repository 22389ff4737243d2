// NTLM challenge (type 2) parser and the authenticate message built from it:
// the input is the raw challenge message. A message that parses must give an
// authenticate message whose security buffers all lie inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "http/auth/ntlm_message.h"

namespace {

uint32_t U32At(const char* p) {
  return uint32_t{static_cast<uint8_t>(p[0])} | (uint32_t{static_cast<uint8_t>(p[1])} << 8) |
         (uint32_t{static_cast<uint8_t>(p[2])} << 16) | (uint32_t{static_cast<uint8_t>(p[3])} << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane::auth;
  NtlmState state;
  state.clientChallenge = [](uint8_t c[8]) { std::memset(c, 0x11, 8); };
  StartNtlm(state, "NTLM", "DOMAIN\\user", "password");
  std::string_view message(reinterpret_cast<const char*>(data), size);
  corvane::ByteBuffer out;
  // Straight to the parser: an empty challenge through NtlmToken means "start".
  int rc = ParseNtlmChallenge(state, message);
  if (rc == 0) rc = BuildNtlmAuthenticate(state, out);
  if (rc != 0) {
    if (rc != -1 || state.errorText.empty()) std::abort();
    return 0;
  }
  if (out.size() < 72) std::abort();
  for (int field = 12; field <= 52; field += 8) {
    uint32_t length = U32At(out.data() + field) & 0xFFFF;
    uint32_t offset = U32At(out.data() + field + 4);
    if (length != 0 && offset + length > static_cast<uint32_t>(out.size())) std::abort();
  }
  return 0;
}
