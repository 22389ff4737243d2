#pragma once

// Timing and libcurl helpers shared by the network benchmarks.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace corvane::bench {

using Clock = std::chrono::steady_clock;

// Seconds one run takes, or -1 when it fails.
inline double Seconds(const std::function<bool()>& run) {
  auto start = Clock::now();
  if (!run()) return -1;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Best of n runs (a shared machine: the best run is the least disturbed one).
inline double Best(int n, const std::function<bool()>& run) {
  double best = 1e30;
  for (int i = 0; i < n; ++i) {
    double s = Seconds(run);
    if (s < 0) return -1;
    if (s < best) best = s;
  }
  return best;
}

// libcurl write callback appending to the std::string given as user data.
inline size_t CurlAppend(char* data, size_t size, size_t n, void* user) {
  static_cast<std::string*>(user)->append(data, size * n);
  return size * n;
}

}  // namespace corvane::bench
