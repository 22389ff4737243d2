#include "xml/xml_errors.h"

namespace corvane {

const char* XmlErrorText(int code) noexcept {
  switch (code) {
#define XML_ERROR(name, value, text) \
  case value:                        \
    return text;
#include "xml/xml_errors.def"
#undef XML_ERROR
  }
  return "xmlpimpl: unknown error";
}

}  // namespace corvane
