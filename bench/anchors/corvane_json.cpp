// JSON candidate for the anchor kit: the project's own JsonParser (src/json/json_parser.h),
// the parser REST::Get runs on JSON answers. Parse() copies the text in and scans it completely.
//
//   corvane_json dom FILE [--repeat K]     BuildDOM on (the default, as REST uses it), no
//                                           listener; counts taken after the timed parse from
//                                           the node tree (JsonDocument): a node whose Value()
//                                           is empty is a container ('}' or ']' ends its
//                                           SubTree()), otherwise the value's first byte gives
//                                           its kind; members are the keys
//   corvane_json events FILE [--repeat K]  BuildDOM off, a RESTEvents listener counts the
//                                           XML-like events the parser fires (StartElement per
//                                           member / array item, Characters with the value text)
//
// The parser keeps names and values as written (json_parser.h: no escape is decoded), while
// the kit counts decoded UTF-8 bytes of keys and strings. So the adapter measures the decoded
// length of what it is handed, the way a user reading the strings would: \n is one byte,
// \u00e9 two, a surrogate pair four. In events mode that is done inside the timed parse, as
// user code; in dom mode it is part of the count taken afterwards.
//
// events: the event stream does not say whether a container is an object or an array; the
// adapter infers it from the first child (a named child: object; an unnamed one: array). An
// empty array shows as an array holding one empty unnamed element (the parser opens the item
// before it sees "]"), which is the same stream as "[{}]"; the adapter counts it as an empty
// array (the kit's data has no "[{}]"). An empty object is an element with no child and no text.
#include <corvane/events.h>

#include "json/json_parser.h"

#include <cstring>
#include <vector>

#include "bench_common.h"

