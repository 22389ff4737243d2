#include "http/auth/ntlm_message.h"

#include <chrono>
#include <cstring>

#include "core/byte_reader.h"
#include "crypto/md4.h"
#include "crypto/md5.h"
#include "http/auth/auth_errors.h"
#include "http/auth/desl.h"
#include "http/auth/text_builder.h"

namespace corvane::auth {

namespace {

constexpr char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};
constexpr uint32_t kTypeNegotiate = 1;
constexpr uint32_t kTypeChallenge = 2;
constexpr uint32_t kTypeAuthenticate = 3;
// Version field: major 0, minor 0, build 0, three reserved bytes, NTLM
// revision 15.
constexpr uint8_t kVersion[8] = {0, 0, 0, 0, 0, 0, 0, 0x0F};
constexpr size_t kNegotiateHeaderSize = 40;
constexpr size_t kAuthenticateHeaderSize = 72;

void PutU16(uint8_t* p, uint32_t v) noexcept {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) noexcept {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
// A security buffer: length, maximum length (the same) and offset.
void PutSecurityBuffer(uint8_t* p, size_t length, size_t offset) noexcept {
  if (length == 0) offset = 0;  // empty items leave their buffer all zero
  PutU16(p, static_cast<uint32_t>(length));
  PutU16(p + 2, static_cast<uint32_t>(length));
  PutU32(p + 4, static_cast<uint32_t>(offset));
}

int Fail(NtlmState& state, AuthError e) {
  AssignText(state.errorText, AuthErrorText(e));
  return AuthErrorCode(e);
}

// Decodes one UTF-8 sequence at text[i]; false when it is not well formed.
bool NextUtf8(std::string_view text, size_t& i, uint32_t& cp) noexcept {
  const auto b0 = static_cast<uint8_t>(text[i]);
  int extra = 0;
  uint32_t min = 0;
  if (b0 < 0x80) {
    cp = b0;
    ++i;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    cp = b0 & 0x1F, extra = 1, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    cp = b0 & 0x0F, extra = 2, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    cp = b0 & 0x07, extra = 3, min = 0x10000;
  } else {
    return false;
  }
  if (text.size() - i <= static_cast<size_t>(extra)) return false;
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<uint8_t>(text[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i += static_cast<size_t>(extra) + 1;
  return true;
}

bool IsUtf8(std::string_view text) noexcept {
  uint32_t cp = 0;
  for (size_t i = 0; i < text.size();) {
    if (!NextUtf8(text, i, cp)) return false;
  }
  return true;
}

int AppendUnit(ByteBuffer& out, uint32_t unit) {
  const char le[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return out.Append(le, 2);
}

void MakeClientChallenge(NtlmState& state, uint8_t challenge[8]) {
  if (state.clientChallenge) {
    state.clientChallenge(challenge);
    return;
  }
  if (!state.generatorSeeded) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    state.generator.seed(static_cast<uint32_t>(ms.count()) | 1u);
    state.generatorSeeded = true;
  }
  // Never a zero byte.
  for (int i = 0; i < 8; ++i) challenge[i] = static_cast<uint8_t>(1 + state.generator() % 255);
}

}  // namespace

int AppendUtf16Le(std::string_view text, ByteBuffer& out) {
  if (!IsUtf8(text)) {
    for (char c : text) {
      if (int rc = AppendUnit(out, static_cast<uint8_t>(c)); rc != 0) return rc;
    }
    return 0;
  }
  uint32_t cp = 0;
  for (size_t i = 0; i < text.size();) {
    NextUtf8(text, i, cp);
    int rc = 0;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      rc = AppendUnit(out, 0xD800 | (cp >> 10));
      if (rc == 0) rc = AppendUnit(out, 0xDC00 | (cp & 0x3FF));
    } else {
      rc = AppendUnit(out, cp);
    }
    if (rc != 0) return rc;
  }
  return 0;
}

UserNameParts SplitUserName(std::string_view userName) noexcept {
  size_t sep = userName.find_first_of("\\@");
  if (sep == std::string_view::npos) return {userName, {}};
  if (userName[sep] == '\\') return {userName.substr(sep + 1), userName.substr(0, sep)};
  return {userName.substr(0, sep), userName.substr(sep + 1)};
}

void StartNtlm(NtlmState& state, std::string_view package, std::string_view userName,
               std::string_view password) {
  AssignText(state.package, package);
  AssignText(state.password, password);
  state.user.Clear();
  state.domain.Clear();
  state.targetName.Clear();
  state.targetInfo.clear();
  std::memset(state.serverChallenge, 0, sizeof state.serverChallenge);
  UserNameParts parts = SplitUserName(userName);
  AssignText(state.user, parts.user);
  AssignText(state.domain, parts.domain);
}

int BuildNtlmNegotiate(NtlmState& state, ByteBuffer& out) {
  state.flags = kNtlmClientFlags;
  uint32_t flags = kNtlmClientFlags;
  if (!state.domain.empty()) flags |= kNtlmOemDomainSupplied;
  if (!state.workstation.empty()) flags |= kNtlmOemWorkstationSupplied;

  uint8_t head[kNegotiateHeaderSize] = {};
  std::memcpy(head, kSignature, 8);
  PutU32(head + 8, kTypeNegotiate);
  PutU32(head + 12, flags);
  // The domain goes out in single-byte characters (OEM); the workstation
  // buffer stays zero.
  PutSecurityBuffer(head + 16, static_cast<size_t>(state.domain.size()), kNegotiateHeaderSize);
  std::memcpy(head + 32, kVersion, 8);
  if (int rc = out.Append(head, sizeof head); rc != 0) return rc;
  return out.Append(state.domain.view());
}

int ParseNtlmChallenge(NtlmState& state, std::string_view message) {
  ByteReader r(message);
  const uint8_t* signature = nullptr;
  if (!r.Bytes(8, signature) || std::memcmp(signature, kSignature, 8) != 0) {
    return Fail(state, AuthError::NtlmInvalidSignature);
  }
  uint32_t type = 0;
  if (!r.U32Le(type) || type != kTypeChallenge) {
    return Fail(state, AuthError::NtlmInvalidMessageType);
  }

  uint16_t targetNameLength = 0, targetNameMax = 0;
  uint32_t targetNameOffset = 0, serverFlags = 0;
  const uint8_t* challenge = nullptr;
  r.U16Le(targetNameLength);
  r.U16Le(targetNameMax);
  r.U32Le(targetNameOffset);
  r.U32Le(serverFlags);
  // A message that ends before its challenge cannot be answered.
  if (!r.Bytes(8, challenge)) return Fail(state, AuthError::NtlmTruncated);

  if (serverFlags & kNtlmNegotiateUnicode) {
    state.flags &= ~kNtlmNegotiateOem;
  } else if (!(serverFlags & kNtlmNegotiateOem)) {
    return Fail(state, AuthError::NtlmNoCharset);
  }
  if (!(serverFlags & (kNtlmExtendedSessionSecurity | kNtlmNegotiateNtlm))) {
    return Fail(state, AuthError::NtlmNoVersion);
  }
  state.targetName.Clear();
  if (serverFlags & kNtlmRequestTarget) {
    if (int rc = AssignText(state.targetName, r.Slice(targetNameOffset, targetNameLength)); rc != 0) {
      return Fail(state, AuthError::OutOfMemory);
    }
    state.flags |= kNtlmNegotiateTargetInfo;
  }
  std::memcpy(state.serverChallenge, challenge, 8);

  // The rest is optional: older servers end the message after the challenge.
  state.targetInfo.clear();
  uint16_t infoLength = 0, infoMax = 0;
  uint32_t infoOffset = 0;
  if (r.Skip(8) && r.U16Le(infoLength) && r.U16Le(infoMax) && r.U32Le(infoOffset) &&
      (serverFlags & kNtlmNegotiateTargetInfo)) {
    // AV pairs up to MsvAvEOL (id 0), each value cut to the bytes present.
    std::string_view info = r.Slice(infoOffset, infoLength);
    ByteReader pairs(info);
    uint16_t id = 0, length = 0;
    while (pairs.U16Le(id) && pairs.U16Le(length) && id != 0) {
      size_t take = length < pairs.Remaining() ? length : pairs.Remaining();
      const uint8_t* value = nullptr;
      pairs.Bytes(take, value);
      state.targetInfo.push_back({id, std::string(reinterpret_cast<const char*>(value), take)});
    }
  }
  // The version field that may follow is not needed.
  return 0;
}

void NtlmPasswordHash(std::string_view password, uint8_t hash[16]) {
  ByteBuffer unicode;
  Md4 md4;
  if (AppendUtf16Le(password, unicode) == 0) {
    md4.Update(unicode.data(), static_cast<size_t>(unicode.size()));
  }
  std::memcpy(hash, md4.Final(), 16);
}

void Ntlm2SessionResponse(const uint8_t ntHash[16], const uint8_t serverChallenge[8],
                          const uint8_t clientChallenge[8], uint8_t lmResponse[24],
                          uint8_t ntResponse[24]) {
  Md5 md5;
  md5.Update(serverChallenge, 8);
  md5.Update(clientChallenge, 8);
  const uint8_t* sessionHash = md5.Final();
  Desl(ntHash, sessionHash, ntResponse);
  std::memcpy(lmResponse, clientChallenge, 8);
  std::memset(lmResponse + 8, 0, 16);
}

int BuildNtlmAuthenticate(NtlmState& state, ByteBuffer& out) {
  uint8_t ntHash[16];
  uint8_t clientChallenge[8];
  uint8_t lm[24];
  uint8_t nt[24];
  NtlmPasswordHash(state.password.view(), ntHash);
  MakeClientChallenge(state, clientChallenge);
  Ntlm2SessionResponse(ntHash, state.serverChallenge, clientChallenge, lm, nt);
  std::memset(ntHash, 0, sizeof ntHash);

  ByteBuffer domain, user, workstation;
  if (AppendUtf16Le(state.domain.view(), domain) != 0 || AppendUtf16Le(state.user.view(), user) != 0 ||
      AppendUtf16Le(state.workstation.view(), workstation) != 0) {
    return Fail(state, AuthError::OutOfMemory);
  }
  // Payload order: domain, user, workstation, LM response, NT response,
  // session key (always empty).
  uint8_t head[kAuthenticateHeaderSize] = {};
  std::memcpy(head, kSignature, 8);
  PutU32(head + 8, kTypeAuthenticate);
  size_t offset = kAuthenticateHeaderSize;
  const size_t domainOffset = offset;
  offset += static_cast<size_t>(domain.size());
  const size_t userOffset = offset;
  offset += static_cast<size_t>(user.size());
  const size_t workstationOffset = offset;
  offset += static_cast<size_t>(workstation.size());
  const size_t lmOffset = offset;
  const size_t ntOffset = lmOffset + sizeof lm;
  PutSecurityBuffer(head + 12, sizeof lm, lmOffset);
  PutSecurityBuffer(head + 20, sizeof nt, ntOffset);
  PutSecurityBuffer(head + 28, static_cast<size_t>(domain.size()), domainOffset);
  PutSecurityBuffer(head + 36, static_cast<size_t>(user.size()), userOffset);
  PutSecurityBuffer(head + 44, static_cast<size_t>(workstation.size()), workstationOffset);
  PutSecurityBuffer(head + 52, 0, 0);
  PutU32(head + 60, state.flags);
  std::memcpy(head + 64, kVersion, 8);

  int rc = out.Append(head, sizeof head);
  if (rc == 0) rc = out.Append(domain.view());
  if (rc == 0) rc = out.Append(user.view());
  if (rc == 0) rc = out.Append(workstation.view());
  if (rc == 0) rc = out.Append(lm, sizeof lm);
  if (rc == 0) rc = out.Append(nt, sizeof nt);
  if (rc != 0) return Fail(state, AuthError::OutOfMemory);
  return 0;
}

int NtlmToken(NtlmState& state, std::string_view target, std::string_view challenge, ByteBuffer& out) {
  state.errorText.Clear();
  if (AssignText(state.target, target) != 0) return Fail(state, AuthError::OutOfMemory);
  if (challenge.empty()) {
    if (BuildNtlmNegotiate(state, out) != 0) return Fail(state, AuthError::OutOfMemory);
    return 0;
  }
  if (int rc = ParseNtlmChallenge(state, challenge); rc != 0) return rc;
  return BuildNtlmAuthenticate(state, out);
}

}  // namespace corvane::auth
