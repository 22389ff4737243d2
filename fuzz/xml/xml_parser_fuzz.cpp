// Parses the input with settings taken from its first two bytes, once whole
// and once in pieces, and traps when the two runs disagree: a document cut
// anywhere must give the same events, result and document. With the top bit
// of the second byte, a 0x01 byte stands for kRepeat copies of the byte
// before it (twice at most), so that names, tags and values longer than the
// 16-bit record spans are reached from small inputs.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "corvane/events.h"
#include "xml/xml_parser.h"

namespace {

using corvane::XmlParser;

class Recorder : public corvane::RESTEvents {
 public:
  explicit Recorder(XmlParser& parser) : parser_(parser) {}
  std::string log;
  void Characters(std::string& t) override { Add('C', t); }
  void Comment(std::string& t) override { Add('M', t); }
  void EndElement(std::string& ns, std::string& l, std::string& q, bool& e) override {
    Add('E', ns + "|" + l + "|" + q + (e ? "/" : ""));
  }
  void EndPrefixMapping(std::string& p) override { Add('e', p); }
  void Error(int& code, std::string& d) override { Add('!', std::to_string(code) + d); }
  void EvalEntity(std::string& n, std::string& v) override { Add('&', n + "=" + v); }
  void IgnorableWhitespace(std::string& t) override { Add('W', t); }
  void Meta(std::string& t) override { Add('D', t); }
  void PI(std::string& t) override { Add('?', t); }
  void SpecialSection(std::string& id, std::string& t) override { Add('S', id + "|" + t); }
  void StartElement(std::string& ns, std::string& l, std::string& q, bool& e) override {
    std::string line = ns + "|" + l + "|" + q + (e ? "/" : "");
    // The live attribute and namespace readers during the start event.
    std::string out;
    for (int i = 0; i <= parser_.AttrCount(); ++i) {
      parser_.AttrName(i, out);
      line += " " + out;
      parser_.AttrNamespace(i, out);
      line += "=" + out;
      parser_.AttrValue(i, out);
      line += "=" + out;
    }
    for (int i = 0; i <= parser_.NamespaceCount(); ++i) {
      parser_.NamespaceURI(i, out);
      line += " ns=" + out;
    }
    Add('S', line);
  }
  void StartPrefixMapping(std::string& p, std::string& u) override { Add('p', p + "=" + u); }

 private:
  void Add(char kind, const std::string& text) {
    log += kind;
    log += std::to_string(text.size());
    log += ':';
    // Long texts (the repeated runs) go in as a hash: copying and comparing
    // megabytes of log cost more than the parses themselves.
    if (text.size() <= 256) {
      log += text;
    } else {
      log += std::to_string(std::hash<std::string>{}(text));
    }
  }
  XmlParser& parser_;
};

struct Outcome {
  std::string log;
  std::string stream;
  std::string tree;
  int rc = 0;
};

constexpr size_t kRepeat = 0x11000;

std::string Expand(std::string_view doc) {
  std::string out;
  int left = 2;
  for (char c : doc) {
    if (c == '\x01' && left > 0) {
      --left;
      out.append(kRepeat, out.empty() ? 'a' : out.back());
    } else {
      out += c;
    }
  }
  return out;
}

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// Visits up to `budget` elements depth first through the cursor, logging what
// the record readers give. An element's contents end where its end tag, the
// last '<' of its subtree, begins.
void Walk(XmlParser& parser, std::string& log, int& budget) {
  std::string contents = parser.XContents();
  std::string subtree = parser.XSubTree();
  if (!contents.empty()) {
    size_t lt = subtree.rfind('<');
    Check(lt != std::string::npos && lt >= contents.size() &&
          subtree.compare(lt - contents.size(), contents.size(), contents) == 0);
  }
  std::hash<std::string> hash;
  log += parser.XElement() + "|" + parser.XPrefix() + "|" + parser.XNamespace() + "|" +
         std::to_string(hash(parser.XText())) + "|" + std::to_string(hash(contents)) + "|" +
         std::to_string(hash(subtree)) + "|";
  std::string s;
  for (int i = 0; i < parser.AttrCount() && i < 4; ++i) {
    parser.AttrName(i, s);
    log += s + "=";
    parser.AttrValue(i, s);
    log += s + " ";
  }
  int count = parser.XChildCount();
  for (int i = 1; i <= count && budget > 0; ++i) {
    --budget;
    if (parser.SetXPath("[" + std::to_string(i) + "]") != 0) {
      log += '#';
      continue;
    }
    Walk(parser, log, budget);
    Check(parser.SetXPath("..") == 0);
  }
  log += ')';
}

Outcome Parse(uint8_t mode, uint8_t options, std::string_view doc, size_t piece) {
  XmlParser parser;
  Recorder recorder(parser);
  parser.SetEventSink(&recorder);
  parser.SetValidate((mode & 1) != 0);
  parser.SetBuildDOM((mode & 2) != 0);
  parser.SetDoubleByteLead((mode & 4) != 0);
  static const char* const kEncodings[] = {"ASCII", "UTF-8", "UTF-32LE", "UTF-32BE"};
  parser.Config(std::string("UseEncoding=") + kEncodings[(mode >> 3) & 3]);
  parser.Config((options & 1) ? "HTMLComments=true" : "HTMLComments=false");
  parser.Config((options & 2) ? "PreserveWhitespace=true" : "PreserveWhitespace=false");
  parser.Config((options & 4) ? "KeepOriginalText=false" : "KeepOriginalText=true");
  parser.Config((options & 8) ? "AllowTextOutsideRoot=false" : "AllowTextOutsideRoot=true");
  parser.Config((options & 16) ? "IgnoreBadElementPrefixes=false" : "IgnoreBadElementPrefixes=true");
  parser.Config((options & 32) ? "IncludeUnknownPrefixes=true" : "IncludeUnknownPrefixes=false");
  parser.Config((options & 64) ? "AllowLeadingDigit=true" : "AllowLeadingDigit=false");
  parser.Config("CodePage=65001");
  parser.Reset();
  Outcome out;
  for (size_t at = 0; at < doc.size() && out.rc == 0; at += piece) {
    out.rc = parser.Feed(doc.substr(at, piece));
  }
  out.log = recorder.log;
  out.stream = parser.Document().Stream().str();
  // Navigate over whatever was built.
  if (parser.SetXPath("/") == 0) {
    int budget = 64;
    Walk(parser, out.tree, budget);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 1 << 16) return 0;
  uint8_t mode = data[0];
  uint8_t options = data[1];
  size_t piece = 1 + (data[2] % 7);
  std::string_view doc(reinterpret_cast<const char*>(data + 3), size - 3);
  std::string expanded;
  if (options & 128) {
    expanded = Expand(doc);
    doc = expanded;
    // Pieces of a few bytes would make a long document slow to fuzz; cuts a
    // few KB apart still land inside the long runs.
    piece *= 1543;
  }
  Outcome whole = Parse(mode, options, doc, doc.size() ? doc.size() : 1);
  Outcome pieces = Parse(mode, options, doc, piece);
  Check(whole.rc == pieces.rc && whole.log == pieces.log && whole.stream == pieces.stream &&
        whole.tree == pieces.tree);
  return 0;
}