namespace {

int hex4(const char* p) {
    int v = 0;
    for (int i = 0; i < 4; ++i) {
        char c = p[i];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// decoded_length's work past the first backslash, at bs.
[[gnu::noinline]] uint64_t decoded_length_from(const char* p, const char* bs, const char* end) {
    uint64_t n = 0;
    for (;;) {
        if (bs == nullptr) return n + static_cast<uint64_t>(end - p);
        n += static_cast<uint64_t>(bs - p);
        if (end - bs >= 6 && bs[1] == 'u') {
            int unit = hex4(bs + 2);
            p = bs + 6;
            if (unit >= 0xD800 && unit <= 0xDBFF && end - p >= 6 && p[0] == '\\' && p[1] == 'u') {
                int low = hex4(p + 2);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    n += 4;
                    p += 6;
                    bs = static_cast<const char*>(std::memchr(p, '\\', static_cast<size_t>(end - p)));
                    continue;
                }
            }
            n += unit < 0 ? 6 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
        } else {
            n += 1;
            p = bs + 2 <= end ? bs + 2 : end;
        }
        bs = static_cast<const char*>(std::memchr(p, '\\', static_cast<size_t>(end - p)));
    }
}

// UTF-8 length of a name or string body (between the quotes) once its escapes are resolved.
// Most bodies hold no backslash: one memchr and done, inline at the caller.
inline uint64_t decoded_length(std::string_view body) {
    const char* p = body.data();
    const char* bs = static_cast<const char*>(std::memchr(p, '\\', body.size()));
    if (bs == nullptr) return body.size();
    return decoded_length_from(p, bs, p + body.size());
}

void count_scalar(std::string_view v, bench::JsonCounts& c) {
    switch (v.empty() ? 0 : v[0]) {
        case '"': ++c.strings; c.string_bytes += decoded_length(v.substr(1, v.size() - 2)); break;
        case 't': case 'T': ++c.trues; break;
        case 'f': case 'F': ++c.falses; break;
        case 'n': case 'N': ++c.nulls; break;
        default: ++c.numbers; break;
    }
}

bench::JsonCounts count_dom(const corvane::JsonParser& p) {
    const corvane::JsonDocument& d = p.Document();
    bench::JsonCounts c;
    for (uint32_t i = 0; i < d.NodeCount(); ++i) {
        if (i != 0 && d.Node(i).IsMember()) {
            ++c.keys;
            c.key_bytes += decoded_length(d.Name(i));
        }
        std::string_view v = d.Value(i);
        if (!v.empty()) {
            count_scalar(v, c);
            continue;
        }
        std::string_view sub = d.SubTree(i);
        if (!sub.empty() && sub.back() == '}') ++c.objects;
        else if (!sub.empty() && sub.back() == ']') ++c.arrays;
        else bench::die("node " + std::to_string(i) + " is neither a scalar nor a container");
    }
    return c;
}

class EventCounter : public corvane::RESTEvents {
 public:
    bench::JsonCounts c;
    void StartElement(std::string&, std::string& name, std::string&, bool&) override {
        uint8_t self = 0;
        if (depth_ != 0) {
            uint8_t& parent = open_[depth_ - 1];
            if ((parent & kChildren) == 0) {
                parent |= kOneChild | (name.empty() ? 0 : kFirstNamed);
            } else {
                parent |= kManyChildren;
            }
            if (!name.empty()) {
                ++c.keys;
                c.key_bytes += decoded_length(name);
                self = kNamed;
            }
        }
        if (depth_ == open_.size()) Grow();
        open_[depth_++] = self;
    }
    void Characters(std::string& text) override {
        open_[depth_ - 1] |= kText;
        count_scalar(text, c);
    }
    void EndElement(std::string&, std::string&, std::string&, bool&) override {
        uint8_t f = open_[--depth_];
        if (f & kText) return;
        if (f & kChildren) {
            // An array whose only child is the empty unnamed placeholder is an empty array.
            ++(f & kFirstNamed ? c.objects : c.arrays);
            // that child was counted as an empty object; it stayed the only child
            if ((f & kPlaceholderOnly) && !(f & kManyChildren)) --c.objects;
            return;
        }
        // No child, no text: an empty object, or the placeholder item of an empty array.
        if (!(f & kNamed) && depth_ != 0 && (open_[depth_ - 1] & kChildren) == kOneChild) {
            open_[depth_ - 1] |= kPlaceholderOnly;
        }
        ++c.objects;
    }

 private:
    [[gnu::noinline]] void Grow() { open_.resize(open_.size() * 2); }

    // One byte per open element: what the counts above need to know about it. Only "none",
    // "one" and "more" children matter.
    static constexpr uint8_t kNamed = 1;
    static constexpr uint8_t kText = 2;
    static constexpr uint8_t kFirstNamed = 4;
    static constexpr uint8_t kPlaceholderOnly = 8;
    static constexpr uint8_t kOneChild = 16;
    static constexpr uint8_t kManyChildren = 32;
    static constexpr uint8_t kChildren = kOneChild | kManyChildren;
    std::vector<uint8_t> open_ = std::vector<uint8_t>(64);
    size_t depth_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    int repeat = bench::take_repeat(argc, argv);
    if (argc != 3) bench::die("usage: corvane_json dom|events FILE [--repeat K]");
    std::string mode = argv[1];
    if (mode != "dom" && mode != "events") bench::die("mode must be dom or events");
    std::vector<char> buf = bench::read_file(argv[2]);
    size_t n = buf.size() - 1;
    std::string_view text(buf.data(), n);

    corvane::JsonParser parser;
    EventCounter counter;
    if (mode == "events") {
        parser.SetBuildDOM(false);
        parser.SetEventSink(&counter);
    }
    bench::ParseTimer t;
    for (int it = 0; it < repeat; ++it) {
        parser.Reset();  // frees the previous tree, outside the timing
        counter.c = bench::JsonCounts();
        t.start();
        int rc = parser.Parse(text);
        t.stop();
        if (rc != 0)
            bench::die("corvane JsonParser: error " + std::to_string(rc) + " at byte " +
                       std::to_string(parser.ErrorOffset()) + ": " +
                       std::string(parser.LastErrorText().view()));
    }
    t.report((double)n);
    bench::JsonCounts c = mode == "dom" ? count_dom(parser) : counter.c;
    c.print();
    std::printf("INFO corvane JsonParser %s (BuildDOM %s); strings and names kept as written, decoded by the adapter for the counts\n",
                mode.c_str(), mode == "dom" ? "on" : "off");
    return 0;
}
