#pragma once

// One-line readings of a document cursor (XML or JSON), so a navigation test
// compares a whole reading instead of one property per assertion.

#include <string>

#include "core/document_navigator.h"

namespace corvane::testing {

// "element|prefix|namespace|text|path".
inline std::string CursorView(const DocumentNavigator& n) {
  return n.XElement() + "|" + n.XPrefix() + "|" + n.XNamespace() + "|" + n.XText() + "|" + n.GetXPath();
}

// "children | attributes | namespaces in scope": each child as
// "name(prefix,namespace)=text", each attribute as "name(prefix,namespace)=value"
// (the bracket only when either is set), each declaration as "prefix=uri".
inline std::string ListView(DocumentNavigator& n) {
  auto item = [](const std::string& name, const std::string& prefix, const std::string& ns, const std::string& v) {
    return name + (prefix.empty() && ns.empty() ? "" : "(" + prefix + "," + ns + ")") + "=" + v;
  };
  std::string out, name, prefix, ns, value;
  for (int i = 0; i < n.XChildCount(); ++i) {
    n.XChildName(i, name);
    n.XChildPrefix(i, prefix);
    n.XChildNamespace(i, ns);
    n.XChildXText(i, value);
    out += (i ? "," : "") + item(name, prefix, ns, value);
  }
  out += " |";
  for (int i = 0; i < n.AttrCount(); ++i) {
    n.AttrName(i, name);
    n.AttrPrefix(i, prefix);
    n.AttrNamespace(i, ns);
    n.AttrValue(i, value);
    out += (i ? "," : " ") + item(name, prefix, ns, value);
  }
  out += " |";
  for (int i = 0; i < n.NamespaceCount(); ++i) {
    n.NamespacePrefix(i, prefix);
    n.NamespaceURI(i, ns);
    out += (i ? "," : " ") + prefix + "=" + ns;
  }
  return out;
}

}  // namespace corvane::testing
