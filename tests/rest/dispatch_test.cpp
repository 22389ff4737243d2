#include "corvane/dispatch.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "rest/event_bridge.h"
#include "rest/rest_client.h"

namespace corvane {

void PrintTo(const Variant& v, std::ostream* os) {
  *os << "Variant(type " << static_cast<int>(v.type()) << ", " << v.integer() << ", \"";
  for (char16_t c : v.string()) *os << (c < 0x80 ? static_cast<char>(c) : '?');
  *os << "\", " << v.bytes().size() << " bytes, " << v.items().size() << " items)";
}

namespace {

struct SurfaceCase {
  const char* member;
  InvokeKind kind;
  std::vector<Variant> args;
  bool designTime;
  HResult hr;
  uint32_t helpContext;
};

// Refused before the engine sees anything; the descriptions are the dispatch
// error table's and the help contexts the property table's, so one row of
// each kind pins them and the rest pin which check refuses first.
TEST(DispatchTest, SurfaceChecksRefuseBeforeTheEngineSeesAnything) {
  const auto put = InvokeKind::kPropertyPut;
  const auto get = InvokeKind::kPropertyGet;
  // clang-format off
  const SurfaceCase cases[] = {
      {"XText", put, {Variant(u"x")}, false, kPropertyReadOnly, 23476},
      {"TransferredData", get, {}, true, kRuntimeOnly, 23453},
      {"URL", put, {Variant(u"http://127.0.0.1/")}, true, 0, 0},
      // The event-time properties answer design time before read-only.
      {"TransferTextB", put, {Variant::Bytes({1})}, true, kRuntimeOnly, 33401},
      {"TransferTextB", put, {Variant::Bytes({1})}, false, kPropertyReadOnly, 33401},
      {"AuthScheme", put, {Variant(int32_t{300})}, false, kValueOutOfRange, 23403},
      {"AuthScheme", put, {Variant(u"authBogus")}, false, kDispTypeMismatch, 0},
      {"CookieName", get, {Variant(int32_t{5})}, false, kInvalidArrayIndex, 23410},
      {"PostDataB", put, {Variant::Bytes({1, 2, 3, 4}, {2, 2})}, false, kValueOutOfRange, 23401},
      {"PostDataB", put, {Variant::Array({Variant(u"a")})}, false, kValueOutOfRange, 23401},
      {"Timeout", put, {Variant(int32_t{70000})}, false, kDispOverflow, 0},
      {"BuildDOM", put, {Variant(u"maybe")}, false, kDispTypeMismatch, 0},
      {"TransferredDataLimit", put, {Variant(u"99999999999999999999")}, false, kDispOverflow, 0},
      {"Accept", get, {Variant(int32_t{1})}, false, kDispBadParamCount, 0},
      {"Get", put, {Variant(u"x")}, false, kDispMemberNotFound, 0},
      {"NoSuchMember", get, {}, false, kDispUnknownName, 0},
      {"Config", InvokeKind::kMethod, {Variant(u"Foo=1")}, false, 0x800A4E20u, 43403},
  };
  // clang-format on
  for (const SurfaceCase& c : cases) {
    Dispatch d;
    d.SetDesignTime(c.designTime);
    Variant out;
    SCOPED_TRACE(c.member);
    EXPECT_EQ(d.Invoke(c.member, c.kind, c.args, &out), c.hr);
    EXPECT_EQ(d.LastError().hresult, c.hr);
    EXPECT_EQ(d.LastError().helpContext, c.helpContext);
    EXPECT_EQ(d.LastError().helpFile, c.helpContext != 0 ? "corvane.chm" : "");
  }
  Dispatch d;
  Variant index(int32_t{0});
  ASSERT_EQ(d.Invoke("CookieValue", InvokeKind::kPropertyGet, {&index, 1}), kInvalidArrayIndex);
  EXPECT_EQ(d.LastError().description, u"Invalid array index.");
  // The engine's own message stays its last error.
  EXPECT_EQ(d.Object().LastError(), "Invalid cookie index (out of range).");
}

TEST(DispatchTest, ValuesConvertToEachPropertyType) {
  Dispatch d;
  struct {
    const char* property;
    Variant in;
    Variant out;  // as read back
  } cases[] = {
      {"AuthScheme", Variant(u"AUTHNTLM"), Variant(int32_t{4})},
      {"FirewallType", Variant(u"0x3"), Variant(int32_t{3})},
      {"BuildDOM", Variant(u"no"), Variant(false)},
      {"Timeout", Variant(u" 42 "), Variant(int16_t{42})},
      {"TransferredDataLimit", Variant(u"5000000000"), Variant(int64_t{5000000000})},
      {"PostDataB", Variant::Array({Variant(int32_t{0x141}), Variant(int16_t{2})}),
       Variant::Bytes({0x41, 0x02})},
      {"PostData", Variant(int32_t{-7}), Variant(u"-7")},
      {"Accept", Variant(), Variant(u"")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.property);
    ASSERT_EQ(d.Invoke(c.property, InvokeKind::kPropertyPut, {&c.in, 1}), 0u);
    Variant out;
    ASSERT_EQ(d.Invoke(c.property, InvokeKind::kPropertyGet, {}, &out), 0u);
    EXPECT_EQ(out, c.out);
  }
  // Past its declared type an integer comes wider, not wrapped.
  d.Object().SetTimeout(60000);
  Variant out;
  ASSERT_EQ(d.Invoke("Timeout", InvokeKind::kPropertyGet, {}, &out), 0u);
  EXPECT_EQ(out, Variant(int32_t{60000}));
  // Strings cross in the object's code page; a character the page lacks
  // fails as a conversion, with the property's help context.
  Variant setting(u"CodePage=1252"), accept(u"caf\u00e9"), chinese(u"\u4e2d");
  ASSERT_EQ(d.Invoke("Config", InvokeKind::kMethod, {&setting, 1}), 0u);
  ASSERT_EQ(d.Invoke("Accept", InvokeKind::kPropertyPut, {&accept, 1}), 0u);
  EXPECT_EQ(d.Object().Accept(), "caf\xE9");
  ASSERT_EQ(d.Invoke("Accept", InvokeKind::kPropertyGet, {}, &out), 0u);
  EXPECT_EQ(out, accept);
  EXPECT_EQ(d.Invoke("Accept", InvokeKind::kPropertyPut, {&chinese, 1}), AutomationResult(434));
  EXPECT_EQ(d.LastError().helpContext, 23401u);
}

TEST(DispatchTest, MethodsByNameAndDispidAndPageHooks) {
  Dispatch d;
  int32_t id = 0;
  EXPECT_EQ(d.GetIDOfName("hasxpath", id), 0u);
  EXPECT_EQ(id, 508);
  Variant query(u"codepage"), answer;
  // A method read as a property, as hosts do for calls with a result.
  ASSERT_EQ(d.Invoke(504, InvokeKind::kPropertyGet, {&query, 1}, &answer), 0u);
  EXPECT_EQ(answer, Variant(u"0"));
  EXPECT_FALSE(d.ServerPage());
  Variant context;
  EXPECT_EQ(d.Invoke("OnStartPage", InvokeKind::kMethod, {&context, 1}), 0u);
  EXPECT_TRUE(d.ServerPage());
  EXPECT_EQ(d.Invoke(0x600200B7, InvokeKind::kMethod, {}), 0u);
  EXPECT_EQ(d.Invoke("Get", InvokeKind::kMethod, {}), kDispBadParamCount);
  // A failing request reports the engine's result with the method's help context.
  Variant arg(u"http://127.0.0.1:1/");  // nothing listens on port 1
  EXPECT_EQ(d.Invoke(507, InvokeKind::kMethod, {&arg, 1}), 0x800A61E6u);
  EXPECT_EQ(d.LastError().code, 10061);
  EXPECT_EQ(d.LastError().description, u"[10061] Connection refused");
  EXPECT_EQ(d.LastError().helpContext, 43406u);
  EXPECT_EQ(d.LastError().source, "Corvane.REST");
}

TEST(DispatchTest, FactoryKnowsItsThreeProgIds) {
  HResult hr = 1;
  for (const char* id : {"Corvane.REST", "corvane.rest.1", "Corvane16.REST"}) {
    EXPECT_NE(CreateObject(id, &hr), nullptr) << id;
    EXPECT_EQ(hr, 0u);
  }
  EXPECT_EQ(CreateObject("Corvane.REST.2", &hr), nullptr);
  EXPECT_EQ(hr, kClassString);
}

// Records each event and answers Redirect with a refusal.
class RecordingSink : public EventSink {
 public:
  void Invoke(int32_t dispid, std::span<Variant> args) override {
    fired.emplace_back(dispid, std::vector<Variant>(args.begin(), args.end()));
    if (dispid == 16) args[1] = Variant(false);
    if (dispid == 10) args[1] = Variant(u"replaced");
  }
  bool Wants(int32_t dispid) const override { return !only || *only == dispid; }
  std::optional<int32_t> only;
  std::vector<std::pair<int32_t, std::vector<Variant>>> fired;
};

TEST(EventBridgeTest, SinksChangeByReferenceArgumentsAndNothingElse) {
  EventBridge bridge([] { return 65001u; });
  RecordingSink first, second, statusOnly;
  statusOnly.only = 24;
  bridge.Add(&statusOnly);
  bridge.Add(&first);
  uint32_t cookie = bridge.Add(&second);

  std::string location = "http://127.0.0.1/next";
  bool accept = true;
  bridge.Redirect(location, accept);
  EXPECT_FALSE(accept);
  // The second sink sees what the first one left.
  ASSERT_EQ(second.fired.size(), 1u);
  EXPECT_EQ(second.fired[0].second[1], Variant(false));

  std::string entity = "ent", value = "old";
  bridge.EvalEntity(entity, value);
  EXPECT_EQ(value, "replaced");

  // Bytes that are not UTF-8 arrive one unit per byte and stay untouched.
  int direction = 1, percent = 50;
  int64_t bytes = int64_t{1} << 33;
  std::string text = "\xFF\xFE ok";
  bridge.Transfer(direction, bytes, percent, text);
  EXPECT_EQ(text, "\xFF\xFE ok");
  const auto& transfer = first.fired.back();
  EXPECT_EQ(transfer.first, 25);
  EXPECT_EQ(transfer.second[1], Variant(int64_t{1} << 33));
  EXPECT_EQ(transfer.second[3], Variant(u"\u00FF\u00FE ok"));

  EXPECT_TRUE(bridge.Remove(cookie));
  EXPECT_FALSE(bridge.Remove(cookie));
  bridge.StartTransfer(direction);
  EXPECT_EQ(first.fired.size(), 4u);
  EXPECT_EQ(second.fired.size(), 3u);
  EXPECT_TRUE(statusOnly.fired.empty());
}

TEST(DispatchTest, AdviseTakesTheListenerAndTheLastUnadviseGivesItBack) {
  REST rest;
  RESTEvents own;
  rest.SetListener(&own);
  {
    Dispatch d(rest);
    RecordingSink a, b;
    uint32_t ca = d.Advise(&a), cb = d.Advise(&b);
    EXPECT_NE(rest.Engine().EventSink(), &own);
    d.Unadvise(ca);
    EXPECT_NE(rest.Engine().EventSink(), &own);
    d.Unadvise(cb);
    EXPECT_EQ(rest.Engine().EventSink(), &own);
    d.Advise(&a);
  }
  // A layer that goes away with sinks connected leaves no dangling listener.
  EXPECT_EQ(rest.Engine().EventSink(), &own);
}

}  // namespace
}  // namespace corvane
