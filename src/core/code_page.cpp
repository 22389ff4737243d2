#include "core/code_page.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>

#include "core/error_codes.h"

namespace corvane {

namespace {

// Owns an iconv descriptor.
class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of in; false on invalid input.
  bool Convert(const char* in, size_t inLen, std::string& out) {
    out.clear();
    char buf[4096];
    char* src = const_cast<char*>(in);
    size_t left = inLen;
    while (left > 0) {
      char* dst = buf;
      size_t room = sizeof buf;
      size_t r = iconv(cd_, &src, &left, &dst, &room);
      out.append(buf, sizeof buf - room);
      if (r == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    char* dst = buf;
    size_t room = sizeof buf;
    iconv(cd_, nullptr, nullptr, &dst, &room);
    out.append(buf, sizeof buf - room);
    return true;
  }

 private:
  iconv_t cd_;
};

// The charset of the environment's locale, read without touching the
// process's global locale.
std::string LocaleCharset() {
  locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return "UTF-8";
  std::string cs = nl_langinfo_l(CODESET, loc);
  freelocale(loc);
  // The bare C locale reports ASCII; text here is UTF-8 in practice.
  if (cs.empty() || cs == "ANSI_X3.4-1968") return "UTF-8";
  return cs;
}

}  // namespace

std::string CharsetForCodePage(unsigned codePage) {
  if (codePage == 0) return LocaleCharset();
  if (codePage == 65001) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

int FromUtf16(std::u16string_view in, unsigned codePage, std::string& out) {
  out.clear();
  if (in.empty()) return 0;
  Iconv cv(CharsetForCodePage(codePage), "UTF-16LE");
  if (!cv.ok() || !cv.Convert(reinterpret_cast<const char*>(in.data()), in.size() * 2, out) ||
      out.empty()) {
    out.clear();
    return kErrCodePage;
  }
  return 0;
}

int ToUtf16(std::string_view in, unsigned codePage, std::u16string& out) {
  out.clear();
  if (in.empty()) return 0;
  Iconv cv("UTF-16LE", CharsetForCodePage(codePage));
  std::string bytes;
  if (!cv.ok() || !cv.Convert(in.data(), in.size(), bytes) || bytes.empty()) return kErrCodePage;
  out.assign(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
  return 0;
}

}  // namespace corvane
