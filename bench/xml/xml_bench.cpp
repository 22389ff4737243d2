// Parses a generated ~50 MB document with the XML parser (events off, events
// to a listener that does nothing, document model) and, in the same run, with
// expat (SAX) and libxml2 (SAX and DOM). Each parse runs in a fresh child
// process, so allocator state does not carry over between contenders; it
// reports CPU time (user + system, steadier than wall time on a shared
// machine) as MB/s and the growth of peak resident memory during the parse.
#include <expat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "corvane/events.h"
#include "xml/xml_parser.h"

namespace {

// Document generator ----------------------------------------------------------

class Lcg {
 public:
  uint32_t Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state_ >> 33);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint64_t state_ = 42;
};

const char* const kWords[] = {"lorem", "ipsum", "dolor", "sit", "amet", "consectetur",
                              "adipiscing", "elit", "sed", "do", "eiusmod", "tempor",
                              "incididunt", "ut", "labore", "et", "dolore", "magna"};

void Words(Lcg& rng, std::string& out, int n) {
  for (int i = 0; i < n; ++i) {
    if (i) out += ' ';
    out += kWords[rng.Below(18)];
  }
}

std::string Generate(size_t target) {
  Lcg rng;
  std::string doc;
  doc.reserve(target + 4096);
  doc += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  doc += "<catalog xmlns=\"urn:corvane:bench\" xmlns:x=\"urn:corvane:ext\">\n";
  for (int book = 1; doc.size() < target; ++book) {
    doc += "  <!-- book " + std::to_string(book) + " -->\n";
    doc += "  <book id=\"b" + std::to_string(book) + "\" x:lang=\"en\" price=\"" +
           std::to_string(rng.Below(100)) + ".50\">\n";
    doc += "    <title>";
    Words(rng, doc, 4);
    doc += " &amp; more</title>\n";
    doc += "    <author first=\"Ann\" last=\"Lee\" role='writer'/>\n";
    doc += "    <x:note>Caf\xC3\xA9 &lt;notes&gt; &#169; ";
    Words(rng, doc, 6);
    doc += "</x:note>\n";
    doc += "    <body><![CDATA[raw <data> & stuff ";
    Words(rng, doc, 5);
    doc += "]]></body>\n    <chapters>\n";
    int chapters = 2 + static_cast<int>(rng.Below(4));
    for (int c = 1; c <= chapters; ++c) {
      doc += "      <chapter n=\"" + std::to_string(c) + "\">\n";
      int paras = 1 + static_cast<int>(rng.Below(3));
      for (int p = 0; p < paras; ++p) {
        doc += "        <p class=\"t\">";
        Words(rng, doc, 8 + static_cast<int>(rng.Below(20)));
        doc += "</p>\n";
      }
      doc += "      </chapter>\n";
    }
    doc += "    </chapters>\n  </book>\n";
  }
  doc += "</catalog>\n";
  return doc;
}

// Parsers -----------------------------------------------------------------------

constexpr size_t kPiece = 64 * 1024;

class NullListener : public corvane::RESTEvents {};

int RunCorvane(const std::string& doc, bool events, bool dom) {
  corvane::XmlParser parser;
  NullListener listener;
  if (events) parser.SetEventSink(&listener);
  parser.SetBuildDOM(dom);
  parser.Reset();
  for (size_t at = 0; at < doc.size(); at += kPiece) {
    if (int rc = parser.Feed(std::string_view(doc).substr(at, kPiece)); rc != 0) {
      std::fprintf(stderr, "parse failed: %d %s\n", rc, parser.LastErrorText().c_str());
      return rc;
    }
  }
  if (dom && parser.XChildCount() == 0) return 1;
  return 0;
}

void XMLCALL ExpatStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL ExpatEnd(void*, const XML_Char*) {}
void XMLCALL ExpatText(void*, const XML_Char*, int) {}

int RunExpat(const std::string& doc) {
  XML_Parser p = XML_ParserCreateNS(nullptr, '|');
  XML_SetElementHandler(p, ExpatStart, ExpatEnd);
  XML_SetCharacterDataHandler(p, ExpatText);
  int rc = 0;
  for (size_t at = 0; at < doc.size() && rc == 0; at += kPiece) {
    size_t n = std::min(kPiece, doc.size() - at);
    if (XML_Parse(p, doc.data() + at, static_cast<int>(n), at + n == doc.size()) == XML_STATUS_ERROR) {
      std::fprintf(stderr, "expat: %s\n", XML_ErrorString(XML_GetErrorCode(p)));
      rc = 1;
    }
  }
  XML_ParserFree(p);
  return rc;
}

void SaxStartNs(void*, const xmlChar*, const xmlChar*, const xmlChar*, int, const xmlChar**, int,
                int, const xmlChar**) {}
void SaxEndNs(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}
void SaxText(void*, const xmlChar*, int) {}

