#include "rest/property_table.h"

#include <gtest/gtest.h>

#include <set>

namespace corvane {
namespace {

TEST(PropertyTableTest, EveryDispidFromOneToEightyFourOnce) {
  std::set<int> ids;
  for (const PropertyInfo& p : Properties()) EXPECT_TRUE(ids.insert(p.dispid).second) << p.name;
  EXPECT_EQ(ids.size(), 84u);
  EXPECT_EQ(*ids.begin(), 1);
  EXPECT_EQ(*ids.rbegin(), 84);
}

TEST(PropertyTableTest, LookupIsCaseInsensitiveAndKnowsAccess) {
  const PropertyInfo* p = FindProperty("xtext");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->dispid, 76);
  EXPECT_TRUE(p->readOnly);
  EXPECT_EQ(p->helpContext, 23476);
  EXPECT_EQ(FindProperty("NoSuchThing"), nullptr);
  const PropertyInfo* cookie = FindProperty(10);
  ASSERT_NE(cookie, nullptr);
  EXPECT_STREQ(cookie->name, "CookieName");
  EXPECT_TRUE(cookie->indexed);
  EXPECT_FALSE(cookie->readOnly);
}

TEST(PropertyTableTest, TextParsesEnumeratorNamesNumbersAndBooleans) {
  struct {
    const char* property;
    const char* text;
    bool ok;
    int64_t value;
  } cases[] = {{"FollowRedirects", "frAlways", true, 1},  {"FollowRedirects", "FRSAMESCHEME", true, 2},
               {"AuthScheme", "4", true, 4},              {"AuthScheme", "authBogus", false, 0},
               {"FirewallType", "0x3", true, 3},          {"BuildDOM", "yes", true, 1},
               {"BuildDOM", "False", true, 0},            {"BuildDOM", "maybe", false, 0},
               {"Timeout", "-5", true, -5},               {"Timeout", "5s", false, 0},
               {"SSLCertStoreType", "cstPEMKeyFile", true, 6}};
  for (const auto& c : cases) {
    const PropertyInfo* p = FindProperty(c.property);
    ASSERT_NE(p, nullptr) << c.property;
    PropertyValue v;
    EXPECT_EQ(ParsePropertyText(*p, c.text, v), c.ok) << c.property << " " << c.text;
    if (c.ok) {
      EXPECT_EQ(v.integer, c.value) << c.property << " " << c.text;
    }
  }
}

TEST(PropertyTableTest, SettersAndGettersReachTheObject) {
  REST rest;
  PropertyValue v;
  ASSERT_TRUE(ParsePropertyText(*FindProperty("FollowRedirects"), "frSameScheme", v));
  EXPECT_EQ(FindProperty("FollowRedirects")->set(rest, 0, v), 0);
  EXPECT_EQ(rest.FollowRedirects(), frSameScheme);
  v.text = "text/plain";
  EXPECT_EQ(FindProperty("Accept")->set(rest, 0, v), 0);
  PropertyValue out;
  EXPECT_EQ(FindProperty("Accept")->get(rest, 0, out), 0);
  EXPECT_EQ(out.text, "text/plain");
  EXPECT_EQ(FindProperty("XText")->set(rest, 0, v), kErrReadOnlyProperty);
  EXPECT_EQ(FindProperty("CookieName")->get(rest, 0, out), 156);
  EXPECT_EQ(rest.LastError(), "Invalid cookie index (out of range).");
}

}  // namespace
}  // namespace corvane
