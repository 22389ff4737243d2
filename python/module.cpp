// The corvane Python module: the REST object for Python programs, on top of
// the dispatch layer. Every property is an attribute (also under a
// snake_case name), indexed properties are indexable objects, methods are
// methods, events go to callables registered with on(), and failures raise
// corvane.Error carrying the automation result.

#include <pybind11/eval.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "corvane/dispatch.h"
#include "rest/dispatch_errors.h"
#include "rest/event_bridge.h"
#include "rest/rest_client.h"
#include "variant_conversion.h"

namespace py = pybind11;

namespace corvane::python {

namespace {

// Python-side helpers, defined in the module's namespace at import.
constexpr const char* kPythonHelpers = R"PY(
class Error(Exception):
    """A failed call on a REST object.

    hresult      the automation result (0x800A.... for the component's errors)
    code         the component's error code (0 for errors of the call itself)
    description  the message
    help_context the help topic of the member that failed (0: none)
    help_file    "corvane.chm" when help_context is set
    source       "Corvane.REST"
    """

    def __init__(self, hresult, code, description, help_context=0, help_file="", source=""):
        super().__init__("0x%08X: %s" % (hresult, description))
        self.hresult = hresult
        self.code = code
        self.description = description
        self.help_context = help_context
        self.help_file = help_file
        self.source = source


class Ref:
    """An event argument the handler may change: read and assign .value."""

    __slots__ = ("value",)

    def __init__(self, value):
        self.value = value

    def __repr__(self):
        return "Ref(%r)" % (self.value,)
)PY";

py::object gErrorType;
py::object gRefType;
std::map<std::string, py::object> gEnumTypes;

// The event arguments the component reads back after a handler returns;
// they reach Python as a Ref.
bool IsWrittenBack(int32_t event, size_t arg) {
  return (event == 16 && arg == 1)      // Redirect: Accept
         || (event == 19 && arg == 4)   // SSLServerAuthentication: Accept
         || (event == 10 && arg == 1);  // EvalEntity: Value
}

// "TransferredDataB" -> "transferred_data_b", "HTTPMethod" -> "http_method";
// "XPath" stays one word.
std::string SnakeCase(std::string_view name) {
  std::string camel(name);
  for (size_t at; (at = camel.find("XPath")) != std::string::npos;) camel.replace(at, 5, "Xpath");
  std::string out;
  for (size_t i = 0; i < camel.size(); ++i) {
    char c = camel[i];
    bool upper = c >= 'A' && c <= 'Z';
    if (upper && i > 0) {
      char prev = camel[i - 1];
      bool prevLower = (prev >= 'a' && prev <= 'z') || (prev >= '0' && prev <= '9');
      bool nextLower = i + 1 < camel.size() && camel[i + 1] >= 'a' && camel[i + 1] <= 'z';
      bool prevUpper = prev >= 'A' && prev <= 'Z';
      if (prevLower || (prevUpper && nextLower)) out += '_';
    }
    out += upper ? static_cast<char>(c - 'A' + 'a') : c;
  }
  if (out == "from") out += '_';  // a keyword
  return out;
}

[[noreturn]] void RaiseError(HResult hr, const ErrorInfo& info) {
  py::object error = gErrorType(hr, info.code, py::cast(info.description), info.helpContext,
                                info.helpFile, info.source);
  PyErr_SetObject(gErrorType.ptr(), error.ptr());
  throw py::error_already_set();
}

// A failure of the surface itself, worded as the dispatch layer words it.
[[noreturn]] void RaiseError(DispatchError e, std::string source = {}) {
  ErrorInfo info;
  std::string_view text = DispatchErrorText(e);
  info.code = DispatchErrorCode(e);
  info.description.assign(text.begin(), text.end());
  info.source = std::move(source);
  RaiseError(DispatchErrorResult(e), info);
}

class PyRest;

class PySink : public EventSink {
 public:
  explicit PySink(PyRest& owner) : owner_(owner) {}
  void Invoke(int32_t dispid, std::span<Variant> args) override;
  bool Wants(int32_t dispid) const override;

 private:
  PyRest& owner_;
};

class PyRest {
 public:
  explicit PyRest(std::unique_ptr<Dispatch> d) : dispatch_(std::move(d)), sink_(*this) {}
  ~PyRest() {
    if (cookie_) dispatch_->Unadvise(*cookie_);
  }

