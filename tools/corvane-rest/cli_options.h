#pragma once

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

struct Options {
  std::string method;  // empty: GET, or POST when -d is given
  std::string url;
  std::vector<Step> steps;
  bool events = false;
  int verbosity = 0;
  bool progress = false;
  bool insecure = false;
  bool help = false;
};

// Parses argv; false with a message in error on a usage error.
bool ParseCommandLine(int argc, char** argv, Options& options, std::string& error);

const char* UsageText();

// True for an HTTP method token (any verb a server may know: HEAD, PATCH, ...).
bool IsMethodToken(std::string_view method);

}  // namespace corvane::cli
