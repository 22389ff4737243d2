#include "core/config_item.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(ConfigItemTest, SplitsNameIndexAndValue) {
  struct Case {
    const char* text;
    const char* name;
    const char* value;
    bool isQuery;
    bool hasIndex;
    int index;
  } cases[] = {
      {"", "", "", true, false, 0},
      {"Timeout", "Timeout", "", true, false, 0},
      {"Timeout=30", "Timeout", "30", false, false, 0},
      {"Timeout=", "Timeout", "", false, false, 0},
      {"Key= \"a b\"  ", "Key", "a b", false, false, 0},
      {"Key=\"quoted", "Key", "quoted", false, false, 0},
      {"Key=a=b", "Key", "a=b", false, false, 0},
      {"Key=\\n", "Key", "\\n", false, false, 0},
      {"CookieName[3]", "CookieName", "", true, true, 3},
      {"CookieName(12)=x", "CookieName", "x", false, true, 12},
      {"Name[2]Tail=v", "NameTail", "v", false, true, 2},
  };
  for (const Case& c : cases) {
    ConfigItem item = ConfigItem::Parse(c.text);
    EXPECT_EQ(item.name.view(), c.name) << c.text;
    EXPECT_EQ(item.value.view(), c.value) << c.text;
    EXPECT_EQ(item.isQuery, c.isQuery) << c.text;
    EXPECT_EQ(item.hasIndex, c.hasIndex) << c.text;
    EXPECT_EQ(item.index, c.index) << c.text;
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
