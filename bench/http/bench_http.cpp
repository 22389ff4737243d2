// HTTP/1.x engine against libcurl's easy interface, on the same local nginx
// in the same run: keep-alive GETs, GETs on new connections, a 100 MB body
// into memory (plain and gzip), and a plain blocking-socket read of the same
// body as the floor; with CORVANE_PROXY_PORT (tinyproxy with Basic proxy
// credentials, tests/servers/proxy) also keep-alive GETs through the proxy.
// Usage: bench_http PORT (or CORVANE_NGINX_PORT) [ROWS], ROWS the letters of
// the rows to run (default all).
#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

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
  CurlClient(const std::string& url, bool reuse, bool gzip, const std::string& proxy = {},
             const std::string& proxyCredentials = {}) {
    if (!proxy.empty()) {
      curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
      curl_easy_setopt(easy, CURLOPT_PROXYUSERPWD, proxyCredentials.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, CurlAppend);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (!reuse) curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    if (gzip) curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip");
  }
  ~CurlClient() { curl_easy_cleanup(easy); }
  bool Get() {
    body.clear();
    long status = 0;
    if (CURLcode rc = curl_easy_perform(easy); rc != CURLE_OK) {
      std::fprintf(stderr, "libcurl: %s\n", curl_easy_strerror(rc));
      return false;
    }
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) std::fprintf(stderr, "libcurl: status %ld\n", status);
    return status == 200;
  }
};

bool OurGet(corvane::HttpClient& c) {
  int rc = c.Action(corvane::http::actGet);
  if (rc != 0) std::fprintf(stderr, "engine: %d %s\n", rc, c.LastErrorText().c_str());
  return rc == 0 && c.StatusCode() == 200;
}

bool PlainSocketRead(int port, size_t expect) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
  std::string req = "GET /big.bin HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  send(fd, req.data(), req.size(), 0);
  static std::vector<char> buf(expect + (1 << 20));
  size_t total = 0;
  for (;;) {
    ssize_t n = recv(fd, buf.data() + total, std::min<size_t>(buf.size() - total, 1 << 20), 0);
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
  close(fd);
  return total > expect;
}

void Line(const char* name, double ours, double curl, const char* unit, double work) {
  if (ours < 0 || curl < 0) {
    std::printf("%-44s engine %s   libcurl %s\n", name, ours < 0 ? "failed" : std::to_string(work / ours).c_str(),
                curl < 0 ? "failed" : std::to_string(work / curl).c_str());
    return;
  }
  double a = work / ours, b = work / curl;
  std::printf("%-44s engine %10.1f %s   libcurl %10.1f %s   ratio %.2fx\n", name, a, unit, b, unit, a / b);
}

}  // namespace

