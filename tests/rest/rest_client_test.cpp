#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "corvane/rest.h"
#include "support/python_server.h"

namespace corvane {
namespace {

class Recorder : public RESTEvents {
 public:
  void Characters(std::string& text) override { characters.push_back(text); }
  void SetCookie(std::string& name, std::string& value, std::string& expires, std::string& domain,
                 std::string& path, bool& secure) override {
    cookies.push_back(name + "=" + value + "|" + expires + "|" + domain + "|" + path + "|" +
                      (secure ? "secure" : ""));
  }
  std::vector<std::string> characters;
  std::vector<std::string> cookies;
};

class RestClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(server_.port(), 0) << "the scripted server did not start";
    rest_.SetListener(&events_);
    rest_.SetTimeout(10);
  }
  std::string Url(const std::string& path) { return server_.Url(path); }
  // The value of the JSON member at path in the current document.
  std::string Text(const std::string& path) {
    EXPECT_EQ(rest_.SetXPath(path), 0) << path << ": " << rest_.LastError();
    return rest_.XText();
  }

  testing::PythonServer server_{testing::TestsPath("http/scripted_server.py")};
  REST rest_;
  Recorder events_;
};

TEST_F(RestClientTest, ContentTypeChoosesTheParserCaseSensitively) {
  ASSERT_EQ(rest_.Get(Url("/json-charset")), 0) << rest_.LastError();
  EXPECT_EQ(Text("$.a.b"), "\"t\"");
  EXPECT_EQ(rest_.XTextDecoded(), "t");
  ASSERT_EQ(rest_.Get(Url("/xhtml")), 0) << rest_.LastError();
  EXPECT_EQ(Text("/html/body/p"), "x");
  EXPECT_EQ(rest_.XTextDecoded(), "x");
  events_.characters.clear();
  ASSERT_EQ(rest_.Get(Url("/plain")), 0);
  ASSERT_EQ(rest_.Get(Url("/caps-json")), 0);
  EXPECT_EQ(events_.characters, (std::vector<std::string>{"just text\r\nline two", "{\"a\":1}"}));
}

TEST_F(RestClientTest, ErrorAnswersAndErrorPaths) {
  EXPECT_EQ(rest_.StatusCode(), 0);
  // An error status still leaves the error document navigable.
  EXPECT_EQ(rest_.Get(Url("/missing")), 151);
  EXPECT_EQ(rest_.StatusCode(), 404);
  EXPECT_NE(rest_.LastError().find("404"), std::string::npos) << rest_.LastError();
  EXPECT_EQ(Text("/problem/reason"), "gone");
  // The error path turns a success into -1 with the element's text.
  ASSERT_EQ(rest_.SetXErrorPath("/r/error"), 0);
  EXPECT_EQ(rest_.Get(Url("/fault")), -1);
  EXPECT_EQ(rest_.LastError(), "bad thing");
  EXPECT_EQ(rest_.XElement(), "error");
  EXPECT_EQ(rest_.Get(Url("/no-fault")), 0) << rest_.LastError();
  EXPECT_NE(rest_.Get(Url("/broken-xml")), 0);
  EXPECT_FALSE(rest_.LastError().empty());
  // Reset restores the content type and forgets the error path.
  rest_.SetContentType("application/json");
  ASSERT_EQ(rest_.Reset(), 0);
  EXPECT_EQ(rest_.ContentType(), "text/xml");
  EXPECT_EQ(rest_.XErrorPath(), "");
}

