#include "rest/property_table.h"

#include <gtest/gtest.h>

#include <set>

namespace corvane {
namespace {

// Defaults and help contexts are pinned by the reference pages
// (reference_docs_current reads every plain property of a fresh object).
TEST(PropertyTableTest, EveryDispidOnceAndLookupIgnoresCase) {
  std::set<int> ids;
  for (const PropertyInfo& p : Properties()) EXPECT_TRUE(ids.insert(p.dispid).second) << p.name;
  EXPECT_EQ(ids.size(), 84u);
  EXPECT_EQ(*ids.begin(), 1);
  EXPECT_EQ(*ids.rbegin(), 84);
  const PropertyInfo* p = FindProperty("xtext");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p, FindProperty(76));
  EXPECT_EQ(FindProperty("NoSuchThing"), nullptr);
  REST rest;
  PropertyValue v;
  v.text = "x";
  EXPECT_EQ(p->set(rest, 0, v), kErrReadOnlyProperty);
}

// In table order every property is read at index 0: an empty list refuses it,
// and a plain read after that refusal must still succeed.
TEST(PropertyTableTest, PlainReadsSucceedAfterARefusedIndex) {
  REST rest;
  for (const PropertyInfo& p : Properties()) {
    PropertyValue v;
    int rc = p.get(rest, 0, v);
    if (!p.indexed) {
      EXPECT_EQ(rc, 0) << p.name << ": " << rest.LastError();
    }
  }
}

}  // namespace
}  // namespace corvane
