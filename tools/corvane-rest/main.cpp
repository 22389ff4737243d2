// corvane-rest: the command-line client of the REST component.

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "corvane-rest/cli_options.h"
#include "corvane-rest/event_printer.h"
#include "corvane-rest/reference_listing.h"
#include "corvane/dispatch.h"
#include "corvane/rest.h"
#include "corvane/version.h"

namespace {

using corvane::Dispatch;
using corvane::HResult;
using corvane::InvokeKind;
using corvane::PropertyDesc;
using corvane::REST;
using corvane::Variant;
using corvane::cli::Options;
using corvane::cli::Step;

// Splits "Name[3]" into the name and the index.
void SplitIndex(const std::string& text, std::string& name, int& index, bool& hasIndex) {
  size_t open = text.find('[');
  hasIndex = open != std::string::npos && text.back() == ']';
  name = hasIndex ? text.substr(0, open) : text;
  index = hasIndex ? std::atoi(text.substr(open + 1, text.size() - open - 2).c_str()) : 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

bool ReadAll(std::FILE* in, std::string& out) {
  char buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) out.append(buffer, n);
  return std::ferror(in) == 0;
}

int Fail(REST& rest, int code) {
  std::fprintf(stderr, "error %d: %s\n", code, rest.LastError().c_str());
  return 1;
}

int Usage(const std::string& message) {
  std::fprintf(stderr, "corvane-rest: %s\n%s", message.c_str(), corvane::cli::UsageText());
  return 2;
}

// The engine's code behind a failed call of the automation layer; a failure
// of the call itself (no engine code) is a usage error, -100.
int FailureCode(Dispatch& d) {
  if (d.LastError().code != 0) return d.LastError().code;
  std::string message;
  d.Narrow(d.LastError().description, message);
  return Usage(message), -100;
}

// NAME[i]=VALUE through the automation layer, which converts enumerator
// names, numbers and true/false/yes/no. Returns the engine's code, or -100
// for a usage error already reported.
int SetProperty(Dispatch& d, const std::string& text) {
  size_t eq = text.find('=');
  std::string name;
  int index = 0;
  bool hasIndex = false;
  SplitIndex(text.substr(0, eq), name, index, hasIndex);
  const PropertyDesc* p = corvane::FindPropertyDesc(name);
  if (p == nullptr) return Usage("no property named " + name), -100;
  std::string raw = text.substr(eq + 1);
  std::vector<Variant> args;
  if (p->indexName) args.emplace_back(static_cast<int32_t>(index));
  if (p->type == corvane::ValueType::kBytes) {
    args.push_back(Variant::Bytes(std::vector<uint8_t>(raw.begin(), raw.end())));
  } else {
    std::u16string wide;
    if (d.Widen(raw, wide) != 0)
      return Usage("bad value for " + std::string(p->name) + ": " + raw), -100;
    args.emplace_back(std::move(wide));
  }
  switch (d.Invoke(p->dispid, InvokeKind::kPropertyPut, args)) {
    case 0:
      return 0;
    case corvane::kPropertyReadOnly:
      return Usage("property " + std::string(p->name) + " is read-only"), -100;
    case corvane::kDispTypeMismatch:
    case corvane::kDispOverflow:
    case corvane::kValueOutOfRange:
      return Usage("bad value for " + std::string(p->name) + ": " + raw), -100;
    default:
      return FailureCode(d);
  }
}

// Prints NAME=value (NAME[i]=value) of a property read through the
// automation layer; returns the engine's code on failure.
int PrintProperty(REST& rest, Dispatch& d, const std::string& text) {
  std::string name;
  int index = 0;
  bool hasIndex = false;
  SplitIndex(text, name, index, hasIndex);
  const PropertyDesc* p = corvane::FindPropertyDesc(name);
  if (p == nullptr) return Usage("no property named " + name), -100;
  std::vector<Variant> args;
  if (p->indexName) args.emplace_back(static_cast<int32_t>(index));
  Variant value;
  HResult hr = d.Invoke(p->dispid, InvokeKind::kPropertyGet, args, &value);
  // A refused index keeps the engine's own code and message.
  if (hr == corvane::kInvalidArrayIndex) return rest.LastGetCode();
  if (hr != 0) return FailureCode(d);
  std::string out;
  std::u16string wide;
  if (value.type() == corvane::VariantType::kByteArray) {
    out.assign(value.bytes().begin(), value.bytes().end());
  } else if (value.ToString(wide) == 0 && d.Narrow(wide, out) != 0) {
    for (char16_t c : wide) out += static_cast<char>(c);  // text that came by the byte
  }
  std::string shown =
      hasIndex ? std::string(p->name) + "[" + std::to_string(index) + "]" : std::string(p->name);
  std::printf("%s=%s\n", shown.c_str(), out.c_str());
  return 0;
}

// Applies a step that comes before the request; returns the engine's code or
// -100 for a usage error already reported.
int ApplyBefore(REST& rest, Dispatch& d, const Step& step) {
  switch (step.kind) {
    case Step::Kind::kConfig:
      if (step.text.find('=') == std::string::npos) return 0;  // a query: answered later
      return rest.Config(step.text);
    case Step::Kind::kSet:
      return SetProperty(d, step.text);
    case Step::Kind::kHeader: {
      // The engine writes Content-Type itself (from ContentType, text/xml by
      // default): a second one from OtherHeaders would contradict it.
      size_t colon = step.text.find(':');
      if (colon != std::string::npos && EqualsNoCase(Trim(step.text.substr(0, colon)), "Content-Type")) {
        return rest.SetContentType(Trim(step.text.substr(colon + 1)));
      }
      std::string headers = rest.OtherHeaders();
      if (!headers.empty() && headers.back() != '\n') headers += "\r\n";
      headers += step.text;
      return rest.SetOtherHeaders(headers);
    }
    case Step::Kind::kPostData:
      return rest.SetPostData(step.text);
    case Step::Kind::kAttach:
      if (step.text == "-") {
        std::string body;
        if (!ReadAll(stdin, body)) return Usage("cannot read the request body from standard input"), -100;
        return rest.SetPostData(body);
      }
      return rest.Config("AttachedFile=" + step.text);
    case Step::Kind::kOutput:
      // Standard output: the listener writes each block as it arrives (on
      // the stream every other line goes to), and the engine keeps nothing.
      if (step.text == "-") return rest.SetLocalFile("/dev/null");
      return rest.SetLocalFile(step.text);
    case Step::Kind::kXPath:
    case Step::Kind::kGet:
      return 0;
  }
  return 0;
}

// Applies a step that comes after the request, printing its answer.
int ApplyAfter(REST& rest, Dispatch& d, const Step& step) {
  switch (step.kind) {
    case Step::Kind::kConfig: {
      if (step.text.find('=') != std::string::npos) return 0;
      std::string answer;
      int rc = rest.Config(step.text, &answer);
      if (rc != 0) return rc;
      std::printf("%s=%s\n", step.text.c_str(), answer.c_str());
      return 0;
    }
    case Step::Kind::kXPath: {
      int rc = rest.SetXPath(step.text);
      if (rc != 0) return rc;
      std::string text = rest.XText();
      std::printf("%s\n", text.c_str());
      return 0;
    }
    case Step::Kind::kGet:
      return PrintProperty(rest, d, step.text);
    default:
      return 0;
  }
}

// Sends the request with the method the command line asked for. GET and
// DELETE with a body, and any other method, go out through HTTPMethod with
// Post (a body) or Get (none), so the body is never dropped.
int RunRequest(REST& rest, const Options& o, bool hasBody) {
  std::string method = o.method.empty() ? (hasBody ? "POST" : "GET") : o.method;
  std::string url = corvane::cli::RequestUrl(o.url);
  if (method == "POST") return rest.Post(url);
  if (method == "PUT") return rest.Put(url);
  if (method == "GET" && !hasBody) return rest.Get(url);
  if (method == "DELETE" && !hasBody) return rest.Delete(url);
  if (int rc = rest.SetHTTPMethod(method); rc != 0) return rc;
  return hasBody ? rest.Post(url) : rest.Get(url);
}

// -m and --connect-timeout take fractions of a second, so both limits go to
// milliseconds; a Timeout not given keeps its value in the new unit.
int ApplyTimeouts(REST& rest, const Options& o) {
  if (o.maxTimeMs < 0 && o.connectTimeoutMs < 0) return 0;
  int64_t timeoutMs = o.maxTimeMs >= 0 ? o.maxTimeMs : int64_t{rest.Timeout()} * 1000;
  if (int rc = rest.Config("TimeoutInMilliseconds=True"); rc != 0) return rc;
  if (int rc = rest.SetTimeout(static_cast<int>(timeoutMs)); rc != 0) return rc;
  if (o.connectTimeoutMs >= 0) return rest.Config("ConnectionTimeout=" + std::to_string(o.connectTimeoutMs));
  return 0;
}

// The failure of the request, and on a second line why a certificate was
// refused: the error alone ("Server certificate verification failed") does
// not say what was wrong with it.
void ReportRequestFailure(REST& rest, const corvane::cli::EventPrinter& printer, int code) {
  std::fprintf(stderr, "error %d: %s\n", code, rest.LastError().c_str());
  if (!printer.RefusedCertificate().empty())
    std::fprintf(stderr, "  certificate: %s\n", printer.RefusedCertificate().c_str());
}

bool AsksSomething(const Options& o) {
  for (const Step& s : o.steps) {
    if (s.kind == Step::Kind::kGet) return true;
    if (s.kind == Step::Kind::kConfig && s.text.find('=') == std::string::npos) return true;
  }
  return false;
}

bool PrintsAnswers(const Options& o) {
  for (const Step& s : o.steps) {
    if (s.kind == Step::Kind::kXPath || s.kind == Step::Kind::kGet || s.kind == Step::Kind::kOutput)
      return true;
    if (s.kind == Step::Kind::kConfig && s.text.find('=') == std::string::npos) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!corvane::cli::ParseCommandLine(argc, argv, options, error)) return Usage(error);
  if (options.help) {
    std::fputs(corvane::cli::UsageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("corvane-rest %s (libcorvane %s)\n", CORVANE_VERSION_STRING, corvane::Version());
    return 0;
  }
  switch (options.listing) {
    case corvane::cli::Listing::kNone: break;
    case corvane::cli::Listing::kProperties: corvane::cli::ListProperties(stdout); return 0;
    case corvane::cli::Listing::kConfig: corvane::cli::ListConfig(stdout); return 0;
    case corvane::cli::Listing::kEvents: corvane::cli::ListEvents(stdout); return 0;
    case corvane::cli::Listing::kErrors: corvane::cli::ListErrors(stdout); return 0;
  }

  if (options.url.empty() && !AsksSomething(options)) return Usage("no URL given");

  REST rest;
  Dispatch d(rest);
  corvane::cli::ListenerOptions lo;
  lo.events = options.events;
  lo.logToStderr = options.verbosity > 0;
  lo.progress = options.progress || (isatty(STDERR_FILENO) && !options.url.empty());
  lo.acceptAnyCert = options.insecure;
  for (const Step& step : options.steps) {
    if (step.kind == Step::Kind::kOutput) lo.bodyToOut = step.text == "-";
  }
  corvane::cli::EventPrinter printer(lo, stdout, stderr);
  rest.SetListener(&printer);
  if (options.verbosity > 0) rest.Config("Loglevel=" + std::to_string(options.verbosity));

  if (int rc = ApplyTimeouts(rest, options); rc != 0) return Fail(rest, rc);
  // HTTP/2 goes over TLS only; a plain URL stays HTTP/1.1, as a server that
  // refuses the upgrade would leave it.
  if (options.http2 && corvane::cli::RequestUrl(options.url).compare(0, 8, "https://") == 0) {
    if (int rc = rest.Config("HTTPVersion=2.0"); rc != 0) return Fail(rest, rc);
  }

  bool hasBody = false;
  for (const Step& step : options.steps) {
    if (step.kind == Step::Kind::kPostData || step.kind == Step::Kind::kAttach) hasBody = true;
    int rc = ApplyBefore(rest, d, step);
    if (rc == -100) return 2;
    if (rc != 0) return Fail(rest, rc);
  }

  int result = 0;
  if (!options.url.empty()) {
    result = RunRequest(rest, options, hasBody);
    if (options.include && !options.events && !rest.StatusLine().empty()) {
      std::string head = rest.StatusLine() + "\r\n" + rest.TransferredHeaders();
      if (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) head += "\r\n";
      std::fwrite(head.data(), 1, head.size(), stdout);
    }
    if (!PrintsAnswers(options) && !options.events) {
      std::string_view body = rest.TransferredDataView();
      std::fwrite(body.data(), 1, body.size(), stdout);
    }
  }
  // The request's failure is the one that counts; the steps after it still
  // run on whatever document came back (an error page stays navigable), and
  // their own failures are reported after it.
  if (result != 0) {
    std::fflush(stdout);
    ReportRequestFailure(rest, printer, result);
  }
  bool haveDocument = result == 0 || !rest.StatusLine().empty();
  for (const Step& step : options.steps) {
    if (step.kind == Step::Kind::kXPath && !haveDocument) continue;
    int rc = ApplyAfter(rest, d, step);
    if (rc == -100) return 2;
    if (rc != 0) {
      std::fflush(stdout);
      return Fail(rest, rc);
    }
  }
  std::fflush(stdout);
  if (result != 0) return 1;
  return 0;
}
