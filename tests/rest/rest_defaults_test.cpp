// A new REST object starts with the documented defaults; a property that is
// not set at construction would silently change behaviour (a Timeout of 0
// waits forever on a silent server).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "corvane/dispatch.h"
#include "corvane/rest.h"

namespace corvane {
namespace {

// A property's value as the tables below write it: booleans as True/False,
// numbers in decimal, strings as they are (every default here is ASCII).
std::string Render(const Variant& v) {
  switch (v.type()) {
    case VariantType::kBool:
      return v.integer() != 0 ? "True" : "False";
    case VariantType::kString:
      return std::string(v.string().begin(), v.string().end());
    default:
      return std::to_string(v.integer());
  }
}

std::string MachineName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

TEST(RestDefaults, EveryPropertyStartsAtItsDefault) {
  struct Row {
    const char* property;
    std::string text;  // as Render writes it
  };
  const Row rows[] = {
      {"Accept", ""},
      {"Authorization", ""},
      {"AuthScheme", "0"},  // authBasic
      {"User", ""},
      {"Password", ""},
      {"FirewallAutoDetect", "False"},
      {"FirewallType", "0"},  // fwNone
      {"FirewallHost", ""},
      {"FirewallUser", ""},
      {"FirewallPassword", ""},
      {"FirewallPort", "0"},
      {"FollowRedirects", "0"},  // frNever
      {"LocalFile", ""},
      {"LocalHost", MachineName()},  // not set: reading it names this machine
      {"ProxyAuthScheme", "0"},  // authBasic
      {"ProxyAutoDetect", "False"},
      {"ProxyServer", ""},
      {"ProxyUser", ""},
      {"ProxyPassword", ""},
      {"ProxyPort", "80"},
      {"ProxySSL", "0"},  // psAutomatic
      {"SSLCertStore", "MY"},
      {"SSLCertStoreType", "0"},  // cstUser
      {"SSLCertStorePassword", ""},
      {"SSLCertSubject", ""},
      {"Timeout", "60"},
      {"TransferredDataLimit", "0"},
      {"URL", ""},
      {"XErrorPath", ""},
      {"XPath", ""},
      {"BuildDOM", "True"},
      {"Validate", "True"},
      {"ContentType", "text/xml"},
  };
  REST rest;
  Dispatch d(rest);
  for (const Row& row : rows) {
    Variant value;
    ASSERT_EQ(d.Invoke(row.property, InvokeKind::kPropertyGet, {}, &value), 0u) << row.property;
    EXPECT_EQ(Render(value), row.text) << row.property;
  }
}

// Settings reached through Config whose default is adapted to Linux.
TEST(RestDefaults, ConfigSettingsStartAtTheirDefaults) {
  struct Row {
    const char* key;
    const char* answer;
  };
  const Row rows[] = {
      {"SSLEnabledProtocols", "16320"},  // 0x3FC0: TLS 1.0 to 1.3
      {"KeepAlive", "False"},
      {"ProxyAuthorization", ""},
  };
  REST rest;
  for (const Row& row : rows) {
    std::string answer;
    EXPECT_EQ(rest.Config(row.key, &answer), 0) << row.key;
    EXPECT_EQ(answer, row.answer) << row.key;
  }
}

}  // namespace
}  // namespace corvane