  // Runs one call with the GIL released, so other threads run while a
  // request waits; events take the GIL back for their handlers.
  py::object Call(int32_t dispid, InvokeKind kind, const std::vector<Variant>& args) {
    RefuseOtherThreads();
    ++depth_;
    owner_ = std::this_thread::get_id();
    Variant result;
    HResult hr;
    if (kind == InvokeKind::kPropertyGet) {
      // Reads never wait, and most calls are reads: the lock stays.
      hr = dispatch_->Invoke(dispid, kind, args, &result);
    } else {
      py::gil_scoped_release unlocked;
      hr = dispatch_->Invoke(dispid, kind, args, &result);
    }
    --depth_;
    if (handlerError_ && depth_ == 0) {
      // A handler's exception ends the request and reaches the caller as is.
      std::unique_ptr<py::error_already_set> e = std::move(handlerError_);
      e->restore();
      throw py::error_already_set();
    }
    if (hr != 0) RaiseError(hr, dispatch_->LastError());
    return FromVariant(result);
  }

  py::object Get(const PropertyDesc& p) {
    return AsEnum(p, Call(p.dispid, InvokeKind::kPropertyGet, {}));
  }
  py::object GetIndexed(const PropertyDesc& p, int index) {
    return AsEnum(p,
                  Call(p.dispid, InvokeKind::kPropertyGet, {Variant(static_cast<int32_t>(index))}));
  }
  void Put(int32_t dispid, py::handle value) {
    Call(dispid, InvokeKind::kPropertyPut, {ToVariant(value)});
  }
  void PutIndexed(int32_t dispid, int index, py::handle value) {
    Call(dispid, InvokeKind::kPropertyPut,
         {Variant(static_cast<int32_t>(index)), ToVariant(value)});
  }
  py::object Method(int32_t dispid, py::args args) {
    std::vector<Variant> in;
    for (py::handle a : args) in.push_back(ToVariant(a));
    return Call(dispid, InvokeKind::kMethod, in);
  }

  // Registers handler for the event, replacing the one it had.
  void On(const std::string& event, py::object handler) {
    RefuseOtherThreads();
    int32_t dispid = EventDispid(event);
    if (!PyCallable_Check(handler.ptr())) throw py::type_error("an event handler must be callable");
    handlers_[dispid] = std::move(handler);
    if (!cookie_) cookie_ = dispatch_->Advise(&sink_);
  }
  void Off(const std::string& event) {
    RefuseOtherThreads();
    handlers_.erase(EventDispid(event));
    // Without handlers the events are not converted at all.
    if (handlers_.empty() && cookie_) {
      dispatch_->Unadvise(*cookie_);
      cookie_.reset();
    }
  }

  // The object belongs to the thread of a running call until it returns.
  void RefuseOtherThreads() const {
    if (depth_ > 0 && owner_ != std::this_thread::get_id()) {
      throw py::value_error("this REST object is in a call on another thread");
    }
  }

  Dispatch& dispatch() { return *dispatch_; }
  const std::map<int32_t, py::object>& handlers() const { return handlers_; }
  void DropHandlers() {
    if (cookie_) dispatch_->Unadvise(*cookie_);
    cookie_.reset();
    std::map<int32_t, py::object> gone;
    gone.swap(handlers_);  // released after the map is consistent again
  }
  void SetHandlerError(py::error_already_set&& e) {
    if (!handlerError_) handlerError_ = std::make_unique<py::error_already_set>(std::move(e));
    // Stop the request the handler ran in; the exception goes to the caller.
    dispatch_->Object().Interrupt();
  }

 private:
  static int32_t EventDispid(const std::string& event) {
    for (const EventDesc& e : EventTable()) {
      if (EqualsAscii(e.name, event)) return e.dispid;
    }
    throw py::value_error("no event named " + event);
  }

  static bool EqualsAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i])))
        return false;
    }
    return true;
  }

  static py::object AsEnum(const PropertyDesc& p, py::object value) {
    if (!p.enumName) return value;
    try {
      return gEnumTypes.at(p.enumName)(value);
    } catch (py::error_already_set&) {
      return value;  // a number the enumeration does not name
    }
  }

  std::unique_ptr<Dispatch> dispatch_;
  PySink sink_;
  std::optional<uint32_t> cookie_;
  std::map<int32_t, py::object> handlers_;
  std::unique_ptr<py::error_already_set> handlerError_;
  int depth_ = 0;
  std::thread::id owner_;
};

