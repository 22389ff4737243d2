// HTTPS through the engine against libcurl (OpenSSL backend) on the same
// local nginx in the same run: keep-alive GETs, GETs with a full handshake
// each, and a 100 MB body into memory, at TLS 1.2 and TLS 1.3.
// Usage: bench_tls PORT (or CORVANE_TLS_VALID_PORT); SSL_CERT_FILE names the
// test CA (tests/servers/tls/start exports it).
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "../bench_support.h"
#include "http/http_client.h"

namespace {

using corvane::bench::Best;
using corvane::bench::Clock;
using corvane::bench::CurlAppend;
using corvane::bench::Seconds;

struct CurlClient {
  CURL* easy = curl_easy_init();
  std::string body;
  CurlClient(const std::string& url, bool reuse, bool tls13) {
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, CurlAppend);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (const char* ca = std::getenv("SSL_CERT_FILE")) curl_easy_setopt(easy, CURLOPT_CAINFO, ca);
    long version = tls13 ? static_cast<long>(CURL_SSLVERSION_TLSv1_3) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_3)
                         : static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2);
    curl_easy_setopt(easy, CURLOPT_SSLVERSION, version);
    // Both sides do a full handshake per new connection.
    curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    if (!reuse) curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  }
  ~CurlClient() { curl_easy_cleanup(easy); }
  bool Get() {
    body.clear();
    long status = 0;
    CURLcode rc = curl_easy_perform(easy);
    if (rc != CURLE_OK) {
      std::fprintf(stderr, "libcurl: %s\n", curl_easy_strerror(rc));
      return false;
    }
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return status == 200;
  }
};

bool OurGet(corvane::HttpClient& c) {
  int rc = c.Action(corvane::http::actGet);
  if (rc != 0) std::fprintf(stderr, "engine: %d %s\n", rc, c.LastErrorText().c_str());
  return rc == 0 && c.StatusCode() == 200;
}

void Setup(corvane::HttpClient& c, const std::string& url, bool keepAlive, bool tls13) {
  c.SetKeepAlive(keepAlive);
  c.Config(tls13 ? "SSLEnabledProtocols=0x3000" : "SSLEnabledProtocols=0x0C00");
  c.SetURL(url);
}

void Line(const std::string& name, double ours, double curl, const char* unit, double work) {
  double a = work / ours, b = work / curl;
  std::printf("%-48s engine %9.1f %s   libcurl %9.1f %s   ratio %.2fx\n", name.c_str(), a, unit, b, unit, a / b);
}

}  // namespace

int main(int argc, char** argv) {
  const char* env = std::getenv("CORVANE_TLS_VALID_PORT");
  int port = argc > 1 ? std::atoi(argv[1]) : (env ? std::atoi(env) : 0);
  if (port == 0) {
    std::fprintf(stderr, "usage: bench_tls PORT (nginx from tests/servers/tls/start)\n");
    return 2;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::string base = "https://localhost:" + std::to_string(port);
  const int kRequests = 10000;
  const int kFresh = 1000;
  const double kBig = 100.0 * 1024 * 1024;

  for (bool tls13 : {false, true}) {
    std::string v = tls13 ? "TLS 1.3" : "TLS 1.2";
    corvane::HttpClient ka;
    Setup(ka, base + "/data.json", true, tls13);
    CurlClient curlA(base + "/data.json", true, tls13);
    double oursA = Best(1, [&] {
      for (int i = 0; i < kRequests; ++i)
        if (!OurGet(ka)) return false;
      return true;
    });
    double curlAs = Best(1, [&] {
      for (int i = 0; i < kRequests; ++i)
        if (!curlA.Get()) return false;
      return true;
    });
    Line("(a) " + v + ": 10000 keep-alive GETs, 1 KB", oursA, curlAs, "req/s", kRequests);

    corvane::HttpClient fresh;
    Setup(fresh, base + "/data.json", false, tls13);
    CurlClient curlB(base + "/data.json", false, tls13);
    double oursB = Best(1, [&] {
      for (int i = 0; i < kFresh; ++i)
        if (!OurGet(fresh)) return false;
      return true;
    });
    double curlBs = Best(1, [&] {
      for (int i = 0; i < kFresh; ++i)
        if (!curlB.Get()) return false;
      return true;
    });
    Line("(b) " + v + ": 1000 GETs, full handshake each", oursB, curlBs, "req/s", kFresh);

    corvane::HttpClient big;
    Setup(big, base + "/big.bin", true, tls13);
    CurlClient curlC(base + "/big.bin", true, tls13);
    double oursC = Best(3, [&] { return OurGet(big) && big.TransferredData().size() == kBig; });
    double curlCs = Best(3, [&] { return curlC.Get() && curlC.body.size() == kBig; });
    Line("(c) " + v + ": 100 MB body into memory", oursC, curlCs, "MB/s", 100);
  }
  curl_global_cleanup();
  return 0;
}
