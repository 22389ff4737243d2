#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "json/json_parser.h"

namespace corvane {
namespace {

// Records the events as one transcript: "<name" StartElement, ">name"
// EndElement, "c:" Characters, "w:" whitespace, each followed by "|"; a "!"
// marks a namespace, qName or empty flag, which JSON elements never have.
// Then does to each event string what a handler may: keep it, take its
// buffer, grow it or shrink it to nothing.
class Transcript : public RESTEvents {
 public:
  enum class Tamper { tKeep, tTake, tGrow, tShrink };
  std::string text;
  Tamper tamper = Tamper::tKeep;

  void StartElement(std::string& ns, std::string& element, std::string& qName,
                    bool& isEmpty) override {
    Element("<", ns, element, qName, isEmpty);
  }
  void EndElement(std::string& ns, std::string& element, std::string& qName,
                  bool& isEmpty) override {
    Element(">", ns, element, qName, isEmpty);
  }
  void Characters(std::string& chars) override {
    text += "c:" + chars + "|";
    Apply(chars);
  }
  void IgnorableWhitespace(std::string& ws) override { text += "w:" + ws + "|"; }

 private:
  void Element(const char* mark, std::string& ns, std::string& element, std::string& qName,
               bool isEmpty) {
    text += mark + element + (ns.empty() && qName.empty() && !isEmpty ? "|" : "!|");
    Apply(ns);
    Apply(element);
    Apply(qName);
  }
  void Apply(std::string& s) {
    if (tamper == Tamper::tTake) std::string taken = std::move(s);
    if (tamper == Tamper::tGrow) s.assign(300, '#');
    if (tamper == Tamper::tShrink) std::string().swap(s);  // gives up the buffer too
  }
};

// Whole event sequences, in order, for the shapes the scanner distinguishes.
const struct {
  std::string_view input, transcript;
} kEventCases[] = {
    {R"({"a":[1,"x"]})", R"(<json|<a|<|c:1|>|<|c:"x"|>|>a|>json|)"},
    {R"([])", "<json|<|>|>json|"},  // an empty array still reads as one empty item
    // Values and names as written: escapes stay, including \u sequences.
    {R"({"k\"ey":"a\nb\u0041\\"})", R"(<json|<k\"ey|c:"a\nb\u0041\\"|>k\"ey|>json|)"},
    // A backslash takes the next byte, a quote included, and invalid escapes
    // stay; "\u" takes the next four bytes whatever they are.
    {R"(["a\"b","\q\x","\u12"x"])", R"(<json|<|c:"a\"b"|>|<|c:"\q\x"|>|<|c:"\u12"x"|>|>json|)"},
    // Whitespace between every pair of tokens, reported as it is.
    {"\t{ \"a\" :\n 1 , \"b\":[ 2 ] }\r\n",
     "w:\t|<json|w: |<a|w: |w:\n |c:1|>a|w: |w: |<b|<|w: |c:2|>|w: |>b|w: |>json|w:\r\n|"},
    {"\xFF{\"a\":1}", "<json|<a|c:1|>a|>json|"},
    {"( [1] ) ", "w: |<json|<|c:1|>|>json|w: |w: |"},
    // Member names and strings may hold any byte, including 8-bit text.
    {"{\"\xC3\xA9t\xC3\xA9\":\"\xE2\x82\xAC\"}", "<json|<\xC3\xA9t\xC3\xA9|c:\"\xE2\x82\xAC\"|>\xC3\xA9t\xC3\xA9|>json|"},
    // After a complete document the text may end at a NUL.
    {std::string_view("{}\0garbage", 10), "<json|>json|"},
};

TEST(JsonEventsTest, FiresWholeSequencesInDocumentOrder) {
  for (const auto& test : kEventCases) {
    for (bool tree : {true, false}) {
      JsonParser parser;
      Transcript events;
      parser.SetEventSink(&events);
      parser.SetBuildDOM(tree);
      EXPECT_EQ(parser.Parse(test.input), 0) << test.input;
      EXPECT_EQ(events.text, test.transcript) << test.input << (tree ? " (tree)" : " (no tree)");
    }
  }
}

// Each fails with 10232 at the byte that broke the rule.
TEST(JsonSyntaxTest, RejectsBadMarkupWithCodeAndOffset) {
  const struct {
    std::string_view input;
    size_t offset;
  } kErrorCases[] = {
      {"", 0}, {"1", 0}, {"\"a\"", 0}, {"null", 0}, {"[1}", 2}, {"{\"a\":1]", 6}, {"{\"a\":1}}", 7},
      // The wrapper counts only as the very first byte and must be closed.
      {"{\"a\":1})", 7}, {"callback({\"a\":1})", 0}, {" ({\"a\":1})", 1},
      {"{a:1}", 1}, {"{\"a\" 1}", 5}, {"{\"a\":}", 5}, {"{,}", 1}, {"{\"a\":1,}", 7},
      {"[1,]", 3}, {"[,1]", 1}, {"[1 2]", 3},
      // Truncated inside a string, a \u escape, a name, a member, an array, a word.
      {"[\"abc", 1}, {"[\"\\u00", 1}, {R"(["\u1"])", 1}, {"{\"ab", 1}, {"{\"a\"", 4},
      {"{\"a\":", 5}, {"[1", 2}, {"[[[[", 4}, {"[tr", 1},
      {"\xEF\xBB\xBF{}", 0},  // a UTF-8 byte order mark is not skipped
      // A NUL inside the document ends it early.
      {std::string_view("{\"a\":\"x\0y\"}", 11), 5}, {std::string_view("{\"a\0\":1}", 8), 1},
      {std::string_view("[1,\0 2]", 7), 3}, {std::string_view("[\"\\\0\"]", 6), 1},
      {std::string_view("\0{}", 3), 0},
  };
  for (const auto& test : kErrorCases) {
    JsonParser parser;
    EXPECT_EQ(parser.Parse(test.input), 10232) << test.input;
    EXPECT_EQ(parser.LastErrorCode(), 10232) << test.input;
    EXPECT_EQ(parser.ErrorOffset(), test.offset) << test.input;
    EXPECT_FALSE(parser.Document().HasTree()) << test.input;
  }
}

TEST(JsonSyntaxTest, SurvivesHostileInput) {
  // Deep nesting: no recursion anywhere, so depth costs memory, not stack.
  std::string deep(200000, '[');
  deep += std::string(200000, ']');
  JsonParser parser;
  ASSERT_EQ(parser.Parse(deep), 0);
  EXPECT_EQ(parser.Document().NodeCount(), 200000u);

  EXPECT_EQ(parser.Parse(std::string(100000, '[')), 10232);
  EXPECT_EQ(parser.Parse(std::string(100000, '{')), 10232);

  // A huge number is kept as written.
  std::string huge = "[" + std::string(1 << 20, '9') + "e99999999]";
  ASSERT_EQ(parser.Parse(huge), 0);
  EXPECT_EQ(parser.Document().Value(1).size(), (1u << 20) + 9);
}

// A listener that changes its arguments and calls back into the parser in
// ways that would pull the text from under the scan.
class IntrusiveListener : public RESTEvents {
 public:
  explicit IntrusiveListener(JsonParser& parser) : parser_(parser) {}
  JsonParser& parser_;
  int nestedParse = -1;
  std::string seen;
  void StartElement(std::string& ns, std::string& element, std::string&, bool& isEmpty) override {
    seen += element + ",";
    if (element == "a") {
      nestedParse = parser_.Parse("[1]");
      parser_.Reset();
      parser_.SetEventSink(nullptr);  // takes effect from the next parse
    }
    element = "changed";
    ns = "x";
    isEmpty = true;
  }
  void EndElement(std::string&, std::string& element, std::string&, bool&) override {
    seen += "/" + element + ",";
    element.clear();
  }
};

TEST(JsonEventsTest, HandlersCannotDisturbReparseResetOrUnhookTheRunningScan) {
  JsonParser parser;
  IntrusiveListener listener(parser);
  parser.SetEventSink(&listener);
  ASSERT_EQ(parser.Parse(R"({"a":{"b":1},"c":[2]})"), 0);
  EXPECT_EQ(listener.seen, "json,a,b,/b,/a,c,,/,/c,/json,");
  EXPECT_EQ(listener.nestedParse, 143);
  ASSERT_EQ(parser.SetXPath("/json/a/b"), 0);
  EXPECT_EQ(parser.XText(), "1");
  EXPECT_EQ(parser.Document().Name(1), "a");
  EXPECT_EQ(parser.EventSink(), nullptr);
}

// The scanner reads words four bytes at a time and numbers sixteen at a
// time, so every token is tried behind 0 to 33 spaces, right before the
// closer and the terminator, and before each byte that may end it.
// Good tokens are kept whole before each byte that may end them; bad ones
// fail at the byte that breaks them (offset from the token's first byte).
TEST(JsonTokenTest, TokensAreReadWholeOrFailWhereTheyBreakAtEveryAlignment) {
  constexpr size_t kGood = std::string_view::npos - 1;
  const struct {
    std::string_view token;
    size_t offset;
  } cases[] = {
      {"true", kGood}, {"TRUE", kGood}, {"False", kGood}, {"fAlSe", kGood}, {"nULL", kGood},
      {"null", kGood}, {"0", kGood}, {"-1", kGood}, {"+5", kGood}, {"1E3", kGood},
      {"6.02e-23", kGood}, {"-1.731999146204426e+21", kGood},
      {"1.2.3", kGood}, {"-", kGood}, {"e", kGood},    // only the byte class is checked
      {"truex]", 0}, {"nul]", 0}, {"nulll]", 0}, {"falsE1]", 0}, {"fals]", 0}, {"T]", 0},
      {"tru\xC5]", 0},                 // a folded 8-bit byte is no letter
      {"12a]", 2}, {"12/]", 2}, {"12:]", 2},  // the bytes either side of the digits
  };
  for (const auto& c : cases) {
    for (std::string_view after : {"]", " ]", "\n]", "\t\r]", ",0]"}) {
      if (c.offset != kGood && after != "]") continue;
      for (int lead = 0; lead <= 33; ++lead) {
        std::string text = "[" + std::string(static_cast<size_t>(lead), ' ') + std::string(c.token) +
                           std::string(c.offset == kGood ? after : "");
        JsonParser parser;
        if (c.offset == kGood) {
          ASSERT_EQ(parser.Parse(text), 0) << text;
          EXPECT_EQ(parser.Document().Value(1), c.token) << text;
          continue;
        }
        EXPECT_EQ(parser.Parse(text), 10232) << text;
        EXPECT_EQ(parser.ErrorOffset(), 1 + static_cast<size_t>(lead) + c.offset) << text;
      }
    }
  }
}

// Strings, whitespace and numbers of every length to two 32-byte reads: closed, broken by a NUL
// or an 8-bit byte (signed compares could take it for ASCII), or cut off by the text's end.
TEST(JsonTokenTest, RunsOfEveryLengthEndAtTheirFirstStopByte) {
  for (size_t n = 0; n <= 64; ++n) {
    const std::string high(n, '\xE9');
    const std::string ws = std::string(n / 2, ' ') + std::string(n - n / 2, '\t');
    const std::string digits = "1" + std::string(n, '7');
    const struct {
      std::string text, value;
      size_t offset;  // of the failing byte, else 0
    } cases[] = {
        {"[\"" + high + "\"]", "\"" + high + "\"", 0},
        {"[\"" + high + "\\\"\"]", "\"" + high + "\\\"\"", 0},
        {"[\"" + high + std::string("\0\"]", 3), "", 1},
        {"[\"" + high, "", 1},
        {"[" + ws + "1" + ws + "]", "1", 0},
        {"[" + ws + "\xA0]", "", 1 + n},
        {"[" + ws + std::string("\0 1]", 4), "", 1 + n},
        {"[" + digits + "]", digits, 0},
        {"[" + digits + "\xB7]", "", 2 + n},  // '7' with the high bit set
        {"[" + digits, "", 2 + n},
    };
    for (const auto& c : cases) {
      for (bool tree : {true, false}) {
        JsonParser parser;
        Transcript events;
        parser.SetEventSink(&events);
        parser.SetBuildDOM(tree);
        SCOPED_TRACE(::testing::Message() << "length " << n << (tree ? " tree " : " ") << c.text);
        if (c.offset == 0) {
          EXPECT_EQ(parser.Parse(c.text), 0);
          EXPECT_NE(events.text.find("|c:" + c.value + "|"), std::string::npos);
        } else {
          EXPECT_EQ(parser.Parse(c.text), 10232);
          EXPECT_EQ(parser.ErrorOffset(), c.offset);
        }
      }
    }
  }
}

// A parse starts from a reset: a failed one or one without the DOM setting
// leaves no tree, and the next good one starts with the cursor at the root.
TEST(JsonSyntaxTest, FailedOrTreelessParseLeavesNoTree) {
  JsonParser parser;
  ASSERT_EQ(parser.Parse(R"({"a":1,"b":2})"), 0);
  ASSERT_EQ(parser.SetXPath("/json/b"), 0);
  EXPECT_EQ(parser.Parse(R"({"a":1,"b":)"), 10232);
  EXPECT_EQ(parser.SetXPath("/json/a"), 10234);
  ASSERT_EQ(parser.Config("builddom=false"), 0);
  ASSERT_EQ(parser.Config("CacheContent=0"), 0);
  EXPECT_FALSE(parser.BuildDOM() || parser.CacheContent());
  EXPECT_EQ(parser.Config("NoSuchKey=1"), -1);
  ASSERT_EQ(parser.Parse(R"({"a":1})"), 0);
  EXPECT_FALSE(parser.Document().HasTree());
  EXPECT_EQ(parser.SetXPath("/json/a"), 10234);
  ASSERT_EQ(parser.Config("builddom=true"), 0);
  ASSERT_EQ(parser.Parse(R"({"z":1})"), 0);
  EXPECT_EQ(parser.GetXPath(), "");
  EXPECT_EQ(parser.XElement(), "json");
}

// Names and values of every length around the string's inline room and the
// scanner's short copy, rising and falling, the longest last before the
// closer: each event carries exactly its own bytes whatever the event before
// it left in the string.
TEST(JsonEventsTest, EventStringsCarryExactlyTheirTextAcrossLengths) {
  const size_t kLengths[] = {1, 4, 15, 16, 17, 31, 32, 33, 47, 64, 65, 200, 1000, 5, 0, 33, 2, 1001};
  std::string object = "{";
  std::string array = "[";
  std::string objectEvents = "<json|";
  std::string arrayEvents = "<json|";
  for (size_t n : kLengths) {
    std::string name(n, static_cast<char>('a' + n % 26));
    std::string value = "\"" + std::string(n, static_cast<char>('A' + n % 26)) + "\"";
    if (object.size() > 1) object += ",";
    if (array.size() > 1) array += ",";
    object += "\"" + name + "\":" + value;
    array += value;
    objectEvents += "<" + name + "|c:" + value + "|>" + name + "|";
    arrayEvents += "<|c:" + value + "|>|";
  }
  object += "}";
  array += "]";
  objectEvents += ">json|";
  arrayEvents += ">json|";
  using Tamper = Transcript::Tamper;
  for (Tamper tamper : {Tamper::tKeep, Tamper::tTake, Tamper::tGrow, Tamper::tShrink}) {
    for (bool tree : {true, false}) {
      JsonParser parser;
      parser.SetBuildDOM(tree);
      Transcript events;
      events.tamper = tamper;
      parser.SetEventSink(&events);
      ASSERT_EQ(parser.Parse(object), 0);
      EXPECT_EQ(events.text, objectEvents) << static_cast<int>(tamper) << (tree ? " (tree)" : "");
      events.text.clear();
      ASSERT_EQ(parser.Parse(array), 0);
      EXPECT_EQ(events.text, arrayEvents) << static_cast<int>(tamper) << (tree ? " (tree)" : "");
    }
  }
}

// Hears only EndElement, so the scan keeps the open names without firing
// StartElement or Characters.
class EndNames : public RESTEvents {
 public:
  std::string text;
  void EndElement(std::string&, std::string& element, std::string&, bool&) override {
    text += ">" + element + "|";
  }
};

// Every mix of outputs (tree or not, a full, partial or no listener) scans the
// same way: the same result, the same failing byte, the same element names.
TEST(JsonEventsTest, EveryOutputMixAgreesOnResultOffsetAndNames) {
  const std::string_view kInputs[] = {
      R"({"a":[1,"x",{"b":true}],"c":{}})", R"([[],{},[null]])", R"({"k\"ey":"v"})",
      "[1,]", "{\"a\":1]", "{\"a\" 1}", "[\"abc", "[tr", "{\"a\":[1,2}",
  };
  for (std::string_view input : kInputs) {
    JsonParser reference;
    Transcript full;
    reference.SetEventSink(&full);
    reference.SetBuildDOM(false);
    const int expectedRc = reference.Parse(input);
    std::string expectedEnds;  // the ">name|" entries of the full transcript
    for (size_t at = 0; (at = full.text.find('>', at)) != std::string::npos; ++at) {
      expectedEnds += full.text.substr(at, full.text.find('|', at) + 1 - at);
    }
    for (int mix = 0; mix < 4; ++mix) {  // bit 0: a listener of ends only, bit 1: a tree
      JsonParser parser;
      EndNames ends;
      if (mix & 1) parser.SetEventSink(&ends);
      parser.SetBuildDOM(mix & 2);
      EXPECT_EQ(parser.Parse(input), expectedRc) << input;
      EXPECT_EQ(parser.ErrorOffset(), reference.ErrorOffset()) << input;
      if (mix & 1) {
        EXPECT_EQ(ends.text, expectedEnds) << input << " mix " << mix;
      }
    }
  }
}

