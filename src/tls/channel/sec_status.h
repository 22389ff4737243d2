#pragma once

#include <cstdint>

namespace corvane::tls {

// Statuses of the token-passing channel. The values are those of the
// security-provider interface the layers above were written against, so the
// messages that carry them ("error during handshake[2]: 0x80090326") read the
// same whatever library does the work underneath.
inline constexpr uint32_t kSecEOk = 0;
inline constexpr uint32_t kSecIContinueNeeded = 0x00090312;
inline constexpr uint32_t kSecIContextExpired = 0x00090317;
inline constexpr uint32_t kSecIIncompleteCredentials = 0x00090320;
inline constexpr uint32_t kSecIRenegotiate = 0x00090321;
inline constexpr uint32_t kSecEInsufficientMemory = 0x80090300;
inline constexpr uint32_t kSecEInternalError = 0x80090304;
inline constexpr uint32_t kSecESecpkgNotFound = 0x80090305;
inline constexpr uint32_t kSecEInvalidToken = 0x80090308;
inline constexpr uint32_t kSecEMessageAltered = 0x8009030F;
inline constexpr uint32_t kSecEOutOfSequence = 0x80090310;
inline constexpr uint32_t kSecEIncompleteMessage = 0x80090318;
inline constexpr uint32_t kSecEUntrustedRoot = 0x80090325;
inline constexpr uint32_t kSecEIllegalMessage = 0x80090326;
inline constexpr uint32_t kSecECertUnknown = 0x80090327;
inline constexpr uint32_t kSecEDecryptFailure = 0x80090330;
inline constexpr uint32_t kSecEAlgorithmMismatch = 0x80090331;
inline constexpr uint32_t kSecEInvalidHandle = 0x80090301;
inline constexpr uint32_t kSecEContextExpired = 0x80090317;
inline constexpr uint32_t kSecENoCredentials = 0x8009030E;
inline constexpr uint32_t kSecEApplicationProtocolMismatch = 0x80090367;

// Failure statuses have the top bit set.
constexpr bool SecFailed(uint32_t status) noexcept { return (status & 0x80000000u) != 0; }

// Protocol bits of SSLEnabledProtocols (client and server bit of each version).
inline constexpr uint32_t kProtPct1 = 0x3;
inline constexpr uint32_t kProtSsl2 = 0xC;
inline constexpr uint32_t kProtSsl3 = 0x30;
inline constexpr uint32_t kProtTls10 = 0xC0;
inline constexpr uint32_t kProtTls11 = 0x300;
inline constexpr uint32_t kProtTls12 = 0xC00;
inline constexpr uint32_t kProtTls13 = 0x3000;
inline constexpr uint32_t kProtUni = 0xC0000000;
// The client bit of each TLS version, as the connection info reports it.
inline constexpr uint32_t kProtTls10Client = 0x80;
inline constexpr uint32_t kProtTls11Client = 0x200;
inline constexpr uint32_t kProtTls12Client = 0x800;
inline constexpr uint32_t kProtTls13Client = 0x2000;

}  // namespace corvane::tls
