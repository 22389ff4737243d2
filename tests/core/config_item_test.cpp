#include "core/config_item.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

TEST(ConfigItemTest, SplitsNameIndexAndValue) {
  struct {
    const char* text;
    const char* parts;  // name|value, then "?" for a query and [index] when there is one
  } cases[] = {
      {"", "|?"}, {"Timeout", "Timeout|?"}, {"Timeout=30", "Timeout|30"}, {"Timeout=", "Timeout|"},
      {"Key= \"a b\"  ", "Key|a b"}, {"Key=\"quoted", "Key|quoted"}, {"Key=a=b", "Key|a=b"}, {"Key=\\n", "Key|\\n"},
      {"CookieName[3]", "CookieName|?[3]"}, {"CookieName(12)=x", "CookieName|x[12]"},
      {"Name[2]Tail=v", "NameTail|v[2]"},
  };
  for (const auto& c : cases) {
    ConfigItem item = ConfigItem::Parse(c.text);
    std::string parts = std::string(item.name.view()) + "|" + std::string(item.value.view());
    if (item.isQuery) parts += "?";
    EXPECT_EQ(parts + (item.hasIndex ? "[" + std::to_string(item.index) + "]" : ""), c.parts) << c.text;
  }
  EXPECT_TRUE(ConfigItem::Parse("followredirects=1").Is("FollowRedirects"));
  EXPECT_FALSE(ConfigItem::Parse("followredirects=1").Is("FollowRedirect"));
}

TEST(ConfigValueTest, IntegersFollowPrefixSignAndStopRules) {
  struct {
    const char* text;
    int64_t value;
  } cases[] = {{"", 0},      {"42", 42},     {"+7", 7},        {"-12", -12},   {"0x1F", 31},
               {"0XfF", 255}, {"0x-10", -16}, {"12abc", 12},   {"abc", 0},     {"0x", 0},
               {"0x3", 3},   {" 5", 0},      {"-0x10", 0}};
  for (const auto& c : cases) EXPECT_EQ(ParseConfigInt(c.text), c.value) << c.text;
}

TEST(ConfigValueTest, BooleansAcceptOnlyTrueYesAndOne) {
  for (const char* t : {"TRUE", "true", "True", "yes", "YES", "1"}) EXPECT_TRUE(ParseConfigBool(t)) << t;
  for (const char* f : {"on", "false", "0", "", "2", "y", "truely"}) EXPECT_FALSE(ParseConfigBool(f)) << f;
}

}  // namespace
}  // namespace corvane
