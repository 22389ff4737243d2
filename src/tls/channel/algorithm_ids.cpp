#include "tls/channel/algorithm_ids.h"

#include "core/config_item.h"

namespace corvane::tls {

namespace {

struct AlgorithmName {
  std::string_view name;
  uint32_t id;
};

// The names SSLAlgorithmList understands and the identifiers the platform
// defines for them (wincrypt.h values).
constexpr AlgorithmName kAlgorithms[] = {
    {"CALG_3DES", 0x6603},           {"CALG_3DES_112", 0x6609},
    {"CALG_AES", 0x6611},            {"CALG_AES_128", 0x660e},
    {"CALG_AES_192", 0x660f},        {"CALG_AES_256", 0x6610},
    {"CALG_AGREEDKEY_ANY", 0xaa03},  {"CALG_CYLINK_MEK", 0x660c},
    {"CALG_DES", 0x6601},            {"CALG_DESX", 0x6604},
    {"CALG_DH_EPHEM", 0xaa02},       {"CALG_DH_SF", 0xaa01},
    {"CALG_DSS_SIGN", 0x2200},       {"CALG_ECDH", 0xaa05},
    {"CALG_ECDH_EPHEM", 0xae06},     {"CALG_ECDSA", 0x2203},
    {"CALG_ECMQV", 0xa001},          {"CALG_HASH_REPLACE_OWF", 0x800b},
    {"CALG_HUGHES_MD5", 0xa003},     {"CALG_HMAC", 0x8009},
    {"CALG_KEA_KEYX", 0xaa04},       {"CALG_MAC", 0x8005},
    {"CALG_MD2", 0x8001},            {"CALG_MD4", 0x8002},
    {"CALG_MD5", 0x8003},            {"CALG_NO_SIGN", 0x2000},
    {"CALG_OID_INFO_CNG_ONLY", 0xffffffff}, {"CALG_OID_INFO_PARAMETERS", 0xfffffffe},
    {"CALG_PCT1_MASTER", 0x4c04},    {"CALG_RC2", 0x6602},
    {"CALG_RC4", 0x6801},            {"CALG_RC5", 0x660d},
    {"CALG_RSA_KEYX", 0xa400},       {"CALG_RSA_SIGN", 0x2400},
    {"CALG_SCHANNEL_ENC_KEY", 0x4c07}, {"CALG_SCHANNEL_MAC_KEY", 0x4c03},
    {"CALG_SCHANNEL_MASTER_HASH", 0x4c02}, {"CALG_SEAL", 0x6802},
    {"CALG_SHA", 0x8004},            {"CALG_SHA1", 0x8004},
    {"CALG_SHA_256", 0x800c},        {"CALG_SHA_384", 0x800d},
    {"CALG_SHA_512", 0x800e},        {"CALG_SKIPJACK", 0x660a},
    {"CALG_SSL2_MASTER", 0x4c05},    {"CALG_SSL3_MASTER", 0x4c01},
    {"CALG_SSL3_SHAMD5", 0x8008},    {"CALG_TEK", 0x660b},
    {"CALG_TLS1_MASTER", 0x4c06},    {"CALG_TLS1PRF", 0x800a},
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

uint32_t AlgorithmId(std::string_view name) noexcept {
  for (const auto& a : kAlgorithms) {
    if (EqualsNoCase(a.name, name)) return a.id;
  }
  return 0;
}

std::vector<uint32_t> ParseAlgorithmList(std::string_view list) {
  std::vector<uint32_t> ids;
  while (!list.empty() && ids.size() < kMaxAlgorithms) {
    size_t comma = list.find(',');
    std::string_view name = Trim(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    if (uint32_t id = AlgorithmId(name); id != 0) ids.push_back(id);
  }
  return ids;
}

}  // namespace corvane::tls