// The parsers read the answer while their events run: requests started from
// those events fail busy rather than reset the parser or replace the body
// under the scan (without a tree the JSON parser reads the body in place).
TEST_F(RestClientTest, RequestsFromParserEventsFailBusy) {
  struct NestedGets : RESTEvents {
    REST* rest = nullptr;
    std::string url, names;
    std::vector<int> results;
    void StartElement(std::string&, std::string& element, std::string&, bool&) override {
      names += element + ",";
      if (results.empty()) results = {rest->Get(url), rest->Delete(url), rest->Reset()};
    }
  };
  const struct {
    const char* path;
    bool dom;
    const char* names;
    const char* body;
  } cases[] = {
      {"/json-charset", false, "json,a,b,n,,,", R"({"a":{"b":"t"},"n":[1,2]})"},
      {"/json-charset", true, "json,a,b,n,,,", R"({"a":{"b":"t"},"n":[1,2]})"},
      {"/xhtml", false, "html,body,p,", "<html><body><p>x</p></body></html>"},
      {"/xhtml", true, "html,body,p,", "<html><body><p>x</p></body></html>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.dom ? " with a tree" : " without"));
    NestedGets nested;
    nested.rest = &rest_;
    nested.url = Url("/plain");
    rest_.SetListener(&nested);
    ASSERT_EQ(rest_.SetBuildDOM(c.dom), 0);
    ASSERT_EQ(rest_.Get(Url(c.path)), 0) << rest_.LastError();
    EXPECT_EQ(nested.results, (std::vector<int>{143, 143, 143}));
    EXPECT_EQ(nested.names, c.names);
    EXPECT_EQ(rest_.TransferredData(), c.body);
  }
  // During the transfer too, and the running request keeps its URL.
  struct GetFromTransfer : RESTEvents {
    REST* rest = nullptr;
    std::string url;
    int result = 0;
    void Transfer(int&, int64_t&, int&, std::string&) override {
      if (result == 0) result = rest->Get(url);
    }
  } fromTransfer;
  fromTransfer.rest = &rest_;
  fromTransfer.url = Url("/plain");
  rest_.SetListener(&fromTransfer);
  ASSERT_EQ(rest_.Get(Url("/item")), 0) << rest_.LastError();
  EXPECT_EQ(fromTransfer.result, 143);
  EXPECT_EQ(rest_.URL(), Url("/item"));
  rest_.SetListener(&events_);
}

TEST_F(RestClientTest, AnswersLeftUnparsed) {
  // A DELETE keeps the previous document.
  ASSERT_EQ(rest_.Get(Url("/item")), 0) << rest_.LastError();
  ASSERT_EQ(rest_.Delete(Url("/json-charset")), 0) << rest_.LastError();
  EXPECT_EQ(Text("/item"), "one");
  EXPECT_EQ(rest_.Attr("ID"), "1");
  // A no-content answer naming JSON is not parsed.
  EXPECT_EQ(rest_.Put(Url("/no-content")), 0) << rest_.LastError();
  EXPECT_EQ(rest_.StatusCode(), 204);
  // A body written to a local file is not parsed either.
  std::string path = ::testing::TempDir() + "rest_local_file.json";
  ASSERT_EQ(rest_.SetLocalFile(path), 0);
  EXPECT_EQ(rest_.Get(Url("/json-charset")), 0) << rest_.LastError();
  EXPECT_EQ(rest_.TransferredData(), "");
  std::remove(path.c_str());
}

TEST_F(RestClientTest, CookiesOnTwoPathsAreBothSentWhateverTheirFlags) {
  ASSERT_EQ(rest_.Get(Url("/cookies/paths")), 0);
  ASSERT_EQ(rest_.Get(Url("/cookies/base64")), 0);
  ASSERT_EQ(rest_.CookieCount(), 3);
  EXPECT_EQ(events_.cookies, (std::vector<std::string>{"id=a|||/a|", "id=b|||/b|secure",
                                                       "tok=YWJjZA==|Wed, 21 Oct 2015 07:28:00 GMT||/|"}));
  EXPECT_TRUE(rest_.CookieSecure(1));
  EXPECT_EQ(rest_.CookieValue(2), "YWJjZA==");
  EXPECT_EQ(rest_.CookieExpiration(2), "Wed, 21 Oct 2015 07:28:00 GMT");
  ASSERT_EQ(rest_.Get(Url("/echo-cookie")), 0);
  EXPECT_EQ(Text("/json/cookie"), "\"id=a; id=b; tok=YWJjZA==\"");
  // An index at the count fails with 156; the next good read clears it.
  EXPECT_EQ(rest_.CookieName(3), "");
  EXPECT_EQ(rest_.LastGetCode(), 156);
  EXPECT_EQ(rest_.LastError(), "Invalid cookie index (out of range).");
  EXPECT_EQ(rest_.SetCookieValue(3, "x"), 156);
  EXPECT_EQ(rest_.CookieName(0), "id");
  EXPECT_EQ(rest_.LastGetCode(), 0);
}

TEST_F(RestClientTest, CookiesAcrossAHostChangeAndAnHttpCookiesOverride) {
  ASSERT_EQ(rest_.AddCookie("mine", "1"), 0);
  ASSERT_EQ(rest_.Get(Url("/cookies/base64")), 0);
  ASSERT_EQ(rest_.CookieCount(), 2);
  ASSERT_EQ(rest_.Get(server_.Url("/echo-cookie", "localhost")), 0) << rest_.LastError();
  EXPECT_EQ(rest_.CookieCount(), 1);
  EXPECT_EQ(rest_.CookieName(0), "mine");
  ASSERT_EQ(rest_.Config("DontClearCookiesOnUrlChange=true"), 0);
  ASSERT_EQ(rest_.Get(Url("/cookies/base64")), 0);
  ASSERT_EQ(rest_.Get(server_.Url("/echo-cookie", "localhost")), 0);
  EXPECT_EQ(rest_.CookieCount(), 2);
  // An HttpCookies text goes once instead of the list.
  ASSERT_EQ(rest_.Config("HttpCookies=x=9"), 0);
  ASSERT_EQ(rest_.Get(Url("/echo-cookie")), 0);
  EXPECT_EQ(Text("/json/cookie"), "\"x=9\"");
  ASSERT_EQ(rest_.Get(Url("/echo-cookie")), 0);
  EXPECT_EQ(Text("/json/cookie"), "\"mine=1; tok=YWJjZA==\"");
}

// The parser's settings are reached through the object's Config, queries
// included (their defaults are pinned by the reference pages), and take
// effect on the next document.
TEST_F(RestClientTest, XmlParserSettingsGoThroughConfig) {
  REST rest;
  std::string answer;
  for (auto [key, set, after] : {std::tuple{"IgnoreBadAttributePrefixes", "false", "False"},
                                 {"KeepOriginalText", "false", "False"}, {"UseEncoding", "utf-8", "UTF-8"},
                                 {"AllowLeadingDigit", "1", "True"}}) {
    ASSERT_EQ(rest.Config(std::string(key) + "=" + set), 0) << key << ": " << rest.LastError();
    ASSERT_EQ(rest.Config(key, &answer), 0) << key;
    EXPECT_EQ(answer, after) << key;
  }
  ASSERT_EQ(rest_.Get(Url("/item")), 0) << rest_.LastError();
  ASSERT_EQ(rest_.Config("XSubTree", &answer), 0);
  EXPECT_EQ(answer, "<item id='1'>one</item>");
  ASSERT_EQ(rest_.Config("XContents", &answer), 0);
  EXPECT_EQ(answer, "one");
  ASSERT_EQ(rest_.Config("ErrorOnEmptyAttr=true"), 0);
  EXPECT_EQ(rest_.Attr("none"), "");
  EXPECT_EQ(rest_.LastGetCode(), 107);
}

}  // namespace
}  // namespace corvane