int RunLibxml(const std::string& doc, bool dom) {
  xmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  xmlSAXHandler* handler = nullptr;
  if (!dom) {
    xmlSAXVersion(&sax, 2);
    sax.startElementNs = SaxStartNs;
    sax.endElementNs = SaxEndNs;
    sax.characters = SaxText;
    sax.cdataBlock = SaxText;
    sax.comment = nullptr;
    sax.startDocument = nullptr;
    sax.endDocument = nullptr;
    handler = &sax;
  }
  xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(handler, nullptr, nullptr, 0, nullptr);
  int rc = 0;
  for (size_t at = 0; at < doc.size() && rc == 0; at += kPiece) {
    size_t n = std::min(kPiece, doc.size() - at);
    rc = xmlParseChunk(ctxt, doc.data() + at, static_cast<int>(n), at + n == doc.size());
  }
  if (rc == 0 && !ctxt->wellFormed) rc = 1;
  if (dom) {
    if (ctxt->myDoc == nullptr || xmlDocGetRootElement(ctxt->myDoc) == nullptr) rc = 1;
    xmlFreeDoc(ctxt->myDoc);
  }
  xmlFreeParserCtxt(ctxt);
  return rc;
}

struct Result {
  double mbps = 0;
  double peakMb = 0;
};

long StatusKb(const char* field) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return 0;
  char line[256];
  long kb = 0;
  size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, field, n) == 0) kb = std::atol(line + n);
  }
  std::fclose(f);
  return kb;
}

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Sample {
  double seconds = 0;
  long growthKb = 0;
  int rc = 1;
};

// Runs one parse in a child process and reports its CPU time and how far
// its peak resident size rose above where it started.
Sample InChild(const std::function<int()>& run) {
  int fds[2];
  Sample s;
  if (pipe(fds) != 0) return s;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);  // resets the peak to the current size
      std::fclose(f);
    }
    Sample c;
    long before = StatusKb("VmRSS:");
    double t0 = CpuSeconds();
    c.rc = run();
    c.seconds = CpuSeconds() - t0;
    c.growthKb = StatusKb("VmHWM:") - before;
    ssize_t w = write(fds[1], &c, sizeof c);
    (void)w;
    _exit(0);
  }
  close(fds[1]);
  ssize_t r = read(fds[0], &s, sizeof s);
  if (r != static_cast<ssize_t>(sizeof s)) s.rc = 1;
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return s;
}

Result Measure(const char* name, size_t bytes, const std::function<int()>& run) {
  Result best;
  double bestSeconds = 1e30;
  for (int i = 0; i < 3; ++i) {
    Sample s = InChild(run);
    if (s.rc != 0) {
      std::printf("%-30s FAILED\n", name);
      return best;
    }
    bestSeconds = std::min(bestSeconds, s.seconds);
    best.peakMb = std::max(best.peakMb, static_cast<double>(s.growthKb) / 1024.0);
  }
  best.mbps = static_cast<double>(bytes) / 1048576.0 / bestSeconds;
  std::printf("%-30s %8.1f MB/s   peak RSS growth %7.1f MB\n", name, best.mbps, best.peakMb);
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  size_t mb = argc > 1 ? static_cast<size_t>(std::atol(argv[1])) : 50;
  xmlInitParser();
  std::string doc = Generate(mb * 1024 * 1024);
  size_t n = doc.size();
  std::printf("document: %.1f MB, best of 3 runs (CPU time), fed in %zu KB pieces\n\n",
              static_cast<double>(n) / 1048576.0, kPiece / 1024);

  Result off = Measure("corvane SAX, events off", n, [&] { return RunCorvane(doc, false, false); });
  Result on = Measure("corvane SAX, null listener", n, [&] { return RunCorvane(doc, true, false); });
  Result dom = Measure("corvane document model", n, [&] { return RunCorvane(doc, false, true); });
  Result expat = Measure("expat SAX (namespaces)", n, [&] { return RunExpat(doc); });
  Result lsax = Measure("libxml2 SAX2", n, [&] { return RunLibxml(doc, false); });
  Result ldom = Measure("libxml2 DOM", n, [&] { return RunLibxml(doc, true); });

  auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  std::printf("\nratios\n");
  std::printf("  SAX events off / expat        %5.2fx\n", ratio(off.mbps, expat.mbps));
  std::printf("  SAX null listener / expat     %5.2fx\n", ratio(on.mbps, expat.mbps));
  std::printf("  SAX events off / libxml2 SAX  %5.2fx\n", ratio(off.mbps, lsax.mbps));
  std::printf("  DOM / libxml2 DOM speed       %5.2fx\n", ratio(dom.mbps, ldom.mbps));
  std::printf("  DOM / libxml2 DOM peak RSS    %5.2fx\n", ratio(dom.peakMb, ldom.peakMb));
  xmlCleanupParser();
  return 0;
}
