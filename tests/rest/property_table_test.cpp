#include "rest/property_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <utility>

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

// A fresh object reads every property through the table; all start empty,
// zero or false but these. A property left unset at construction would
// silently change behaviour (a Timeout of 0 waits forever on a silent server).
TEST(PropertyTableTest, FreshObjectReadsEveryPropertyAtItsDefault) {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  const std::map<std::string, PropertyValue> defaults = {
      {"BuildDOM", {1, ""}},        {"Validate", {1, ""}},          {"Timeout", {60, ""}},
      {"ProxyPort", {80, ""}},      {"SSLCertStore", {0, "MY"}},    {"SSLCertStoreB", {0, "MY"}},
      {"ContentType", {0, "text/xml"}}, {"LocalHost", {0, host}},   {"Idle", {1, ""}},
  };
  REST rest;
  // In table order: index 0 of an empty list is refused, and a plain read
  // after it must still succeed.
  for (const PropertyInfo& p : Properties()) {
    SCOPED_TRACE(p.name);
    PropertyValue v;
    int rc = p.get(rest, 0, v);
    auto it = defaults.find(p.name);
    const PropertyValue expected = it == defaults.end() ? PropertyValue{} : it->second;
    if (!p.indexed) {
      EXPECT_EQ(rc, 0) << rest.LastError();
    }
    EXPECT_EQ(v.integer, expected.integer);
    EXPECT_EQ(v.text, expected.text);
  }
  // Settings reached through Config whose default is adapted to Linux.
  for (auto [key, value] : {std::pair{"SSLEnabledProtocols", "16320"}, {"KeepAlive", "False"}, {"ProxyAuthorization", ""}}) {
    std::string answer;
    EXPECT_EQ(rest.Config(key, &answer), 0) << key;
    EXPECT_EQ(answer, value) << key;  // 16320 = 0x3FC0: TLS 1.0 to 1.3
  }
}

}  // namespace
}  // namespace corvane
