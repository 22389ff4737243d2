// Parses arbitrary bytes with and without the tree and checks what must hold
// whatever the input: events nest, the tree is well formed, and every node's
// text lies inside the document.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/json_parser.h"

namespace {

using corvane::JsonDocument;
using corvane::JsonParser;

class BalanceCheck : public corvane::RESTEvents {
 public:
  int depth = 0;
  bool broken = false;
  void StartElement(std::string&, std::string&, std::string&, bool&) override { ++depth; }
  void EndElement(std::string&, std::string&, std::string&, bool&) override {
    if (--depth < 0) broken = true;
  }
};

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckTree(const JsonDocument& doc) {
  const uint32_t count = doc.NodeCount();
  const size_t length = doc.TextLength();
  for (uint32_t i = 0; i < count; ++i) {
    const corvane::JsonNode& n = doc.Node(i);
    Check(n.Start() <= n.end && n.end <= length);
    if (i > 0) Check(n.parent < i);
    Check(n.next == 0 || n.next > i);
    std::string_view name = doc.Name(i);
    std::string_view value = doc.Value(i);
    Check(i == 0 || name.empty() || name.data() > reinterpret_cast<const char*>(doc.Bytes()));
    Check(value.size() <= length);
  }
  if (count > 0) Check(doc.Node(0).end > 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (bool tree : {true, false}) {
    JsonParser parser;
    BalanceCheck events;
    parser.SetEventSink(&events);
    parser.SetBuildDOM(tree);
    int rc = parser.Parse(text);
    Check(rc == 0 || rc == 10232);
    Check(!events.broken);
    if (rc == 0) {
      Check(events.depth == 0);
      if (tree) {
        Check(parser.Document().HasTree());
        CheckTree(parser.Document());
        Check(parser.SetXPath("/json") == 0);
      }
    } else {
      Check(!parser.Document().HasTree());
      Check(parser.ErrorOffset() <= size);
    }
  }
  return 0;
}
