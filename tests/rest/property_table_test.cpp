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

TEST(PropertyTableTest, SettersAndGettersReachTheObject) {
  REST rest;
  PropertyValue v;
  v.integer = frSameScheme;
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
