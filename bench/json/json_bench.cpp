// Parses one generated ~50 MB document with JsonParser (tree on, events off)
// and, in the same run, with RapidJSON (DOM), nlohmann::json and yajl_tree.
// Prints throughput, peak heap growth and resident-set growth per parser and
// the ratios against the anchors.
//
//   json_bench [megabytes] [repetitions]
//   json_bench --save FILE [megabytes]   writes the document (for profiling)
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <yajl/yajl_tree.h>

#include "json/json_parser.h"

namespace bench_alloc {
extern size_t inUse;
extern size_t peak;
}  // namespace bench_alloc

namespace {

// A deterministic generator (xorshift) so every run parses the same bytes.
struct Random {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
};

const char* const kWords[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf",
                              "hotel", "india", "juliett", "kilo", "lima", "mike", "november"};

void AppendWords(std::string& out, Random& r, int count) {
  for (int i = 0; i < count; ++i) {
    if (i > 0) out += ' ';
    out += kWords[r.Below(14)];
  }
}

// A string with the escapes answers carry: quotes, backslashes, line breaks,
// \u sequences and some UTF-8.
void AppendText(std::string& out, Random& r) {
  out += '"';
  AppendWords(out, r, 2 + r.Below(8));
  switch (r.Below(6)) {
    case 0: out += " \\\"quoted\\\""; break;
    case 1: out += "\\nsecond line\\tcol"; break;
    case 2: out += " caf\\u00e9 \\u4e2d\\u6587"; break;
    case 3: out += " C:\\\\path\\\\file"; break;
    case 4: out += " na\xC3\xAFve \xE2\x82\xAC"; break;
    default: break;
  }
  out += '"';
}

void AppendNumber(std::string& out, Random& r) {
  switch (r.Below(4)) {
    case 0: out += std::to_string(r.Below(1000000)); break;
    case 1: out += "-" + std::to_string(r.Below(1000)) + "." + std::to_string(r.Below(10000)); break;
    case 2: out += std::to_string(r.Below(100)) + "." + std::to_string(r.Below(100)) + "e-" +
                   std::to_string(r.Below(20)); break;
    default: out += std::to_string(r.Next() % 10000000000ull); break;
  }
}

void AppendRecord(std::string& out, Random& r, int id) {
  out += "{\"id\": " + std::to_string(id);
  out += ", \"guid\": \"";
  for (int i = 0; i < 4; ++i) {
    char hex[12];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(r.Next()));
    out += hex;
  }
  out += "\", \"active\": ";
  out += r.Below(2) ? "true" : "false";
  out += ", \"score\": ";
  AppendNumber(out, r);
  out += ", \"name\": ";
  AppendText(out, r);
  out += ", \"about\": ";
  AppendText(out, r);
  out += ", \"tags\": [";
  for (int i = 0, n = r.Below(6); i < n; ++i) {
    if (i > 0) out += ", ";
    out += '"';
    out += kWords[r.Below(14)];
    out += '"';
  }
  out += "], \"geo\": {\"lat\": ";
  AppendNumber(out, r);
  out += ", \"lng\": ";
  AppendNumber(out, r);
  out += "}, \"history\": [";
  for (int i = 0, n = r.Below(4); i < n; ++i) {
    if (i > 0) out += ", ";
    out += "{\"at\": " + std::to_string(1700000000 + r.Below(100000000)) + ", \"value\": ";
    AppendNumber(out, r);
    out += ", \"note\": ";
    if (r.Below(3) == 0) {
      out += "null";
    } else {
      AppendText(out, r);
    }
    out += ", \"matrix\": [[1, 2], [3, [4, 5]]]}";
  }
  out += "], \"parent\": {\"id\": " + std::to_string(r.Below(id + 1)) +
         ", \"path\": {\"a\": {\"b\": {\"c\": [\"deep\"]}}}}}";
}

std::string Generate(size_t bytes) {
  Random r;
  std::string out = "{\"source\": \"generated\", \"items\": [\n";
  for (int id = 0; out.size() < bytes; ++id) {
    if (id > 0) out += ",\n  ";
    AppendRecord(out, r, id);
  }
  out += "\n]}\n";
  return out;
}

size_t ProcStatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  size_t len = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, len, field) == 0) return std::strtoull(line.c_str() + len + 1, nullptr, 10);
  }
  return 0;
}

// Starts a fresh high-water mark of the resident set (Linux 4.0+).
void ResetRssPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

struct Result {
  std::string name;
  double seconds = 0;      // best of the repetitions, warm heap
  double coldSeconds = 0;  // best of the repetitions, allocator defaults
  size_t heapPeak = 0;   // bytes allocated (heap and mappings) at the peak, above the start
  size_t rssGrowth = 0;  // resident-set high-water mark above the start
  bool ok = false;
};

// parse() builds a document and returns an owner of it; the owner is
// destroyed outside the timed region.
using Owner = std::shared_ptr<void>;