// Called with the GIL released: the handler map changes only under the GIL,
// and only from the thread that runs the call (other threads are refused).
bool PySink::Wants(int32_t dispid) const {
  return owner_.handlers().contains(dispid);
}

void PySink::Invoke(int32_t dispid, std::span<Variant> args) {
  py::gil_scoped_acquire locked;
  auto it = owner_.handlers().find(dispid);
  if (it == owner_.handlers().end()) return;
  py::object handler = it->second;  // the handler may unregister itself
  std::vector<py::object> refs(args.size());
  py::tuple call(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    py::object value = FromVariant(args[i]);
    if (IsWrittenBack(dispid, i)) {
      refs[i] = gRefType(value);
      value = refs[i];
    }
    call[i] = value;
  }
  try {
    handler(*call);
    for (size_t i = 0; i < args.size(); ++i) {
      if (refs[i]) args[i] = ToVariant(refs[i].attr("value"));
    }
  } catch (py::error_already_set& e) {
    owner_.SetHandlerError(std::move(e));
  } catch (const std::exception& e) {
    // A conversion of a Ref's value that no Variant holds.
    PyErr_SetString(PyExc_TypeError, e.what());
    owner_.SetHandlerError(py::error_already_set());
  }
}

// An indexed property: rest.cookie_name[0], len(rest.x_child_name), iteration.
class IndexedProperty {
 public:
  IndexedProperty(py::object owner, const PropertyDesc& p) : owner_(std::move(owner)), p_(p) {}

  PyRest& rest() const { return owner_.cast<PyRest&>(); }
  py::object Item(int index) const { return rest().GetIndexed(p_, index); }
  void SetItem(int index, py::handle value) const { rest().PutIndexed(p_.dispid, index, value); }
  int Length() const {
    if (!p_.countName) return 0;
    return rest().Get(*FindPropertyDesc(p_.countName)).cast<int>();
  }
  py::list Values() const {
    py::list values;
    for (int i = 0, n = Length(); i < n; ++i) values.append(Item(i));
    return values;
  }
  std::string Repr() const { return std::string("<indexed property ") + p_.name + ">"; }

 private:
  py::object owner_;
  const PropertyDesc& p_;
};

std::unique_ptr<PyRest> Create(const std::string& progId) {
  std::unique_ptr<Dispatch> d = CreateObject(progId);
  if (!d) RaiseError(DispatchError::ClassString, progId);
  return std::make_unique<PyRest>(std::move(d));
}

const char* TypeName(ValueType t) {
  switch (t) {
    case ValueType::kEmpty:
      return "None";
    case ValueType::kBool:
      return "bool";
    case ValueType::kInt16:
    case ValueType::kInt32:
    case ValueType::kInt64:
    case ValueType::kEnum:
      return "int";
    case ValueType::kString:
      return "str";
    case ValueType::kBytes:
      return "bytes";
    case ValueType::kVariant:
      return "object";
  }
  return "object";
}

// One row of corvane.properties(); dispid is None for an extra property.
py::dict PropertyEntry(py::object dispid, const char* name, ValueType type, const char* enumName,
                       bool indexed, bool readOnly, bool runtimeOnly, uint32_t helpContext) {
  return py::dict(py::arg("dispid") = dispid, py::arg("name") = name,
                  py::arg("snake_name") = SnakeCase(name), py::arg("type") = TypeName(type),
                  py::arg("enum") = enumName ? py::object(py::str(enumName)) : py::none(),
                  py::arg("indexed") = indexed, py::arg("read_only") = readOnly,
                  py::arg("runtime_only") = runtimeOnly, py::arg("help_context") = helpContext);
}

// What the REST object offers beyond its type library, exposed like the
// table's read-only properties: both names, a put raises the surface's
// read-only error, a runtime-only one is refused at design time.
struct ExtraProperty {
  const char* name;
  ValueType type;
  bool runtimeOnly;
  Variant (*get)(REST& rest);
};

const ExtraProperty kExtraProperties[] = {
    {"StatusCode", ValueType::kInt32, true,
     [](REST& r) { return Variant(static_cast<int32_t>(r.StatusCode())); }},
    {"XTextDecoded", ValueType::kString, false,
     [](REST& r) { return Variant(WidenText(r.XTextDecoded(), r.Engine().CodePage())); }},
};