// Without a tree the text is read through a window that slides as the scan
// moves. Each token is put at every start from 70 bytes before the window's
// end to 8 after it (behind a long string that fills the window), so it lies
// across the end or meets it at the token after; tokens longer than the
// window make it grow. The events, the result and the failing byte must be
// those of the tree-building scan, which reads a whole copy, and a scan with
// neither output must agree on the result.
TEST(JsonWindowTest, TokensAcrossTheWindowsEndReadAsFromAWholeCopy) {
  const std::string kName(100, 'n');
  const std::string kHuge(JsonWindow::kBytes * 3, 'h');
  // Each token with what follows it; an empty text ends the array.
  // clang-format off
  const std::string kTails[] = {
      "\"abc\"]", "\"" + std::string(100, 'x') + "\"]", R"("a\"b\\c\u00e9\/"])", "-12.5e+3]",
      std::string(40, '7') + "]", "true]", "FALSE]", "null]", "nul]", "truex]",
      std::string(100, ' ') + "1 ]", "{\"" + kName + "\" :\t\"" + kName + "\"}]",
      "{\"k\":[1,{\"" + kName + "\":2}]}]", "\"" + kHuge + "\"]", "\"" + kHuge, "\"abc", "12", "[",
      "0]x", std::string("\"a\0b\"]", 6), std::string("1\0]", 3), std::string("true\0]", 6)};
  // clang-format on

  JsonParser reference;
  Transcript expected;
  reference.SetEventSink(&expected);
  JsonParser windowed;
  Transcript events;
  windowed.SetEventSink(&events);
  windowed.SetBuildDOM(false);
  JsonParser silent;
  silent.SetBuildDOM(false);
  for (const std::string& tail : kTails) {
    // A fuzz build's window is smaller than the 70 bytes.
    const size_t first = JsonWindow::kBytes > 74 ? JsonWindow::kBytes - 70 : 4;
    for (size_t start = first; start <= JsonWindow::kBytes + 8; ++start) {
      std::string text = "[\"" + std::string(start - 4, 'a') + "\"," + tail;
      // Exactly the text's bytes, so a read past them is caught.
      auto exact = std::make_unique<char[]>(text.size());
      std::memcpy(exact.get(), text.data(), text.size());
      std::string_view view(exact.get(), text.size());
      expected.text.clear();
      events.text.clear();
      const int rc = reference.Parse(text);
      ASSERT_EQ(windowed.Parse(view), rc) << tail.substr(0, 20) << " at " << start;
      EXPECT_EQ(windowed.ErrorOffset(), reference.ErrorOffset()) << tail.substr(0, 20);
      EXPECT_TRUE(events.text == expected.text) << tail.substr(0, 20) << " at " << start;
      EXPECT_EQ(silent.Parse(view), rc) << tail.substr(0, 20) << " at " << start;
      EXPECT_EQ(silent.ErrorOffset(), reference.ErrorOffset()) << tail.substr(0, 20);
    }
  }
}

}  // namespace
}  // namespace corvane
