#include "xml/xml_errors.h"

#include "core/error_table.h"

namespace corvane {

namespace {

constexpr ErrorRow kRows[] = {
#define XML_ERROR(name, value, text) {value, text},
#include "xml/xml_errors.def"
#undef XML_ERROR
};

constexpr ErrorTable<XmlError> kTable(kRows);

}  // namespace

const char* XmlErrorText(int code) noexcept {
  const ErrorRow* row = kTable.Find(code);
  return row ? row->text.data() : "xmlpimpl: unknown error";
}

}  // namespace corvane
