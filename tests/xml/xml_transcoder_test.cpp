#include "xml/xml_transcoder.h"

#include <gtest/gtest.h>

#include "xml_transcript.h"

namespace corvane {
namespace {

std::string Transcode(XmlEncoding e, const testing::Pieces& pieces) {
  XmlTranscoder t;
  XmlBuffer out;
  for (std::string_view p : pieces) {
    EXPECT_EQ(t.Transcode(e, reinterpret_cast<const uint8_t*>(p.data()), p.size(), out), 0);
  }
  return out.str();
}

// The same output however the input is cut.
void ExpectAtEverySplit(XmlEncoding e, std::string_view in, std::string_view expected) {
  testing::ForEachSplit(in, [&](const testing::Pieces& pieces, const std::string& how) {
    EXPECT_EQ(Transcode(e, pieces), expected) << how;
  });
}

TEST(XmlTranscoder, Utf8SequencesBecomeDecimalReferencesWhateverTheCut) {
  // U+00E9, U+20AC, U+1F600 (RFC 3629 sequence lengths 2, 3 and 4).
  std::string in = "a\xC3\xA9-\xE2\x82\xAC-\xF0\x9F\x98\x80z";
  ExpectAtEverySplit(XmlEncoding::xeUtf8, in, "a&#233;-&#8364;-&#128512;z");
}

TEST(XmlTranscoder, BrokenUtf8IsReplacedAndAsciiCopiesBytes) {
  EXPECT_EQ(Transcode(XmlEncoding::xeUtf8, {"\x80x\xC3y"}), "&#65533;x&#65533;y");
  EXPECT_EQ(Transcode(XmlEncoding::xeAscii, {"a\xC3\xA9"}), "a\xC3\xA9");
}

TEST(XmlTranscoder, Utf32BothByteOrders) {
  std::string le("<\0\0\0\xE9\0\0\0\x00\xF6\x01\x00", 12);
  std::string be("\0\0\0<\0\0\0\xE9\x00\x01\xF6\x00", 12);
  ExpectAtEverySplit(XmlEncoding::xeUtf32LE, le, "<&#233;&#128512;");
  ExpectAtEverySplit(XmlEncoding::xeUtf32BE, be, "<&#233;&#128512;");
}

TEST(XmlTranscoder, InputForFindsTheByteAfterAGivenOutputLength) {
  XmlTranscoder t;
  std::string in = "\xC3\xA9>\xC3\xA9";
  // "&#233;" is 6 bytes, then '>'.
  EXPECT_EQ(t.InputFor(XmlEncoding::xeUtf8, reinterpret_cast<const uint8_t*>(in.data()), in.size(), 7), 3u);
}

// The encoding comes from the setting or the declaration; UTF-16 input is
// refused with 306 and a name that is not known reads as ASCII.
TEST(XmlEncoding, FromSettingOrDeclaration) {
  struct {
    const char *setting, *doc;
    int rc;
    const char* encoding;
  } cases[] = {
      {"UseEncoding=utf-16le", "<a/>", 306, "UTF-16LE"},
      {"UseEncoding=latin1", "<a/>", 0, "ASCII"},
      {"UseEncoding=Utf-32be", "", 0, "UTF-32BE"},
      {nullptr, "<?xml encoding=\"UTF-16\"?><a/>", 0, "ASCII"},
      {nullptr, "<?xml encoding=\"UTF-16BE\"?><a/>", 306, "UTF-16BE"},
      {nullptr, "<?xml encoding='UTF-32\\'BE'?>", 0, "ASCII"},
  };
  for (const auto& c : cases) {
    XmlParser parser;
    if (c.setting != nullptr) {
      ASSERT_EQ(parser.Config(c.setting), 0);
    }
    EXPECT_EQ(parser.Feed(c.doc), c.rc) << c.doc;
    ASSERT_EQ(parser.Config("UseEncoding"), 0);
    EXPECT_EQ(parser.ResultText().view(), c.encoding) << c.doc;
  }
}

TEST(XmlEncoding, DeclarationSwitchesEncodingForTheRestAtAnyCut) {
  std::string doc = "<?xml version=\"1.0\" encoding = 'UTF-8'?><a t='\xC3\xA9'>\xC3\xA9</a>";
  testing::ParseRun whole = testing::ExpectSameAtEverySplit(doc, {"CodePage=65001"});
  EXPECT_EQ(whole.rc, 0);
  EXPECT_EQ(whole.transcript,
            "PI xml version=\"1.0\" encoding = 'UTF-8'\nEntity #233=\xC3\xA9\n"
            "Start {}a a [t=\xC3\xA9]\nEntity #233=\xC3\xA9\nC \xC3\xA9\nEnd {}a a\n");
  // Long enough that the declaration is scanned ahead of the rest, with a
  // character cut by where that first part ends.
  std::string head = "<?xml version=\"1.0\" encoding = 'UTF-8'?><a t='";
  std::string pad(255 - head.size(), 'x');
  testing::ParseRun longer = testing::ExpectSameAtEverySplit(head + pad + "\xC3\xA9'/>", {"CodePage=65001"});
  EXPECT_NE(longer.transcript.find("[t=" + pad + "\xC3\xA9]"), std::string::npos) << longer.transcript;
}

TEST(XmlEncoding, EncodingFromDeclarationSurvivesReset) {
  XmlParser parser;
  ASSERT_EQ(parser.Feed("<?xml encoding=\"utf-32le\"?>"), 0);
  EXPECT_EQ(parser.Encoding(), XmlEncoding::xeUtf32LE);
  parser.Reset();
  EXPECT_EQ(parser.Encoding(), XmlEncoding::xeUtf32LE);
  std::string doc("<\0\0\0r\0\0\0/\0\0\0>\0\0\0", 16);
  ASSERT_EQ(parser.Feed(doc), 0);
  EXPECT_EQ(parser.XElement(), "r");
}

}  // namespace
}  // namespace corvane