// Memory is measured in a child process forked before any parser has run, so
// what earlier parsers left in the allocator cannot hide what this one needs.
void MeasureMemory(Result& result, const std::function<Owner(bool&)>& parse) {
  int channel[2];
  if (pipe(channel) != 0) return;
  pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    ResetRssPeak();
    size_t rssBefore = ProcStatusKb("VmRSS:");
    size_t heapBefore = bench_alloc::inUse;
    bench_alloc::peak = heapBefore;
    bool ok = false;
    Owner doc = parse(ok);
    size_t sample[3] = {bench_alloc::peak - heapBefore, 0, ok ? 1u : 0u};
    size_t hwm = ProcStatusKb("VmHWM:");
    sample[1] = hwm > rssBefore ? (hwm - rssBefore) * 1024 : 0;
    ssize_t written = write(channel[1], sample, sizeof sample);
    _exit(written == sizeof sample ? 0 : 1);
  }
  close(channel[1]);
  size_t sample[3] = {0, 0, 0};
  ssize_t got = read(channel[0], sample, sizeof sample);
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (got != sizeof sample) return;
  result.heapPeak = sample[0];
  result.rssGrowth = sample[1];
  result.ok = sample[2] != 0;
}

// Best wall time of the repetitions; the document is destroyed untimed.
void MeasureTime(Result& result, int repetitions, const std::function<Owner(bool&)>& parse) {
  result.seconds = 1e30;
  for (int i = 0; i < repetitions; ++i) {
    bool ok = false;
    auto start = std::chrono::steady_clock::now();
    Owner doc = parse(ok);
    auto stop = std::chrono::steady_clock::now();
    result.ok = result.ok && ok;
    result.seconds = std::min(result.seconds, std::chrono::duration<double>(stop - start).count());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--save") == 0) {
    std::ofstream(argv[2], std::ios::binary) << Generate(static_cast<size_t>(
        (argc > 3 ? std::atof(argv[3]) : 50) * 1e6));
    return 0;
  }
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 50;
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string text = Generate(static_cast<size_t>(megabytes * 1e6));
  const double size = static_cast<double>(text.size());
  std::printf("document: %.1f MB, %d repetitions (best time)\n", size / 1e6, repetitions);

  struct Entry {
    const char* name;
    std::function<Owner(bool&)> parse;
  };
  const Entry entries[] = {
      {"corvane JsonParser (tree)",
       [&](bool& ok) {
         auto parser = std::make_shared<corvane::JsonParser>();
         ok = parser->Parse(text) == 0 && parser->Document().NodeCount() > 1;
         return Owner(parser);
       }},
      {"RapidJSON Document",
       [&](bool& ok) {
         auto doc = std::make_shared<rapidjson::Document>();
         doc->Parse(text.data(), text.size());
         ok = !doc->HasParseError() && (*doc)["items"].Size() > 0;
         return Owner(doc);
       }},
      {"nlohmann::json",
       [&](bool& ok) {
         auto doc = std::make_shared<nlohmann::json>(nlohmann::json::parse(text, nullptr, false));
         ok = !doc->is_discarded() && (*doc)["items"].size() > 0;
         return Owner(doc);
       }},
      {"yajl_tree",
       [&](bool& ok) {
         char error[256];
         yajl_val tree = yajl_tree_parse(text.c_str(), error, sizeof error);
         ok = tree != nullptr;
         return Owner(tree, [](void* v) { yajl_tree_free(static_cast<yajl_val>(v)); });
       }},
      {"corvane JsonParser (no tree)",
       [&](bool& ok) {
         auto parser = std::make_shared<corvane::JsonParser>();
         parser->SetBuildDOM(false);
         ok = parser->Parse(text) == 0;
         return Owner(parser);
       }},
  };
  std::vector<Result> results;
  for (const Entry& e : entries) {
    results.emplace_back();
    results.back().name = e.name;
    MeasureMemory(results.back(), e.parse);
  }
  // Cold: the allocator's defaults, so large blocks go back to the system
  // after each document, as they do for a client that parses one answer now
  // and then. Warm: freed heap memory stays mapped, so the malloc-based
  // parsers reuse resident pages from their second run on (their best case;
  // JsonParser maps its large blocks itself and gains nothing from it).
  for (size_t i = 0; i < results.size(); ++i) {
    MeasureTime(results[i], repetitions, entries[i].parse);
    results[i].coldSeconds = results[i].seconds;
  }
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  for (size_t i = 0; i < results.size(); ++i) {
    MeasureTime(results[i], repetitions, entries[i].parse);
  }

  std::printf("%-30s %9s %9s %15s %15s\n", "parser", "cold MB/s", "warm MB/s", "peak heap",
              "RSS growth");
  for (const Result& r : results) {
    std::printf("%-30s %9.1f %9.1f %8.1f MB %4.2fx %8.1f MB %4.2fx%s\n", r.name.c_str(),
                size / r.coldSeconds / 1e6, size / r.seconds / 1e6, r.heapPeak / 1e6,
                r.heapPeak / size, r.rssGrowth / 1e6, r.rssGrowth / size,
                r.ok ? "" : "  (FAILED)");
  }
  const Result& ours = results[0];
  for (bool cold : {true, false}) {
    auto t = [cold](const Result& r) { return cold ? r.coldSeconds : r.seconds; };
    std::printf("%s throughput vs RapidJSON: %.2fx  vs nlohmann::json: %.2fx  vs yajl_tree: %.2fx\n",
                cold ? "cold" : "warm", t(results[1]) / t(ours), t(results[2]) / t(ours),
                t(results[3]) / t(ours));
  }
  std::printf("peak heap vs input: %.2fx (RapidJSON %.2fx, nlohmann::json %.2fx, yajl_tree %.2fx)\n",
              ours.heapPeak / size, results[1].heapPeak / size, results[2].heapPeak / size,
              results[3].heapPeak / size);
  for (const Result& r : results) {
    if (!r.ok) return 1;
  }
  return 0;
}
