// The input is a document, a NUL byte, then XPath lines: each line is set as
// the path (and tried with HasXPath), and every cursor reader is called.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "xml/xml_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t nul = input.find('\0');
  std::string_view doc = input.substr(0, nul);
  std::string_view paths = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

  corvane::XmlParser parser;
  parser.Feed(doc);
  std::string out;
  while (true) {
    size_t nl = paths.find('\n');
    std::string_view path = paths.substr(0, nl);
    bool has = parser.HasXPath(path);
    int rc = parser.SetXPath(path);
    if (has != (rc == 0 && !path.empty())) __builtin_trap();
    (void)parser.GetXPath();
    (void)parser.XElement();
    (void)parser.XNamespace();
    (void)parser.XPrefix();
    (void)parser.XText();
    (void)parser.XParent();
    (void)parser.XSubTree();
    (void)parser.XContents();
    for (int i = -1; i <= parser.XChildCount() && i < 16; ++i) {
      parser.XChildName(i, out);
      parser.XChildNamespace(i, out);
      parser.XChildPrefix(i, out);
      parser.XChildXText(i, out);
    }
    for (int i = -1; i <= parser.AttrCount() && i < 16; ++i) {
      parser.AttrName(i, out);
      parser.AttrNamespace(i, out);
      parser.AttrPrefix(i, out);
      parser.AttrValue(i, out);
    }
    for (int i = -1; i <= parser.NamespaceCount() && i < 16; ++i) {
      parser.NamespacePrefix(i, out);
      parser.NamespaceURI(i, out);
    }
    parser.Attr(path, out);
    if (nl == std::string_view::npos) break;
    paths.remove_prefix(nl + 1);
  }
  return 0;
}
