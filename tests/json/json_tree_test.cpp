#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "json/json_parser.h"

namespace corvane {
namespace {

// Renders the tree as "name=value{children}" per node so a whole shape is one
// comparison; array items show as "#".
std::string Shape(const JsonDocument& doc, uint32_t node) {
  std::string out = doc.IsItem(node) ? "#" : std::string(doc.Name(node));
  if (!doc.Value(node).empty()) out += "=" + std::string(doc.Value(node));
  uint32_t count = doc.ChildCount(node);
  if (count > 0) {
    out += "{";
    for (uint32_t i = 0; i < count; ++i) {
      if (i > 0) out += ",";
      out += Shape(doc, doc.Child(node, i));
    }
    out += "}";
  }
  return out;
}

const struct {
  std::string_view input, shape;
} kShapes[] = {
    {"{}", "json"},
    {"[]", "json"},
    {R"([1,"x",true])", R"(json{#=1,#="x",#=true})"},
    {R"({"a":{"b":"t"},"c":null})", R"(json{a{b="t"},c=null})"},
    {R"({"a":[],"b":{},"c":[[]],"d":[{}]})", "json{a,b,c{#},d{#}}"},
    {R"([[1,2],[3]])", "json{#{#=1,#=2},#{#=3}}"},
    // Repeated names stay separate members, in order.
    {R"({"k":1,"k":2})", "json{k=1,k=2}"},
    // Strings keep quotes and escapes; names keep escapes.
    {R"({"a\"b":"x\n\u00e9"})", R"(json{a\"b="x\n\u00e9"})"},
};

TEST(JsonTreeTest, BuildsTheDocumentShape) {
  JsonParser parser;
  for (const auto& test : kShapes) {
    ASSERT_EQ(parser.Parse(test.input), 0) << test.input;
    EXPECT_EQ(Shape(parser.Document(), 0), test.shape) << test.input;
  }
}

TEST(JsonTreeTest, SubTreeIsTheTextBetweenStartAndEnd) {
  JsonParser parser;
  ASSERT_EQ(parser.Parse(R"(({"a": {"b" : [1, "x"]}, "c":2}) )"), 0);
  EXPECT_EQ(parser.XSubTree(), R"({"a": {"b" : [1, "x"]}, "c":2})");
  ASSERT_EQ(parser.SetXPath("/json/a"), 0);
  EXPECT_EQ(parser.XSubTree(), R"("a": {"b" : [1, "x"]})");
  ASSERT_EQ(parser.SetXPath("b/[2]"), 0);
  EXPECT_EQ(parser.XSubTree(), R"("x")");
  parser.SetCacheContent(false);
  EXPECT_EQ(parser.XSubTree(), "");
}

// A listener that reads the growing tree from inside the events.
class NavigatingListener : public RESTEvents {
 public:
  explicit NavigatingListener(JsonParser& parser) : parser_(parser) {}
  JsonParser& parser_;
  std::string seen;
  void StartElement(std::string&, std::string& element, std::string&, bool&) override {
    if (parser_.SetXPath("/json") != 0) return;
    seen += std::to_string(parser_.XChildCount()) + ":" + parser_.XText();
    if (parser_.XChildCount() > 0) {
      parser_.SetXPath("[1]");
      seen += parser_.XText() + parser_.XSubTree();
    }
    seen += ",";
  }
};

TEST(JsonTreeTest, EventHandlersSeeThePartialTreeAndLaterReadsSeeAll) {
  JsonParser parser;
  NavigatingListener listener(parser);
  parser.SetEventSink(&listener);
  ASSERT_EQ(parser.Parse(R"({"a":1,"b":[2,3],"c":"x"})"), 0);
  // The first member is open (no text yet) until the second one starts.
  EXPECT_EQ(listener.seen, R"(0:,1:,2:1"a":1,2:1"a":1,2:1"a":1,3:1"a":1,)");
  EXPECT_EQ(parser.XChildCount(), 3);
}

}  // namespace
}  // namespace corvane
