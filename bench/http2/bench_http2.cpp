// HTTP/2 over TLS against libcurl with nghttp2, on the same local nghttpd in
// the same run: GETs on one kept connection (libcurl reuses its connection as
// it normally does, the engine with KeepAlive takes the next stream on its
// own), and a 100 MB body into memory. Usage: bench_http2 PORT (or
// CORVANE_NGHTTPD_PORT); the server is tests/servers/nghttpd/start with
// CORVANE_H2_BENCH_FILES=1.
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "../bench_support.h"
#include "corvane/events.h"
#include "http/http_enums.h"
#include "rest/rest_client.h"

namespace {

using corvane::bench::Best;
using corvane::bench::Clock;
using corvane::bench::CurlAppend;
using corvane::bench::Seconds;

struct CurlClient {
  CURL* easy = curl_easy_init();
  std::string body;
  explicit CurlClient(const std::string& url) {
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, CurlAppend);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  ~CurlClient() { curl_easy_cleanup(easy); }
  bool Get() {
    body.clear();
    if (curl_easy_perform(easy) != CURLE_OK) return false;
    long status = 0, version = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(easy, CURLINFO_HTTP_VERSION, &version);
    return status == 200 && version == CURL_HTTP_VERSION_2_0;
  }
};

// The benchmark's certificate comes from the start script's own CA.
class AcceptAll : public corvane::RESTEvents {
 public:
  void SSLServerAuthentication(std::string&, std::string&, std::string&, std::string&,
                               bool& accept) override {
    accept = true;
  }
};

bool OurGet(corvane::RestClient& c) {
  int rc = c.Action(corvane::http::actGet);
  if (rc != 0) std::fprintf(stderr, "engine: %d %s\n", rc, c.LastErrorText().c_str());
  return rc == 0 && c.StatusCode() == 200 && c.NegotiatedHTTPVersion() == "2.0";
}

void Line(const char* name, double ours, double curl, const char* unit, double work) {
  double a = work / ours, b = work / curl;
  std::printf("%-44s engine %10.1f %s   libcurl %10.1f %s   ratio %.2fx\n", name, a, unit, b, unit,
              a / b);
}

}  // namespace

int main(int argc, char** argv) {
  const char* env = std::getenv("CORVANE_NGHTTPD_PORT");
  int port = argc > 1 ? std::atoi(argv[1]) : (env ? std::atoi(env) : 0);
  if (port == 0) {
    std::fprintf(stderr, "usage: bench_http2 PORT (nghttpd from tests/servers/nghttpd/start)\n");
    return 2;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::string base = "https://127.0.0.1:" + std::to_string(port);
  AcceptAll accept;
  const int kRequests = 2000;
  const double kBig = 100.0 * 1024 * 1024;

  // (a) small GETs, one kept connection each side.
  corvane::RestClient small;
  small.SetListener(&accept);
  small.SetHTTPVersion("2.0");
  small.SetKeepAlive(true);
  small.SetURL(base + "/hello.txt");
  double oursA = Best(1, [&] {
    for (int i = 0; i < kRequests; ++i)
      if (!OurGet(small)) return false;
    return true;
  });
  CurlClient curlA(base + "/hello.txt");
  double curlAs = Best(1, [&] {
    for (int i = 0; i < kRequests; ++i)
      if (!curlA.Get()) return false;
    return true;
  });
  if (oursA < 0 || curlAs < 0) return 1;
  Line("(a) 2000 GETs on a kept connection", oursA, curlAs, "req/s", kRequests);

  // (b) 100 MB into memory.
  corvane::RestClient big;
  big.SetListener(&accept);
  big.SetHTTPVersion("2.0");
  big.SetURL(base + "/big.bin");
  CurlClient curlB(base + "/big.bin");
  double oursB = Best(3, [&] { return OurGet(big) && big.TransferredData().size() == kBig; });
  double curlBs = Best(3, [&] { return curlB.Get() && curlB.body.size() == kBig; });
  if (oursB < 0 || curlBs < 0) return 1;
  Line("(b) 100 MB body into memory", oursB, curlBs, "MB/s", 100);

  curl_global_cleanup();
  return 0;
}
