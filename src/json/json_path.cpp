#include "json/json_path.h"

#include <vector>

namespace corvane {

namespace {

constexpr uint32_t kNoNode = JsonDocument::kNoNode;

// Decimal digits only, at least one; values past 2^32 saturate (no such index exists).
bool ParseCount(std::string_view digits, uint32_t& value) noexcept {
  if (digits.empty()) return false;
  uint64_t v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
    if (v > 0xFFFFFFFFu) v = 0xFFFFFFFFu;
  }
  value = static_cast<uint32_t>(v);
  return true;
}

// The spellings of last() that paths accept.
bool StripLast(std::string_view& s) noexcept {
  for (std::string_view last : {"last()", "Last()", "LAST()"}) {
    if (s.starts_with(last)) {
      s.remove_prefix(last.size());
      return true;
    }
  }
  return false;
}

// The content of a positional bracket: "n", "last()" or "last()-k". Gives the
// child index counting from 1, checked against the child count.
bool ResolvePosition(std::string_view content, uint32_t count, uint32_t& n) noexcept {
  if (StripLast(content)) {
    uint32_t back = 0;
    if (!content.empty()) {
      if (content[0] != '-' || !ParseCount(content.substr(1), back)) return false;
    }
    if (back >= count) return false;
    n = count - back;
    return true;
  }
  if (!ParseCount(content, n)) return false;
  return n >= 1 && n <= count;
}

bool SelectPosition(const JsonDocument& doc, std::string_view content, uint32_t& cursor) {
  uint32_t n = 0;
  if (!ResolvePosition(content, doc.ChildCount(cursor), n)) return false;
  cursor = doc.Child(cursor, n - 1);
  return cursor != kNoNode;
}

bool SelectParent(const JsonDocument& doc, uint32_t& cursor) noexcept {
  if (cursor == 0) return false;
  cursor = doc.Parent(cursor);
  return true;
}

// One bracketed part "[...]" at the front of s: its content, with s moved past it.
bool TakeBracket(std::string_view& s, std::string_view& content) noexcept {
  size_t close = s.find(']');
  if (s.empty() || s[0] != '[' || close == std::string_view::npos) return false;
  content = s.substr(1, close - 1);
  s.remove_prefix(close + 1);
  return true;
}

bool MoveSlash(const JsonDocument& doc, std::string_view path, uint32_t& cursor) {
  if (!path.empty() && path[0] == '/') {
    cursor = 0;
    path.remove_prefix(1);
    if (path.empty()) return true;
    // The first step names the root: "json", "json[1]", "[1]" or "[last()]".
    std::string_view step = path.substr(0, path.find('/'));
    path.remove_prefix(step.size());
    if (step != "json" && step != "json[1]" && step != "[1]") {
      std::string_view rest = step.substr(step.empty() ? 0 : 1);
      if (step.empty() || step[0] != '[' || !StripLast(rest) || rest != "]") return false;
    }
  }
  for (;;) {
    while (!path.empty() && path[0] == '/') path.remove_prefix(1);
    if (path.empty()) return true;
    std::string_view content;
    if (path[0] == '[') {
      if (!TakeBracket(path, content) || !SelectPosition(doc, content, cursor)) return false;
    } else if (path.starts_with("..")) {
      if (path.size() > 2 && path[2] != '/') return false;
      path.remove_prefix(2);
      if (!SelectParent(doc, cursor)) return false;
      continue;
    } else {
      size_t stop = path.find_first_of("/[");
      std::string_view name = path.substr(0, stop);
      path.remove_prefix(name.size());
      uint32_t nth = 1;
      // Only a count may follow a name: there are no attributes to test and
      // NAME[last()] is not a step.
      if (!path.empty() && path[0] == '[') {
        if (!TakeBracket(path, content) || !ParseCount(content, nth)) return false;
      }
      uint32_t child = doc.FindChild(cursor, name, nth);
      if (child == kNoNode) return false;
      cursor = child;
    }
    if (!path.empty() && path[0] != '/') return false;
  }
}

bool EndsDottedStep(std::string_view s, size_t i) noexcept {
  return i >= s.size() || s[i] == '.' || s[i] == '[';
}

bool MoveDotted(const JsonDocument& doc, std::string_view path, uint32_t& cursor) {
  while (!path.empty()) {
    char c = path[0];
    if (c == '.') {
      if (path.size() > 1 && path[1] == '.') {
        path.remove_prefix(2);
        if (!SelectParent(doc, cursor)) return false;
      } else {
        path.remove_prefix(1);
      }
    } else if (c == '[') {
      if (path.size() > 1 && (path[1] == '\'' || path[1] == '"')) {
        // ['name'] or ["name"]: the name may hold dots and brackets.
        const char closer[] = {path[1], ']', '\0'};
        size_t close = path.find(closer, 2);
        if (close == std::string_view::npos) return false;
        uint32_t child = doc.FindChild(cursor, path.substr(2, close - 2), 1);
        if (child == kNoNode) return false;
        cursor = child;
        path.remove_prefix(close + 2);
      } else {
        std::string_view content;
        if (!TakeBracket(path, content) || !SelectPosition(doc, content, cursor)) return false;
      }
    } else if (c == '$' && EndsDottedStep(path, 1)) {
      cursor = 0;
      path.remove_prefix(1);
    } else if (c == '@' && EndsDottedStep(path, 1)) {
      path.remove_prefix(1);
    } else {
      size_t stop = path.find_first_of(".[");
      uint32_t child = doc.FindChild(cursor, path.substr(0, stop), 1);
      if (child == kNoNode) return false;
      cursor = child;
      path.remove_prefix(stop == std::string_view::npos ? path.size() : stop);
    }
  }
  return true;
}

}  // namespace

