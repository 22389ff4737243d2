// Parses arbitrary bytes with and without the tree and checks what must hold
// whatever the input: events nest, every event's text is the next run of the
// document with that text, both runs give the same events, the tree is well
// formed, and every node's text lies inside the document. The listener drops
// its strings' room now and then, as one may, and navigates the tree built so
// far from its handlers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/json_parser.h"

namespace {

using corvane::JsonDocument;
using corvane::JsonParser;

void Check(bool ok);

class Listener : public corvane::RESTEvents {
 public:
  Listener(JsonParser& parser, std::string_view text) : parser_(parser), text_(text) {}
  int depth = 0;
  bool broken = false;
  std::string log;
  void StartElement(std::string&, std::string& name, std::string&, bool&) override {
    ++depth;
    Add('S', name);
  }
  void EndElement(std::string&, std::string& name, std::string&, bool&) override {
    if (--depth < 0) broken = true;
    Add('E', name);
    // Reads of the part built so far: they must stay inside it.
    if (parser_.BuildDOM()) {
      (void)parser_.XChildCount();
      (void)parser_.XText();
      (void)parser_.XSubTree();
    }
  }
  void Characters(std::string& text) override { Run('C', text); }
  void IgnorableWhitespace(std::string& text) override { Run('W', text); }

 private:
  void Add(char kind, std::string& s) {
    log += kind;
    log += std::to_string(s.size());
    log += ':';
    log += s;
    // Every third string loses its room: the next refill must not assume it.
    if (++events_ % 3 == 0) std::string().swap(s);
  }
  // Text and whitespace are runs of the document, in document order.
  void Run(char kind, std::string& s) {
    size_t at = text_.find(s, next_);
    Check(!s.empty() && at != std::string_view::npos);
    next_ = at + s.size();
    Add(kind, s);
  }
  JsonParser& parser_;
  std::string_view text_;
  size_t next_ = 0;
  unsigned events_ = 0;
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
  std::string logs[2];
  int codes[2] = {};
  for (bool tree : {true, false}) {
    JsonParser parser;
    Listener events(parser, text);
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
    logs[tree] = std::move(events.log);
    codes[tree] = rc;
  }
  Check(logs[0] == logs[1] && codes[0] == codes[1]);
  return 0;
}
