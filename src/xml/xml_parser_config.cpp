// The XML configuration keys; anything else goes on to the core's handler.
#include "xml/xml_parser.h"

namespace corvane {

int XmlParser::HandleConfig(const ConfigItem& item, ByteBuffer& result) {
  struct FlagKey {
    const char* name;
    uint32_t bit;
  };
  static constexpr FlagKey kFlagKeys[] = {
      {"IgnoreBadAttributePrefixes", kIgnoreBadAttributePrefixes},
      {"IgnoreBadElementPrefixes", kIgnoreBadElementPrefixes},
      {"AllowMoreThanOneRoot", kAllowMoreThanOneRoot},
      {"AllowTextOutsideRoot", kAllowTextOutsideRoot},
  };
  for (const FlagKey& key : kFlagKeys) {
    if (!item.Is(key.name)) continue;
    if (item.isQuery) return AnswerBool(result, (flags_ & key.bit) != 0);
    if (item.Bool()) {
      flags_ |= key.bit;
    } else {
      flags_ &= ~key.bit;
    }
    return 0;
  }
  if (item.Is("IncludeUnknownPrefixes")) return ConfigBool(item, result, includeUnknownPrefixes_);
  if (item.Is("CacheContent") || item.Is("KeepOriginalText")) {
    return ConfigBool(item, result, keepOriginalText_);
  }
  if (item.Is("XSubTree") || item.Is("XContents")) {
    if (!item.isQuery) return 0;
    return AnswerText(result, item.Is("XSubTree") ? XSubTree() : XContents());
  }
  if (item.Is("HTMLComments")) return ConfigBool(item, result, htmlComments_);
  if (item.Is("UseEncoding")) {
    if (item.isQuery) return AnswerText(result, XmlEncodingName(encoding_));
    encoding_ = XmlEncodingFromName(item.Text());
    transcoder_.Reset();
    return 0;
  }
  if (item.Is("PreserveWhitespace")) return ConfigBool(item, result, preserveWhitespace_);
  if (item.Is("ErrorOnEmptyAttr")) return ConfigBool(item, result, errorOnEmptyAttr_);
  if (item.Is("AllowLeadingDigit")) {
    int rc = ConfigBool(item, result, allowLeadingDigit_);
    ApplyLeadingDigit();
    return rc;
  }
  if (item.Is("CodePage") && !item.isQuery) {
    SetCodePage(static_cast<unsigned>(ParseConfigInt(item.Text())));
    return 0;
  }
  return ComponentCore::HandleConfig(item, result);
}

}  // namespace corvane
