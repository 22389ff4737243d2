#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/code_page.h"
#include "core/component_core.h"
#include "core/debug_trace.h"
#include "core/file_ops.h"
#include "support/servers.h"

namespace corvane {
namespace {

struct TempDir {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvane-XXXXXX").string();
  std::filesystem::path path = mkdtemp(pattern.data());
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string File(const char* name) const { return (path / name).string(); }
};

TEST(FileOpsTest, CreateTruncatesAppendKeepsAndReadNeedsExistingFile) {
  TempDir dir;
  std::string path = dir.File("a.txt");
  FileHandle f;
  EXPECT_EQ(OpenForRead(path, f), kErrFileOpen);
  ASSERT_EQ(CreateForWrite(path, f), 0);
  ASSERT_TRUE(f.WriteAll("hello world", 11));
  ASSERT_EQ(CreateForWrite(path, f), 0);
  ASSERT_TRUE(f.WriteAll("new", 3));
  f.Reset();
  ASSERT_EQ(OpenForAppend(path, f), 0);
  ASSERT_TRUE(f.WriteAll("+more", 5));
  f.Reset();
  EXPECT_EQ(testing::ReadFile(path), "new+more");
  ASSERT_EQ(OpenForRead(path, f, 4), 0);
  char buf[16] = {};
  EXPECT_EQ(f.Read(buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "more");
  EXPECT_EQ(CreateForWrite(dir.File("missing/dir/x"), f), kErrFileOpen);
  ASSERT_EQ(CreateForWrite(dir.File("m"), f, 0600), 0);
  EXPECT_EQ(std::filesystem::status(dir.File("m")).permissions() & std::filesystem::perms::group_read,
            std::filesystem::perms::none);
}

TEST(TraceTest, HeaderLineHexDumpAndRecordCommandLayout) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 5;
  t.tm_hour = 9;
  t.tm_min = 8;
  t.tm_sec = 7;
  EXPECT_EQ(TraceHeaderLine(42, t, "SEND", 17),
            "[42] [2026/12/05 09:08:07] ------SEND------(17 bytes)\r\n");
  std::string data(33, '\x0a');
  std::string dump = TraceHexDump(data.data(), data.size());
  std::string line;
  for (int i = 0; i < 31; ++i) line += "0A ";
  EXPECT_EQ(dump, line + "0A\r\n0A ");
  // The traffic-record commands escape what their script language treats specially.
  std::string out, special = std::string("a\\b$\"{}[]\r\n", 11) + std::string("\x00\x7f\xe9", 3);
  AppendRecordCommand(out, true, special.data(), special.size());
  EXPECT_EQ(out, "\r\nsend -nonewline \"a\\\\b\\$\\\"\\{\\}\\[\\]\r\n\\000\\177\\351\"\r\n");
  out.clear();
  AppendRecordCommand(out, false, "GET", 3);
  EXPECT_EQ(out, "\r\nexpect -exact \"GET\"\r\n");
}

TEST(TraceTest, ComponentAppendsBlocksToTheTraceFile) {
  TempDir dir;
  ComponentCore core;
  std::string path = dir.File("trace.log");
  ASSERT_EQ(core.Config("LogDebugFile=" + path), 0);
  EXPECT_EQ(core.WriteTrace("SEND", "GET /", 5), 0);
  ASSERT_EQ(core.Config("LogDebugOption=1"), 0);
  EXPECT_EQ(core.WriteTrace("RECEIVE", "\x01\x02", 2), 0);
  std::string text = testing::ReadFile(path);
  EXPECT_NE(text.find("------SEND------(5 bytes)\r\nGET /\r\n"), std::string::npos);
  EXPECT_NE(text.find("------RECEIVE------(2 bytes)\r\n01 02 \r\n"), std::string::npos);
  ASSERT_EQ(core.Config("LogDebugFile=" + dir.File("no/such/dir/t")), 0);
  EXPECT_EQ(core.WriteTrace("SEND", "x", 1), kErrTraceOpen);
}

TEST(CodePageTest, Utf16RoundTripsThroughUtf8AndLatin1AndUnknownPagesFailWith434) {
  std::u16string text = u"caf\u00e9 \u20ac", back;
  std::string utf8, latin;
  ASSERT_EQ(FromUtf16(text, 65001, utf8), 0);
  EXPECT_EQ(utf8, "caf\xc3\xa9 \xe2\x82\xac");
  ASSERT_EQ(ToUtf16(utf8, 65001, back), 0);
  EXPECT_EQ(back, text);
  ASSERT_EQ(FromUtf16(u"caf\u00e9", 1252, latin), 0);
  EXPECT_EQ(latin, "caf\xe9");
  EXPECT_EQ(FromUtf16(u"abc", 99999, latin), kErrCodePage);
  EXPECT_EQ(ToUtf16("\xff\xfe\xfd", 65001, back), kErrCodePage);
  EXPECT_EQ(FromUtf16(u"", 99999, latin), 0);
}

}  // namespace
}  // namespace corvane
