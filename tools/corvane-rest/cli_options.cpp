#include "corvane-rest/cli_options.h"

#include <cstring>
#include <string_view>

namespace corvane::cli {

const char* UsageText() {
  return "usage: corvane-rest [OPTIONS] URL\n"
         "       corvane-rest -c QUERY... | -g NAME...   (settings and properties without a request)\n"
         "  -X METHOD        the request method (default GET, or POST with -d); any method token\n"
         "  -c TEXT          Config(TEXT) before the request; a query prints TEXT=answer after it\n"
         "  -s NAME=VALUE    set a property (NAME[i]=VALUE for indexed ones; enumerator names allowed)\n"
         "  -H 'Field: v'    add a request header line (OtherHeaders; Content-Type sets ContentType)\n"
         "  -d TEXT | @FILE  request body from TEXT (PostData) or from FILE (AttachedFile); @- reads stdin\n"
         "  -o FILE          write the response body to FILE (LocalFile); - is standard output\n"
         "  -x PATH          after the request: set XPath and print XText\n"
         "  -g NAME          after the request: print NAME=value of a property (NAME[i] for indexed)\n"
         "  --events         print every event as one JSON object per line\n"
         "  -v, -vv          log at level 2 or 3 on standard error\n"
         "  --progress       draw a progress bar on standard error even when it is not a terminal\n"
         "  -k               accept the server certificate whatever its status\n"
         "  -h, --help       this text\n";
}

bool IsMethodToken(std::string_view method) {
  // RFC 9110 section 5.6.2: tchar.
  constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
  if (method.empty()) return false;
  for (char c : method) {
    bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!alnum && kSymbols.find(c) == std::string_view::npos) return false;
  }
  return true;
}

bool ParseCommandLine(int argc, char** argv, Options& o, std::string& error) {
  auto needsValue = [&](int& i, std::string& value) {
    if (i + 1 >= argc) {
      error = std::string("option ") + argv[i] + " needs a value";
      return false;
    }
    value = argv[++i];
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string value;
    if (arg == "-X") {
      if (!needsValue(i, value)) return false;
      for (char& c : value) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (!IsMethodToken(value)) {
        error = "bad method " + value + " (a method is a token such as GET, HEAD or PATCH)";
        return false;
      }
      o.method = value;
    } else if (arg == "-c" || arg == "-s" || arg == "-H" || arg == "-d" || arg == "-o" ||
               arg == "-x" || arg == "-g") {
      if (!needsValue(i, value)) return false;
      Step::Kind kind = Step::Kind::kConfig;
      switch (arg[1]) {
        case 'c': kind = Step::Kind::kConfig; break;
        case 's':
          kind = Step::Kind::kSet;
          if (value.find('=') == std::string::npos) {
            error = "-s needs NAME=VALUE";
            return false;
          }
          break;
        case 'H': kind = Step::Kind::kHeader; break;
        case 'd':
          kind = !value.empty() && value[0] == '@' ? Step::Kind::kAttach : Step::Kind::kPostData;
          if (kind == Step::Kind::kAttach) value.erase(0, 1);
          break;
        case 'o': kind = Step::Kind::kOutput; break;
        case 'x': kind = Step::Kind::kXPath; break;
        case 'g': kind = Step::Kind::kGet; break;
      }
      o.steps.push_back({kind, value});
    } else if (arg == "--events") {
      o.events = true;
    } else if (arg == "-v") {
      o.verbosity = std::max(o.verbosity, 2);
    } else if (arg == "-vv") {
      o.verbosity = 3;
    } else if (arg == "--progress") {
      o.progress = true;
    } else if (arg == "-k") {
      o.insecure = true;
    } else if (arg == "-h" || arg == "--help") {
      o.help = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + std::string(arg);
      return false;
    } else if (o.url.empty()) {
      o.url = arg;
    } else {
      error = "more than one URL given";
      return false;
    }
  }
  return true;
}

}  // namespace corvane::cli
