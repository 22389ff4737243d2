#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace corvane::tls {

// Algorithm identifiers as the platform's cryptography API numbers them
// (class | type | sub-id); SSLAlgorithmList names them and the negotiated
// parameters are reported with them.
namespace alg {
inline constexpr uint32_t kClassSignature = 0x2000;
inline constexpr uint32_t kClassMsgEncrypt = 0x4000;
inline constexpr uint32_t kClassDataEncrypt = 0x6000;
inline constexpr uint32_t kClassHash = 0x8000;
inline constexpr uint32_t kClassKeyExchange = 0xA000;
inline constexpr uint32_t kClassMask = 0xE000;

inline constexpr uint32_t kMd5 = 0x8003;
inline constexpr uint32_t kSha1 = 0x8004;
inline constexpr uint32_t kSha256 = 0x800c;
inline constexpr uint32_t kSha384 = 0x800d;
inline constexpr uint32_t kSha512 = 0x800e;
inline constexpr uint32_t kRsaSign = 0x2400;
inline constexpr uint32_t kDssSign = 0x2200;
inline constexpr uint32_t kEcdsa = 0x2203;
inline constexpr uint32_t kRsaKeyx = 0xa400;
inline constexpr uint32_t kDhEphem = 0xaa02;
inline constexpr uint32_t kKeaKeyx = 0xaa04;
inline constexpr uint32_t kEcdh = 0xaa05;
inline constexpr uint32_t kEcdhEphem = 0xae06;
inline constexpr uint32_t kDes = 0x6601;
inline constexpr uint32_t kRc2 = 0x6602;
inline constexpr uint32_t k3Des = 0x6603;
inline constexpr uint32_t k3Des112 = 0x6609;
inline constexpr uint32_t kSkipjack = 0x660a;
inline constexpr uint32_t kCylinkMek = 0x660c;
inline constexpr uint32_t kAes128 = 0x660e;
inline constexpr uint32_t kAes192 = 0x660f;
inline constexpr uint32_t kAes256 = 0x6610;
inline constexpr uint32_t kAes = 0x6611;
inline constexpr uint32_t kRc4 = 0x6801;
}  // namespace alg

// At most this many names of SSLAlgorithmList are taken.
inline constexpr size_t kMaxAlgorithms = 32;

// Splits on commas, trims blanks, and maps each name (case-insensitive) to its
// identifier in the order given; unknown names are skipped.
std::vector<uint32_t> ParseAlgorithmList(std::string_view list);

// The identifier of one name, or 0.
uint32_t AlgorithmId(std::string_view name) noexcept;

}  // namespace corvane::tls
