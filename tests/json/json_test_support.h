#pragma once

#include <string>
#include <string_view>

#include "corvane/events.h"

namespace corvane::testing {

// Records the parser events as one transcript: "<json" for StartElement,
// ">json" for EndElement, "c:" text for Characters, "w:" for whitespace
// (with \n, \t, \r shown escaped), each entry followed by "|".
class Transcript : public RESTEvents {
 public:
  std::string text;
  bool badElementArguments = false;

  void StartElement(std::string& ns, std::string& element, std::string& qName,
                    bool& isEmpty) override {
    Check(ns, qName, isEmpty);
    text += "<" + element + "|";
  }
  void EndElement(std::string& ns, std::string& element, std::string& qName,
                  bool& isEmpty) override {
    Check(ns, qName, isEmpty);
    text += ">" + element + "|";
  }
  void Characters(std::string& chars) override { text += "c:" + chars + "|"; }
  void IgnorableWhitespace(std::string& ws) override {
    text += "w:";
    for (char c : ws) {
      if (c == '\n') text += "\\n";
      else if (c == '\t') text += "\\t";
      else if (c == '\r') text += "\\r";
      else if (c == '\f') text += "\\f";
      else text += c;
    }
    text += "|";
  }

 private:
  // The JSON view of the element events: no namespace, no qualified name,
  // never an empty-tag element.
  void Check(const std::string& ns, const std::string& qName, bool isEmpty) {
    if (!ns.empty() || !qName.empty() || isEmpty) badElementArguments = true;
  }
};

}  // namespace corvane::testing