py::object GetExtra(PyRest& self, const ExtraProperty& p) {
  self.RefuseOtherThreads();
  if (p.runtimeOnly && self.dispatch().DesignTime()) RaiseError(DispatchError::RuntimeOnly);
  return FromVariant(p.get(self.dispatch().Object()));
}

}  // namespace
}  // namespace corvane::python

using namespace corvane;
using namespace corvane::python;

PYBIND11_MODULE(corvane, m) {
  m.doc() =
      "The Corvane REST component: HTTP requests with XML and JSON answers navigated by XPath.";
  py::exec(kPythonHelpers, m.attr("__dict__"));
  gErrorType = m.attr("Error");
  gRefType = m.attr("Ref");

  py::module_ enumModule = py::module_::import("enum");
  for (const EnumDesc& e : EnumTable()) {
    py::list members;
    for (const EnumeratorDesc& v : e.values) members.append(py::make_tuple(v.name, v.value));
    py::object type = enumModule.attr("IntEnum")(e.name, members, py::arg("module") = "corvane");
    m.attr(e.name) = type;
    gEnumTypes[e.name] = type;
  }

  py::class_<IndexedProperty>(m, "IndexedProperty")
      .def("__getitem__", &IndexedProperty::Item)
      .def("__setitem__", &IndexedProperty::SetItem)
      .def("__len__", &IndexedProperty::Length)
      .def("__iter__", [](const IndexedProperty& p) { return py::iter(p.Values()); })
      .def("__repr__", &IndexedProperty::Repr);

  // Handlers often use the object they handle (reading XText in an event):
  // the collector sees them, so such a cycle does not keep the object and
  // its connection alive.
  // A traversal may come before __init__ has made the C++ object.
  static constexpr auto Constructed = [](PyObject* self) {
    return reinterpret_cast<py::detail::instance*>(self)
        ->get_value_and_holder()
        .holder_constructed();
  };
  py::custom_type_setup collectable([](PyHeapTypeObject* heapType) {
    PyTypeObject* type = &heapType->ht_type;
    type->tp_flags |= Py_TPFLAGS_HAVE_GC;
    type->tp_traverse = [](PyObject* self, visitproc visit, void* arg) {
      Py_VISIT(Py_TYPE(self));
      if (!Constructed(self)) return 0;
      for (const auto& [dispid, handler] : py::cast<PyRest&>(py::handle(self)).handlers()) {
        Py_VISIT(handler.ptr());
      }
      return 0;
    };
    type->tp_clear = [](PyObject* self) {
      if (Constructed(self)) py::cast<PyRest&>(py::handle(self)).DropHandlers();
      return 0;
    };
  });
  py::class_<PyRest> rest(m, "REST", "A REST object; REST() is create_object(\"Corvane.REST\").",
                          collectable);
  rest.def(py::init([] { return Create("Corvane.REST"); }));

  for (const PropertyDesc& p : PropertyTable()) {
    const PropertyDesc* desc = &p;
    py::cpp_function getter;
    if (p.indexName) {
      getter = py::cpp_function([desc](py::object self) { return IndexedProperty(self, *desc); });
    } else {
      getter = py::cpp_function([desc](PyRest& self) { return self.Get(*desc); });
    }
    // Read-only properties get a setter too: putting one raises the
    // component's own error rather than Python's AttributeError.
    py::cpp_function setter;
    if (!p.indexName) {
      setter = py::cpp_function([desc](PyRest& self, py::object v) { self.Put(desc->dispid, v); });
    }
    std::string doc = std::string(TypeName(p.type)) + (p.readOnly ? ", read-only" : "") +
                      (p.runtimeOnly ? ", runtime only" : "");
    for (const std::string& name : {std::string(p.name), SnakeCase(p.name)}) {
      if (p.indexName)
        rest.def_property_readonly(name.c_str(), getter, doc.c_str());
      else
        rest.def_property(name.c_str(), getter, setter, doc.c_str());
    }
  }
  for (const ExtraProperty& p : kExtraProperties) {
    const ExtraProperty* desc = &p;
    py::cpp_function getter([desc](PyRest& self) { return GetExtra(self, *desc); });
    py::cpp_function setter([](PyRest&, py::object) { RaiseError(DispatchError::ReadOnly); });
    std::string doc =
        std::string(TypeName(p.type)) + ", read-only" + (p.runtimeOnly ? ", runtime only" : "");
    for (const std::string& name : {std::string(p.name), SnakeCase(p.name)})
      rest.def_property(name.c_str(), getter, setter, doc.c_str());
  }
  for (const MethodDesc& md : MethodTable()) {
    int32_t dispid = md.dispid;
    auto call = [dispid](PyRest& self, py::args args) {
      return self.Method(dispid, std::move(args));
    };
    rest.def(md.name, call);
    rest.def(SnakeCase(md.name).c_str(), call);
  }
  rest.def(
      "on",
      [](PyRest& self, const std::string& event, py::object handler) -> py::object {
        if (!handler.is_none()) {
          self.On(event, handler);
          return py::none();
        }
        // Used as a decorator: @rest.on("Status")
        py::object owner = py::cast(&self, py::return_value_policy::reference);
        return py::cpp_function([owner, event](py::object h) {
          owner.cast<PyRest&>().On(event, h);
          return h;
        });
      },
      py::arg("event"), py::arg("handler") = py::none(),
      "Calls handler(*arguments) for each event of that name (also as a decorator).");
  rest.def("off", &PyRest::Off, py::arg("event"), "Removes the handler of an event.");
  rest.def(
      "invoke",
      [](PyRest& self, py::object member, const std::string& kind, py::args args) {
        int32_t dispid = 0;
        if (py::isinstance<py::int_>(member)) {
          dispid = member.cast<int32_t>();
        } else if (self.dispatch().GetIDOfName(member.cast<std::string>(), dispid) != 0) {
          RaiseError(DispatchError::UnknownName);
        }
        InvokeKind k = kind == "get"   ? InvokeKind::kPropertyGet
                       : kind == "put" ? InvokeKind::kPropertyPut
                                       : InvokeKind::kMethod;
        std::vector<Variant> in;
        for (py::handle a : args) in.push_back(ToVariant(a));
        return self.Call(dispid, k, in);
      },
      "Calls a member by DISPID or name; kind is \"method\", \"get\" or \"put\".");
  rest.def_property(
      "design_time", [](PyRest& self) { return self.dispatch().DesignTime(); },
      [](PyRest& self, bool on) { self.dispatch().SetDesignTime(on); });
  rest.def_property_readonly("server_page",
                             [](PyRest& self) { return self.dispatch().ServerPage(); });

  m.def("create_object", &Create, py::arg("prog_id"),
        "A REST object by ProgID: \"Corvane.REST\", \"Corvane.REST.1\" or \"Corvane16.REST\".");

  // The type library, for tools (the stub generator among them).
  m.def("properties", [] {
    py::list out;
    for (const PropertyDesc& p : PropertyTable()) {
      out.append(PropertyEntry(py::int_(p.dispid), p.name, p.type, p.enumName,
                               p.indexName != nullptr, p.readOnly, p.runtimeOnly, p.helpContext));
    }
    for (const ExtraProperty& p : kExtraProperties)
      out.append(PropertyEntry(py::none(), p.name, p.type, nullptr, false, true, p.runtimeOnly, 0));
    return out;
  });
  m.def("methods", [] {
    py::list out;
    for (const MethodDesc& md : MethodTable()) {
      py::list params;
      for (const ParamDesc& a : md.params)
        params.append(py::make_tuple(SnakeCase(a.name), TypeName(a.type)));
      out.append(py::dict(py::arg("dispid") = md.dispid, py::arg("name") = md.name,
                          py::arg("snake_name") = SnakeCase(md.name), py::arg("params") = params,
                          py::arg("result") = TypeName(md.result),
                          py::arg("help_context") = md.helpContext));
    }
    return out;
  });
  m.def("events", [] {
    py::list out;
    for (const EventDesc& e : EventTable()) {
      py::list params;
      for (size_t i = 0; i < e.params.size(); ++i) {
        params.append(py::make_tuple(SnakeCase(e.params[i].name), TypeName(e.params[i].type),
                                     IsWrittenBack(e.dispid, i)));
      }
      out.append(py::dict(py::arg("dispid") = e.dispid, py::arg("name") = e.name,
                          py::arg("params") = params));
    }
    return out;
  });

  // The interpreter may outlive the module's globals at exit.
  py::module_::import("atexit").attr("register")(py::cpp_function([] {
    gErrorType = py::object();
    gRefType = py::object();
    gEnumTypes.clear();
  }));
}
