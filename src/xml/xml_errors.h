#pragma once

namespace corvane {

// The codes the XML parser and the document navigation return.
enum XmlError : int {
#define XML_ERROR(name, code, text) name = code,
#include "xml/xml_errors.def"
#undef XML_ERROR
};

// The message of an XML error code ("xmlpimpl: unknown error" for a code
// without a message of its own). Messages that end in ": " are completed
// with the offending name by the caller.
const char* XmlErrorText(int code) noexcept;

}  // namespace corvane
