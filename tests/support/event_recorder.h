#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "corvane/events.h"

namespace corvane::testing {

// Records every event as one line of text; hooks let a test act inside one.
class EventRecorder : public RESTEvents {
 public:
  std::vector<std::string> events;
  std::function<void(int direction)> onTransfer;

  void Connected(int& code, std::string& d) override { Add("Connected " + std::to_string(code)); }
  void ConnectionStatus(std::string& e, int& code, std::string&) override {
    Add("ConnectionStatus " + e + " " + std::to_string(code));
  }
  void Disconnected(int& code, std::string&) override { Add("Disconnected " + std::to_string(code)); }
  void EndTransfer(int& direction) override { Add("EndTransfer " + std::to_string(direction)); }
  void Error(int& code, std::string& d) override { Add("Error " + std::to_string(code) + " " + d); }
  void Header(std::string& f, std::string& v) override { Add("Header " + f + ": " + v); }
  void Log(int& level, std::string& m, std::string& t) override {
    Add("Log " + std::to_string(level) + " " + t + " " + m);
  }
  void Redirect(std::string& location, bool& accept) override {
    Add("Redirect " + location + " " + (accept ? "true" : "false"));
  }
  void StartTransfer(int& direction) override { Add("StartTransfer " + std::to_string(direction)); }
  void Status(std::string& v, int& code, std::string& d) override {
    Add("Status " + v + " " + std::to_string(code) + " " + d);
  }
  void Transfer(int& direction, int64_t& bytes, int& percent, std::string&) override {
    Add("Transfer " + std::to_string(direction) + " " + std::to_string(bytes) + " " + std::to_string(percent));
    if (onTransfer) onTransfer(direction);
  }
  void SSLStatus(std::string& m) override { Add("SSLStatus " + m); }

  bool Has(const std::string& prefix) const { return Count(prefix) > 0; }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& e : events) n += e.starts_with(prefix);
    return n;
  }
  // Events starting with these prefixes came in this order (others may come
  // between them).
  ::testing::AssertionResult InOrder(const std::vector<std::string>& prefixes) const {
    size_t next = 0;
    std::string seen;
    for (const auto& e : events) {
      if (next < prefixes.size() && e.starts_with(prefixes[next])) ++next;
      seen += "\n  " + e;
    }
    if (next == prefixes.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << prefixes[next] << "\" missing or out of order in:" << seen;
  }

 private:
  void Add(std::string s) { events.push_back(std::move(s)); }
};

}  // namespace corvane::testing
