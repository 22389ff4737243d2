#pragma once

// A listener that writes every parser event as one line, so whole event
// sequences can be compared, and helpers that feed a document whole, cut at
// every byte, or in small pieces.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "corvane/events.h"
#include "support/every_split.h"
#include "xml/xml_parser.h"

namespace corvane::testing {

class TranscriptListener : public RESTEvents {
 public:
  std::string log;

  void Characters(std::string& text) override { Line("C " + text); }
  void Comment(std::string& text) override { Line("Comment " + text); }
  void EndElement(std::string& ns, std::string& local, std::string& qname, bool& empty) override {
    Line("End {" + ns + "}" + local + " " + qname + (empty ? " empty" : ""));
  }
  void EndPrefixMapping(std::string& prefix) override { Line("EndPrefix " + prefix); }
  void Error(int& code, std::string& description) override {
    // The code and the last word (the name at fault); the texts are the error table's.
    Line("Error " + std::to_string(code) + " " + description.substr(description.rfind(' ') + 1));
  }
  void EvalEntity(std::string& entity, std::string& value) override {
    Line("Entity " + entity + "=" + value);
    // The one entity the documents under test define through the listener.
    if (entity == "x") value = "[X]";
  }
  void IgnorableWhitespace(std::string& text) override { Line("W " + text); }
  void Meta(std::string& text) override { Line("Meta " + text); }
  void PI(std::string& text) override { Line("PI " + text); }
  void SpecialSection(std::string& id, std::string& text) override {
    Line("Section " + id + " " + text);
  }
  void StartElement(std::string& ns, std::string& local, std::string& qname, bool& empty) override {
    std::string line = "Start {" + ns + "}" + local + " " + qname + (empty ? " empty" : "");
    if (parser != nullptr && parser->AttrCount() > 0) {
      // Attributes read live from the tag being parsed.
      line += " [";
      for (int i = 0; i < parser->AttrCount(); ++i) {
        std::string name, value;
        parser->AttrName(i, name);
        parser->AttrValue(i, value);
        line += (i ? "," : "") + name + "=" + value;
      }
      line += "]";
    }
    Line(line);
  }
  void StartPrefixMapping(std::string& prefix, std::string& uri) override {
    Line("Prefix " + prefix + "=" + uri);
  }

  XmlParser* parser = nullptr;

 private:
  static std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : std::string(1, c);
    return out;
  }
  void Line(const std::string& s) {
    // Text can hold line feeds; escape them so one event stays one line.
    log += Escape(s);
    log += '\n';
  }
};

// The result of one parse: the transcript, the return code with its text,
// and the document stream.
struct ParseRun {
  std::string transcript;
  int rc = 0;
  std::string error, stream;
};

// Feeds the pieces in order until one fails.
inline ParseRun RunPieces(const Pieces& pieces, const std::vector<std::string>& settings = {},
                          bool validate = true, bool buildDom = true) {
  XmlParser parser;
  TranscriptListener listener;
  parser.SetEventSink(&listener);
  listener.parser = &parser;
  parser.SetValidate(validate);
  parser.SetBuildDOM(buildDom);
  for (const std::string& s : settings) EXPECT_EQ(parser.Config(s), 0) << s;
  parser.Reset();
  ParseRun run;
  for (size_t k = 0; k < pieces.size() && run.rc == 0; ++k) run.rc = parser.Feed(pieces[k]);
  run.transcript = listener.log;
  run.error = parser.LastErrorText().str();
  run.stream = parser.Document().Stream().str();
  return run;
}

// Every way of cutting doc gives the same events, result and document as
// feeding it whole; returns the whole run.
inline ParseRun ExpectSameAtEverySplit(std::string_view doc, const std::vector<std::string>& settings = {},
                                       bool validate = true, bool buildDom = true) {
  ParseRun whole = RunPieces({doc}, settings, validate, buildDom);
  ForEachSplit(doc, [&](const Pieces& pieces, const std::string& how) {
    ParseRun split = RunPieces(pieces, settings, validate, buildDom);
    ASSERT_EQ(split.transcript, whole.transcript) << how;
    ASSERT_EQ(split.rc, whole.rc) << how;
    ASSERT_EQ(split.error, whole.error) << how;
    ASSERT_EQ(split.stream, whole.stream) << how;
  });
  return whole;
}

}  // namespace corvane::testing
