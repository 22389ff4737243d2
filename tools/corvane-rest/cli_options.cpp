#include "corvane-rest/cli_options.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
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
         "  -L, --location   follow redirects (FollowRedirects=frAlways)\n"
         "  -u, --user U[:P] user name and password for the server (User, Password)\n"
         "  -I, --head       send HEAD and print the status line and headers\n"
         "  -i, --include    print the status line and headers before the body\n"
         "  -m, --max-time S give up after S seconds (Timeout; fractions allowed)\n"
         "  --connect-timeout S  give up connecting after S seconds (ConnectionTimeout)\n"
         "  --cacert FILE    trust the CA certificates in FILE (SSLTrustedCAFile)\n"
         "  --capath DIR     trust the CA certificates in DIR, hashed (SSLTrustedCADir)\n"
         "  --compressed     ask for a gzip or deflate body (AllowHTTPCompression)\n"
         "  --proxy URL      http://, socks4:// or socks5:// proxy, with user:password@ if needed\n"
         "  --http2          HTTP/2 for https URLs (HTTPVersion=2.0); http URLs stay HTTP/1.1\n"
         "  --list-properties, --list-config, --list-events, --list-errors\n"
         "                   print the reference table (tab-separated) and exit\n"
         "  --version        the client's and the library's version\n"
         "  -h, --help       this text\n"
         "A URL without a scheme is an http URL.\n";
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

std::string RequestUrl(std::string_view url) {
  if (url.find("://") != std::string_view::npos) return std::string(url);
  return "http://" + std::string(url);
}

bool ProxySettings(std::string_view url, std::vector<std::string>& settings, std::string& error) {
  std::string_view rest = url;
  std::string scheme = "http";
  if (size_t sep = rest.find("://"); sep != std::string_view::npos) {
    scheme = std::string(rest.substr(0, sep));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    rest.remove_prefix(sep + 3);
  }
  if (size_t slash = rest.find('/'); slash != std::string_view::npos) rest = rest.substr(0, slash);
  std::string user, password;
  bool hasUser = false;
  if (size_t at = rest.rfind('@'); at != std::string_view::npos) {
    std::string_view credentials = rest.substr(0, at);
    size_t colon = credentials.find(':');
    user = std::string(credentials.substr(0, colon));
    if (colon != std::string_view::npos) password = std::string(credentials.substr(colon + 1));
    hasUser = true;
    rest.remove_prefix(at + 1);
  }
  std::string host(rest);
  std::string port;
  // [v6]:port, or host:port.
  size_t colon = host.rfind(':');
  if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
    port = host.substr(colon + 1);
    host.erase(colon);
  }
  if (host.size() > 1 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.empty() || (!port.empty() && port.find_first_not_of("0123456789") != std::string::npos)) {
    error = "bad proxy " + std::string(url) + " (expected scheme://[user:password@]host[:port])";
    return false;
  }
  if (scheme == "http") {
    settings.push_back("ProxyServer=" + host);
    settings.push_back("ProxyPort=" + (port.empty() ? std::string("1080") : port));
    if (hasUser) {
      settings.push_back("ProxyUser=" + user);
      settings.push_back("ProxyPassword=" + password);
    }
  } else if (scheme == "socks4" || scheme == "socks4a" || scheme == "socks5" || scheme == "socks5h") {
    settings.push_back(std::string("FirewallType=") + (scheme[5] == '4' ? "fwSOCKS4" : "fwSOCKS5"));
    settings.push_back("FirewallHost=" + host);
    settings.push_back("FirewallPort=" + (port.empty() ? std::string("1080") : port));
    if (hasUser) {
      settings.push_back("FirewallUser=" + user);
      settings.push_back("FirewallPassword=" + password);
    }
  } else {
    error = "proxy scheme " + scheme + " is not supported (http, socks4, socks5)";
    return false;
  }
  return true;
}

namespace {

// Seconds, whole or with a fraction ("2", "0.5"), in milliseconds; -1 when malformed.
int64_t ParseSeconds(std::string_view text) {
  int64_t whole = 0, fraction = 0, scale = 1000;
  size_t i = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, digits = true) {
    whole = whole * 10 + (text[i] - '0');
    if (whole > 100000000) return -1;
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, digits = true) {
      if (scale > 1) fraction += (text[i] - '0') * (scale /= 10);
    }
  }
  if (!digits || i != text.size()) return -1;
  return whole * 1000 + fraction;
}

}  // namespace

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
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--list-properties") {
      o.listing = Listing::kProperties;
    } else if (arg == "--list-config") {
      o.listing = Listing::kConfig;
    } else if (arg == "--list-events") {
      o.listing = Listing::kEvents;
    } else if (arg == "--list-errors") {
      o.listing = Listing::kErrors;
    } else if (arg == "-L" || arg == "--location") {
      o.steps.push_back({Step::Kind::kSet, "FollowRedirects=frAlways"});
    } else if (arg == "-I" || arg == "--head") {
      o.method = "HEAD";
      o.include = true;
    } else if (arg == "-i" || arg == "--include") {
      o.include = true;
    } else if (arg == "--compressed") {
      o.steps.push_back({Step::Kind::kConfig, "AllowHTTPCompression=True"});
    } else if (arg == "--http2") {
      o.http2 = true;
    } else if (arg == "-u" || arg == "--user") {
      if (!needsValue(i, value)) return false;
      size_t colon = value.find(':');
      o.steps.push_back({Step::Kind::kSet, "User=" + value.substr(0, colon)});
      if (colon != std::string::npos) o.steps.push_back({Step::Kind::kSet, "Password=" + value.substr(colon + 1)});
    } else if (arg == "-m" || arg == "--max-time" || arg == "--connect-timeout") {
      if (!needsValue(i, value)) return false;
      // The engine counts in int milliseconds: about 24 days at the most.
      int64_t ms = ParseSeconds(value);
      if (ms < 0 || ms > std::numeric_limits<int>::max()) {
        error = std::string(arg) + " needs a number of seconds up to " +
                std::to_string(std::numeric_limits<int>::max() / 1000) + ", not " + value;
        return false;
      }
      (arg == "--connect-timeout" ? o.connectTimeoutMs : o.maxTimeMs) = ms;
    } else if (arg == "--cacert" || arg == "--capath") {
      if (!needsValue(i, value)) return false;
      o.steps.push_back({Step::Kind::kConfig,
                         (arg == "--cacert" ? "SSLTrustedCAFile=" : "SSLTrustedCADir=") + value});
    } else if (arg == "--proxy") {
      if (!needsValue(i, value)) return false;
      std::vector<std::string> settings;
      if (!ProxySettings(value, settings, error)) return false;
      for (std::string& s : settings) o.steps.push_back({Step::Kind::kSet, std::move(s)});
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
