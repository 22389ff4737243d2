#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "json/json_document.h"

namespace corvane {

// The two spellings of a path on a JSON document:
//   slash  "/json/a/[2]/b", "a/b[3]", "../[last()-1]"
//   dotted "$.a[2].b", "$['a']['b']", "@..c"
// Reading a path back gives it rebuilt in the form it was set in.
enum class JsonPathForm { jpSlash, jpDotted };

// The dotted form is recognised by a leading "$", by "['" followed later by
// "']", or by a first "." after the first byte that is followed by something
// other than "." or "/".
JsonPathForm DetectJsonPathForm(std::string_view path) noexcept;

// Moves cursor along path. Returns true when every step found its node;
// otherwise false, with cursor on the node reached by the steps that
// succeeded. The document must have a tree.
bool MoveJsonCursor(const JsonDocument& doc, std::string_view path, JsonPathForm form,
                    uint32_t& cursor);

// "/json" then "/" and the name or "[n]" per node below the root (slash form);
// "$" then "['name']" or "[n]" per node (dotted form). Array items, and
// members whose name an earlier sibling has too, are written as "[n]".
std::string BuildJsonPath(const JsonDocument& doc, uint32_t node, JsonPathForm form);

}  // namespace corvane
