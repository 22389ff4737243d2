// Keep-alive GETs of the 1 KB JSON file on a local nginx three ways: the
// native engine, the platform backend (UseWinInet, libcurl on the worker
// thread with every event handed to the caller's thread), and plain libcurl
// on the calling thread. The gap between the last two is the cost of the
// hand-over. Usage: bench_platform (CORVANE_NGINX_PORT set) [benchmark flags].
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdlib>
#include <string>

#include "../bench_support.h"
#include "http/http_client.h"
#include "platform/curl_transport.h"

namespace {

std::string Url() {
  const char* port = std::getenv("CORVANE_NGINX_PORT");
  return std::string("http://127.0.0.1:") + (port ? port : "0") + "/data.json";
}

void RunClient(benchmark::State& state, bool platform) {
  corvane::HttpClient client;
  client.SetKeepAlive(true);
  if (platform) {
    client.SetPlatformTransportFactory(&corvane::platform::MakeCurlTransport);
    client.Config("UseWinInet=true");
  }
  client.SetURL(Url());
  for (auto _ : state) {
    if (client.Action(corvane::http::actGet) != 0 || client.TransferredData().size() != 1024) {
      state.SkipWithError(client.LastErrorText().c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void KeepAliveGetNative(benchmark::State& state) { RunClient(state, false); }
void KeepAliveGetPlatformBackend(benchmark::State& state) { RunClient(state, true); }

void KeepAliveGetPlainLibcurl(benchmark::State& state) {
  std::string body;
  std::string url = Url();
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, corvane::bench::CurlAppend);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  for (auto _ : state) {
    body.clear();
    if (curl_easy_perform(easy) != CURLE_OK || body.size() != 1024) {
      state.SkipWithError("libcurl request failed");
      break;
    }
  }
  curl_easy_cleanup(easy);
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(KeepAliveGetNative)->UseRealTime();
BENCHMARK(KeepAliveGetPlatformBackend)->UseRealTime();
BENCHMARK(KeepAliveGetPlainLibcurl)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
