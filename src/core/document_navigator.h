#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Cursor navigation over a parsed document. The XML document model and the
// JSON tree both implement it, so the REST cursor properties (XPath, XElement,
// XText, XChild..., Attr..., Namespace...) read whichever kind was parsed last.
//
// Every operation that can fail returns 0 or an error code and, on failure,
// stores the message with the implementer's own SetError (both implementers
// are ComponentCore objects). Without a parsed document the readers give empty
// strings and zero counts and report no error.
class DocumentNavigator {
 public:
  virtual ~DocumentNavigator() = default;

  // Moves the cursor (0 or the document's path error; an empty path changes
  // nothing).
  virtual int SetXPath(std::string_view path) = 0;
  // The canonical path of the cursor.
  virtual std::string GetXPath() const = 0;
  // True when path can be set; the cursor and canonical path are left as they were.
  virtual bool HasXPath(std::string_view path) = 0;

  virtual std::string XElement() const = 0;
  virtual std::string XNamespace() const = 0;
  virtual std::string XPrefix() const = 0;
  virtual std::string XText() const = 0;
  // XText as plain text: a JSON string without its quotes and escapes.
  virtual std::string XTextDecoded() const { return XText(); }
  virtual std::string XParent() const = 0;
  virtual std::string XSubTree() const = 0;

  // Children of the cursor element, index 0 based (105/106 on a bad index).
  virtual int XChildCount() const = 0;
  virtual int XChildName(int index, std::string& out) = 0;
  virtual int XChildNamespace(int index, std::string& out) = 0;
  virtual int XChildPrefix(int index, std::string& out) = 0;
  virtual int XChildXText(int index, std::string& out) = 0;

  // Attributes of the cursor element (101/102 on a bad index).
  virtual int AttrCount() const = 0;
  virtual int AttrName(int index, std::string& out) = 0;
  virtual int AttrNamespace(int index, std::string& out) = 0;
  virtual int AttrPrefix(int index, std::string& out) = 0;
  virtual int AttrValue(int index, std::string& out) = 0;
  // Value of the first attribute named name, compared case-insensitively
  // (107 when missing and errors on empty attributes are wanted).
  virtual int Attr(std::string_view name, std::string& out) = 0;

  // Namespace declarations in scope at the cursor (103/104 on a bad index).
  virtual int NamespaceCount() const = 0;
  virtual int NamespacePrefix(int index, std::string& out) = 0;
  virtual int NamespaceURI(int index, std::string& out) = 0;
};

}  // namespace corvane
