// Sets arbitrary paths on a parsed document. The input is a document and a
// list of paths: the bytes before the first NUL are the document (a built-in
// one when they do not parse), each following line a path. Every path that
// succeeds must read back as a path that selects the same node again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/json_parser.h"

namespace {

constexpr std::string_view kDefaultDocument = R"({"a":{"b":[1,"x",{"c":null}],"d.e":true},
"a":2,"f":[[],{},[3,[4]]],"g h":"\"q\"","":0})";

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// Members named "" or with a path delimiter in their name are written into
// the rebuilt path as they are, so that path cannot select them again.
bool HasUnspellableName(const corvane::JsonDocument& doc, uint32_t node) {
  for (uint32_t n = node; n != 0; n = doc.Parent(n)) {
    if (doc.IsItem(n)) continue;
    std::string_view name = doc.Name(n);
    if (name.empty() || name.find_first_of("/[]'.\"") != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\0');
  std::string_view paths = split == std::string_view::npos ? input : input.substr(split + 1);
  corvane::JsonParser parser;
  if (split == std::string_view::npos || parser.Parse(input.substr(0, split)) != 0) {
    Check(parser.Parse(kDefaultDocument) == 0);
  }
  std::string out;
  while (!paths.empty()) {
    size_t eol = paths.find('\n');
    std::string_view path = paths.substr(0, eol);
    paths.remove_prefix(eol == std::string_view::npos ? paths.size() : eol + 1);

    bool probe = parser.HasXPath(path);
    uint32_t before = parser.Cursor();
    int rc = parser.SetXPath(path);
    Check(rc == 0 || rc == 10233);
    Check(probe == (rc == 0));
    if (rc == 0) {
      uint32_t node = parser.Cursor();
      std::string rebuilt = parser.GetXPath();
      int again = parser.SetXPath(rebuilt);
      // Only names that the path syntax cannot spell may fail to read back;
      // every other path selects exactly the same node again.
      if (!HasUnspellableName(parser.Document(), node)) {
        Check(again == 0);
        Check(parser.Cursor() == node);
      }
    }
    (void)before;
    parser.XElement();
    parser.XText();
    parser.XParent();
    parser.XSubTree();
    int count = parser.XChildCount();
    for (int i = -1; i <= count && i < 4; ++i) {
      int c1 = parser.XChildName(i, out);
      int c2 = parser.XChildXText(i, out);
      Check(c1 == c2);
      Check((i >= 0 && i < count) ? c1 == 0 : (c1 == 105 || c1 == 106));
    }
  }
  return 0;
}
