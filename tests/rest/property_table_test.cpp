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

TEST(PropertyTableTest, LookupIgnoresCaseAndReadOnlyPropertiesRefuseSetting) {
  const PropertyInfo* p = FindProperty("xtext");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p, FindProperty(76));
  EXPECT_EQ(FindProperty("NoSuchThing"), nullptr);
  REST rest;
  PropertyValue v;
  v.text = "x";
  EXPECT_EQ(p->set(rest, 0, v), kErrReadOnlyProperty);
}

}  // namespace
}  // namespace corvane
