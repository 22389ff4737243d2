// XML candidate for the anchor kit: the project's own XmlParser (src/xml/xml_parser.h), the
// parser REST::Get runs on XML answers. One Feed() of the whole in-memory document, as REST
// does with a body.
//
//   corvane_xml dom FILE [--repeat K]   BuildDOM on (the default, as REST uses it), no listener;
//                                        counts taken after the timed parse from the parser's
//                                        document model (its record stream: 'E' element and
//                                        'A' attribute records; xmlns declarations are
//                                        namespace records, not attributes)
//   corvane_xml sax FILE [--repeat K]   BuildDOM off (Validate stays on: nesting checked,
//                                        namespaces resolved), a RESTEvents listener counts:
//                                        StartElement -> one element; inside it the parser's
//                                        AttrCount()/AttrValue(i) give the tag's attributes
//                                        (xmlns declarations excluded by the parser)
//   corvane_xml sax-eval FILE [...]     the same, and the listener answers the EvalEntity event
//                                        (the parser's hook for reference values) with the
//                                        decoded text: the five predefined entities and every
//                                        character reference, as UTF-8.
//
// What the parser decodes, and what the adapter does about the rest (the kit counts fully
// decoded UTF-8 bytes of attribute values):
//   The input transcoder turns every non-ASCII character of a UTF-8 document into a decimal
//   character reference "&#n;" before scanning (src/xml/xml_transcoder.h), so raw UTF-8
//   arrives as references too.
//   dom: the five predefined entities and character references below U+10000 are decoded; a
//        reference beyond the BMP (&#x1F600;, or a raw four-byte character) is kept as
//        written. The count decodes those leftover character references.
//   sax: without BuildDOM no reference is decoded by the parser: each one reaches the
//        listener's EvalEntity event with the text as written and stays so in the value.
//        The listener decodes them while it counts, inside the timed parse, as user code
//        reading the values would.
//   sax-eval: the listener supplied the values, so the attribute values arrive decoded.
//
// Reset() (outside the timing) frees the previous document before the next parse.
#include <corvane/events.h>

#include "core/utf8.h"
#include "xml/xml_parser.h"

#include "bench_common.h"

namespace {

// The value of the character reference "#n" or "#xh" (name without '&' and ';'), or -1.
long char_ref(std::string_view name) {
    if (name.size() < 2 || name[0] != '#') return -1;
    bool hex = name[1] == 'x' || name[1] == 'X';
    size_t i = hex ? 2 : 1;
    if (i >= name.size()) return -1;
    long cp = 0;
    for (; i < name.size(); ++i) {
        char c = name[i];
        int d = c >= '0' && c <= '9' ? c - '0'
              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return -1;
        cp = cp * (hex ? 16 : 10) + d;
        if (cp > 0x10FFFF) return -1;
    }
    return cp == 0 ? -1 : cp;
}

// UTF-8 length of an attribute value once the references left in it are resolved: character
// references always, the five predefined entities too when entities is set (a value that
// still holds them as written). Anything else stays as written.
uint64_t decoded_length(std::string_view v, bool entities) {
    uint64_t n = 0;
    size_t from = 0;
    for (;;) {
        size_t amp = v.find('&', from);
        if (amp == std::string_view::npos) return n + (v.size() - from);
        n += amp - from;
        size_t semi = v.find(';', amp + 1);
        std::string_view name = semi == std::string_view::npos ? std::string_view()
                                                               : v.substr(amp + 1, semi - amp - 1);
        long cp = char_ref(name);
        if (cp > 0) {
            n += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        } else if (entities && (name == "amp" || name == "lt" || name == "gt" || name == "quot" ||
                                name == "apos")) {
            n += 1;
        } else {
            n += 1;  // a lone '&': itself
            from = amp + 1;
            continue;
        }
        from = semi + 1;
    }
}

class Counter : public corvane::RESTEvents {
 public:
    explicit Counter(corvane::XmlParser& p) : p_(p) {}
    bench::XmlCounts c;
    bool decode = false;
    // entity: the name between '&' and ';' ("amp", "#233", "#x1F600"); value: what the parser
    // will insert (the reference as written unless a listener changes it).
    void EvalEntity(std::string& entity, std::string& value) override {
        if (!decode) return;
        const std::string& e = entity;
        if (e == "amp") value.assign(1, '&');
        else if (e == "lt") value.assign(1, '<');
        else if (e == "gt") value.assign(1, '>');
        else if (e == "quot") value.assign(1, '"');
        else if (e == "apos") value.assign(1, '\'');
        else if (e.size() > 1 && e[0] == '#') {
            bool hex = e[1] == 'x' || e[1] == 'X';
            uint32_t cp = static_cast<uint32_t>(std::strtoul(e.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10));
            if (cp != 0 && cp <= 0x10FFFF) {
                value.clear();
                corvane::AppendUtf8(value, cp);
            }
        }
    }
    void StartElement(std::string&, std::string&, std::string&, bool&) override {
        ++c.elements;
        int n = p_.AttrCount();
        for (int i = 0; i < n; ++i) {
            p_.AttrValue(i, value_);
            ++c.attributes;
            c.attr_bytes += decode ? value_.size() : decoded_length(value_, true);
        }
    }

 private:
    corvane::XmlParser& p_;
    std::string value_;
};

// Walks the record stream of the document model.
bench::XmlCounts count_dom(const corvane::XmlParser& p) {
    namespace rec = corvane::xmlrec;
    const corvane::XmlDocument& d = p.Document();
    bench::XmlCounts c;
    for (uint32_t pos = 0; pos < d.Size();) {
        uint32_t tag = d.U32(pos);
        if (tag == rec::kElement) {
            ++c.elements;
        } else if (tag == rec::kAttribute) {
            ++c.attributes;
            c.attr_bytes += decoded_length(d.AttrValue(pos), false);
        }
        uint32_t next = d.RecordEnd(pos);
        if (next <= pos) break;
        pos = next;
    }
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = bench::take_repeat(argc, argv);
    if (argc != 3) bench::die("usage: corvane_xml dom|sax|sax-eval FILE [--repeat K]");
    std::string mode = argv[1];
    if (mode != "dom" && mode != "sax" && mode != "sax-eval") bench::die("mode must be dom, sax or sax-eval");
    std::vector<char> buf = bench::read_file(argv[2]);
    size_t n = buf.size() - 1;
    std::string_view doc(buf.data(), n);

    corvane::XmlParser parser;
    Counter counter(parser);
    if (mode != "dom") {
        parser.SetBuildDOM(false);
        parser.SetEventSink(&counter);
        counter.decode = mode == "sax-eval";
    }
    bench::ParseTimer t;
    for (int it = 0; it < repeat; ++it) {
        parser.Reset();  // frees the previous document, outside the timing
        counter.c = bench::XmlCounts();  // (the decode switch stays)
        t.start();
        int rc = parser.Feed(doc);
        t.stop();
        if (rc != 0)
            bench::die("corvane XmlParser: error " + std::to_string(rc) + ": " +
                       std::string(parser.LastErrorText().view()));
    }
    t.report((double)n);
    bench::XmlCounts c = mode == "dom" ? count_dom(parser) : counter.c;
    c.print();
    std::printf("INFO corvane XmlParser %s (BuildDOM %s%s), one Feed of the whole document\n",
                mode.c_str(), mode == "dom" ? "on" : "off",
                mode == "sax-eval" ? ", references decoded by the listener's EvalEntity" : "");
    return 0;
}