int main(int argc, char** argv) {
  const char* env = std::getenv("CORVANE_NGINX_PORT");
  int port = argc > 1 ? std::atoi(argv[1]) : (env ? std::atoi(env) : 0);
  if (port == 0) {
    std::fprintf(stderr, "usage: bench_http PORT (nginx from tests/servers/nginx/start)\n");
    return 2;
  }
  const char* rows = argc > 2 ? argv[2] : "abcde";
  auto want = [&](char row) { return std::strchr(rows, row) != nullptr; };
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::string base = "http://127.0.0.1:" + std::to_string(port);
  const int kRequests = 20000;
  const double kBig = 100.0 * 1024 * 1024;

  if (want('a')) {
    // (a) keep-alive GETs of a 1 KB JSON file.
    corvane::HttpClient ka;
    ka.SetKeepAlive(true);
    ka.SetURL(base + "/data.json");
    double oursA = Best(1, [&] {
      for (int i = 0; i < kRequests; ++i)
        if (!OurGet(ka)) return false;
      return true;
    });
    CurlClient curlA(base + "/data.json", true, false);
    double curlAs = Best(1, [&] {
      for (int i = 0; i < kRequests; ++i)
        if (!curlA.Get()) return false;
      return true;
    });
    Line("(a) 20000 keep-alive GETs, 1 KB JSON", oursA, curlAs, "req/s", kRequests);
  }

  if (want('b')) {
    // (b) the same with a new connection for each request.
    const int kFresh = kRequests;
    corvane::HttpClient fresh;
    fresh.SetURL(base + "/data.json");
    double oursB = Best(1, [&] {
      for (int i = 0; i < kFresh; ++i)
        if (!OurGet(fresh)) return false;
      return true;
    });
    CurlClient curlB(base + "/data.json", false, false);
    double curlBs = Best(1, [&] {
      for (int i = 0; i < kFresh; ++i)
        if (!curlB.Get()) return false;
      return true;
    });
    Line("(b) 20000 GETs, new connection each", oursB, curlBs, "req/s", kFresh);
  }

  if (want('c')) {
    // (c) 100 MB into memory.
    corvane::HttpClient big;
    big.SetURL(base + "/big.bin");
    CurlClient curlC(base + "/big.bin", true, false);
    double oursC = Best(3, [&] { return OurGet(big) && big.TransferredData().size() == kBig; });
    double curlCs = Best(3, [&] { return curlC.Get() && curlC.body.size() == kBig; });
    double floor = Best(3, [&] { return PlainSocketRead(port, static_cast<size_t>(kBig)); });
    Line("(c) 100 MB body into memory", oursC, curlCs, "MB/s", 100);
    std::printf("%-44s plain socket read %8.1f MB/s   engine/plain %.2fx\n", "    floor", 100 / floor,
                floor / oursC);
  }

  if (want('d')) {
    // (d) the same, gzip-encoded.
    corvane::HttpClient gz;
    gz.Config("AllowHTTPCompression=true");
    gz.SetURL(base + "/big.bin");
    CurlClient curlD(base + "/big.bin", true, true);
    double oursD = Best(3, [&] { return OurGet(gz) && gz.TransferredData().size() == kBig; });
    double curlDs = Best(3, [&] { return curlD.Get() && curlD.body.size() == kBig; });
    Line("(d) 100 MB body, gzip-encoded", oursD, curlDs, "MB/s", 100);
  }

  // (e) GETs through tinyproxy, Basic proxy credentials sent with every
  // request by both clients: with keep-alive asked for, then with a new
  // connection each. tinyproxy closes the client connection after every
  // answer, so the first form measures how a client copes with that.
  const char* proxyPort = std::getenv("CORVANE_PROXY_PORT");
  const char* proxyUser = std::getenv("CORVANE_PROXY_USER");
  const char* proxyPassword = std::getenv("CORVANE_PROXY_PASSWORD");
  if (want('e') && proxyPort != nullptr && proxyUser != nullptr && proxyPassword != nullptr) {
    const int kProxied = 500;
    for (bool keepAlive : {true, false}) {
      corvane::HttpClient viaProxy;
      viaProxy.SetKeepAlive(keepAlive);
      viaProxy.ProxyServer() = "127.0.0.1";
      viaProxy.ProxyPort() = std::atoi(proxyPort);
      viaProxy.SetProxyUser(proxyUser);
      viaProxy.SetProxyPassword(proxyPassword);
      viaProxy.SetURL(base + "/data.json");
      double oursE = Best(1, [&] {
        for (int i = 0; i < kProxied; ++i)
          if (!OurGet(viaProxy)) return false;
        return true;
      });
      CurlClient curlE(base + "/data.json", keepAlive, false, std::string("http://127.0.0.1:") + proxyPort,
                       std::string(proxyUser) + ":" + proxyPassword);
      double curlEs = Best(1, [&] {
        for (int i = 0; i < kProxied; ++i)
          if (!curlE.Get()) return false;
        return true;
      });
      Line(keepAlive ? "(e) 500 GETs via tinyproxy, keep-alive asked" : "(e) 500 GETs via tinyproxy, new connections",
           oursE, curlEs, "req/s", kProxied);
    }
  }

  curl_global_cleanup();
  return 0;
}
