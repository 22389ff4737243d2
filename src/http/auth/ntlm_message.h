#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_buffer.h"

namespace corvane::auth {

// Negotiate flags (bit values of the published NTLM message format).
inline constexpr uint32_t kNtlmNegotiateUnicode = 0x00000001;
inline constexpr uint32_t kNtlmNegotiateOem = 0x00000002;
inline constexpr uint32_t kNtlmRequestTarget = 0x00000004;
inline constexpr uint32_t kNtlmNegotiateNtlm = 0x00000200;
inline constexpr uint32_t kNtlmOemDomainSupplied = 0x00001000;
inline constexpr uint32_t kNtlmOemWorkstationSupplied = 0x00002000;
inline constexpr uint32_t kNtlmAlwaysSign = 0x00008000;
inline constexpr uint32_t kNtlmExtendedSessionSecurity = 0x00080000;
inline constexpr uint32_t kNtlmNegotiateTargetInfo = 0x00800000;
inline constexpr uint32_t kNtlmNegotiateVersion = 0x02000000;
inline constexpr uint32_t kNtlmNegotiate128 = 0x20000000;
inline constexpr uint32_t kNtlmNegotiate56 = 0x80000000;
// What the client asks for in every negotiate message: 56- and 128-bit keys,
// the version field, extended session security (the NTLM2 session response
// is always sent), NTLM, the target name, and either character set.
inline constexpr uint32_t kNtlmClientFlags = 0xA2088207;

// Fills the 8-byte client challenge of one exchange. Production uses a
// generator seeded with the clock; tests pass fixed bytes.
using NtlmClientChallengeFn = std::function<void(uint8_t challenge[8])>;

// One (AvId, value) entry of the target information of a challenge message.
struct NtlmAvPair {
  uint16_t id = 0;
  std::string value;
};

// The component's own NTLM client, one per HTTP client and reused for the
// server and the proxy exchange (never both at once: each is two legs on one
// connection).
struct NtlmState {
  ByteBuffer21 package{"NTLM"};
  ByteBuffer user;
  ByteBuffer domain;
  ByteBuffer password;
  ByteBuffer21 workstation;  // never set: no workstation is sent
  ByteBuffer target;         // host name of the exchange; kept, not sent
  uint32_t flags = kNtlmClientFlags;
  ByteBuffer errorText;

  // What the last challenge message carried.
  uint8_t serverChallenge[8] = {};
  ByteBuffer targetName;
  std::vector<NtlmAvPair> targetInfo;

  // Client challenge source; empty = the built-in generator below.
  NtlmClientChallengeFn clientChallenge;
  std::minstd_rand generator;
  bool generatorSeeded = false;
};

// A configured user name split at the first backslash (DOMAIN\user) or
// at-sign (user@DOMAIN), whichever comes first; without either the whole
// text is the user. The system security packages split the same way.
struct UserNameParts {
  std::string_view user;
  std::string_view domain;
};
UserNameParts SplitUserName(std::string_view userName) noexcept;

// Starts an exchange: stores the package and password and splits the user
// name (SplitUserName).
void StartNtlm(NtlmState& state, std::string_view package, std::string_view userName,
               std::string_view password);

// With an empty challenge appends the negotiate (type 1) message to out;
// otherwise parses the challenge (type 2) message and appends the
// authenticate (type 3) message. 0; -1 for a challenge that cannot be used;
// 200 when a buffer cannot grow. The message is in state.errorText.
int NtlmToken(NtlmState& state, std::string_view target, std::string_view challenge, ByteBuffer& out);

// The steps of NtlmToken, for tests and the fuzz target.
int BuildNtlmNegotiate(NtlmState& state, ByteBuffer& out);
int ParseNtlmChallenge(NtlmState& state, std::string_view message);
int BuildNtlmAuthenticate(NtlmState& state, ByteBuffer& out);

// NTLM2 session response (NTLMv1 with extended session security): the NT
// hash is MD4 of the UTF-16LE password; the NT response is DESL of it over
// the first 8 bytes of MD5(server challenge || client challenge); the LM
// response is the client challenge and 16 zero bytes.
void NtlmPasswordHash(std::string_view password, uint8_t hash[16]);
void Ntlm2SessionResponse(const uint8_t ntHash[16], const uint8_t serverChallenge[8],
                          const uint8_t clientChallenge[8], uint8_t lmResponse[24],
                          uint8_t ntResponse[24]);

// The 8-bit text as UTF-16LE: UTF-8 when it is valid UTF-8, else one code
// unit per byte.
int AppendUtf16Le(std::string_view text, ByteBuffer& out);

}  // namespace corvane::auth
