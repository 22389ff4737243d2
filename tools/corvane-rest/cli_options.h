#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::cli {

// One step of a command line, applied in the order given.
struct Step {
  enum class Kind {
    kConfig,    // -c TEXT, before the request; a query is answered after it
    kSet,       // -s NAME=VALUE
    kHeader,    // -H "Field: value"
    kPostData,  // -d TEXT
    kAttach,    // -d @FILE
    kOutput,    // -o FILE
    kXPath,     // -x PATH, after the request
    kGet,       // -g NAME, after the request
  };
  Kind kind;
  std::string text;
};

// The reference tables --list-... prints instead of sending a request.
enum class Listing { kNone, kProperties, kConfig, kEvents, kErrors };

struct Options {
  std::string method;  // empty: GET, or POST when -d is given
  std::string url;
  std::vector<Step> steps;
  bool events = false;
  int verbosity = 0;
  bool progress = false;
  bool insecure = false;
  bool help = false;
  bool version = false;
  bool include = false;  // print the status line and headers before the body
  bool http2 = false;    // HTTP/2 for https URLs
  int64_t maxTimeMs = -1;         // -m: Timeout; -1 when not given
  int64_t connectTimeoutMs = -1;  // --connect-timeout: ConnectionTimeout
  Listing listing = Listing::kNone;
};

// Parses argv; false with a message in error on a usage error.
bool ParseCommandLine(int argc, char** argv, Options& options, std::string& error);

const char* UsageText();

// The URL as requested: one without a scheme means http.
std::string RequestUrl(std::string_view url);

// "scheme://[user[:password]@]host[:port]" of --proxy, split into the
// settings it stands for (Name=value lines for -s); false for a scheme the
// client cannot use.
bool ProxySettings(std::string_view url, std::vector<std::string>& settings, std::string& error);

// True for an HTTP method token (any verb a server may know: HEAD, PATCH, ...).
bool IsMethodToken(std::string_view method);

}  // namespace corvane::cli