JsonPathForm DetectJsonPathForm(std::string_view path) noexcept {
  if (!path.empty() && path[0] == '$') return JsonPathForm::jpDotted;
  size_t open = path.find("['");
  if (open != std::string_view::npos && path.find("']", open + 2) != std::string_view::npos) {
    return JsonPathForm::jpDotted;
  }
  size_t dot = path.find('.');
  if (dot != std::string_view::npos && dot > 0 && dot + 1 < path.size() &&
      path[dot + 1] != '.' && path[dot + 1] != '/') {
    return JsonPathForm::jpDotted;
  }
  return JsonPathForm::jpSlash;
}

bool MoveJsonCursor(const JsonDocument& doc, std::string_view path, JsonPathForm form,
                    uint32_t& cursor) {
  if (!doc.HasTree()) return false;
  if (cursor >= doc.NodeCount()) cursor = 0;
  return form == JsonPathForm::jpDotted ? MoveDotted(doc, path, cursor)
                                        : MoveSlash(doc, path, cursor);
}

std::string BuildJsonPath(const JsonDocument& doc, uint32_t node, JsonPathForm form) {
  const bool dotted = form == JsonPathForm::jpDotted;
  std::vector<uint32_t> chain;
  for (uint32_t n = node; n != 0 && n < doc.NodeCount(); n = doc.Parent(n)) chain.push_back(n);
  std::string path = dotted ? "$" : "/json";
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!dotted) path += '/';
    // A member whose name an earlier sibling already has is written by its
    // position: by name, the path would select that first one instead.
    bool repeated = !doc.IsItem(*it) && doc.FindChild(doc.Parent(*it), doc.Name(*it), 1) != *it;
    if (doc.IsItem(*it) || repeated) {
      path += '[';
      path += std::to_string(doc.Ordinal(*it));
      path += ']';
    } else if (dotted) {
      path += "['";
      path += doc.Name(*it);
      path += "']";
    } else {
      path += doc.Name(*it);
    }
  }
  return path;
}

}  // namespace corvane
