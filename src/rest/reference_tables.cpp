// The error rows of every layer's table and the configuration keys of every
// handler, gathered for the public reference (corvane-rest --list-errors,
// --list-config and the generated documentation).
#include "corvane/errors.h"
#include "http/cookie_list.h"

namespace corvane {

namespace {

constexpr ErrorDesc kErrors[] = {
    // The core's own codes, raised outside any table.
    {-1, "core", "UnknownConfig", "Unknown config setting."},
    {200, "core", "OutOfMemory", "Out of memory."},
    {301, "core", "Interrupted", "Interrupted."},
#define CORVANE_WINSOCK_ERROR(code, text) {code, "socket", "", text},
#include "core/winsock_errors.def"
#undef CORVANE_WINSOCK_ERROR
#define CRYPTO_ERROR(name, code, text) {code, "crypto", #name, text},
#include "crypto/crypto_errors.def"
#undef CRYPTO_ERROR
#define XML_ERROR(name, code, text) {code, "xml", #name, text},
#include "xml/xml_errors.def"
#undef XML_ERROR
#define CORVANE_JSON_ERROR(name, code, text) {code, "json", #name, text},
#include "json/json_errors.def"
#undef CORVANE_JSON_ERROR
#define CORVANE_NET_ERROR(name, code, text) {code, "net", #name, text},
#include "net/net_errors.def"
#undef CORVANE_NET_ERROR
#define CORVANE_KEY_ERROR(name, code, text) {code, "keys", #name, text},
#include "tls/keys/key_errors.def"
#undef CORVANE_KEY_ERROR
#define CORVANE_TLS_ERROR(name, code, text) {code, "tls", #name, text},
#include "tls/channel/tls_errors.def"
#undef CORVANE_TLS_ERROR
#define CORVANE_AUTH_ERROR(name, code, text) {code, "auth", #name, text},
#include "http/auth/auth_errors.def"
#undef CORVANE_AUTH_ERROR
#define CORVANE_HTTP_ERROR(name, code, text) {code, "http", #name, text},
#include "http/http_errors.def"
#undef CORVANE_HTTP_ERROR
    {kErrCookieIndex, "http", "CookieIndex", kCookieIndexMessage},
#define CORVANE_H2_MESSAGE(name, code, text) {code, "http2", #name, text},
#include "http2/http2_errors.def"
#undef CORVANE_H2_MESSAGE
#define CORVANE_DISPATCH_ERROR(name, code, hresult, text) {code, "dispatch", #name, text},
#include "rest/dispatch_errors.def"
#undef CORVANE_DISPATCH_ERROR
};

// Generated at build time from the configuration handlers of every layer.
constexpr ConfigKeyDesc kConfigKeys[] = {
#define CORVANE_CONFIG_KEY(name, layer) {name, layer},
#include "config_keys.inc"
#undef CORVANE_CONFIG_KEY
};

}  // namespace

std::span<const ErrorDesc> ErrorTable() { return kErrors; }

std::span<const ConfigKeyDesc> ConfigKeyTable() { return kConfigKeys; }

}  // namespace corvane
