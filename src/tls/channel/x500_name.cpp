#include "tls/channel/x500_name.h"

#include <openssl/crypto.h>
#include <openssl/objects.h>

#include <string_view>
#include <vector>

#include "core/ascii.h"

namespace corvane::tls {

namespace {

// Attribute keys of the X.500 string form (RFC 4514 names where they agree;
// "S" and "E" are the form's own).
struct AttributeKey {
  int nid;
  const char* key;
};
constexpr AttributeKey kKeys[] = {
    {NID_commonName, "CN"},
    {NID_localityName, "L"},
    {NID_organizationName, "O"},
    {NID_organizationalUnitName, "OU"},
    {NID_pkcs9_emailAddress, "E"},
    {NID_countryName, "C"},
    {NID_stateOrProvinceName, "S"},
    {NID_streetAddress, "STREET"},
    {NID_title, "T"},
    {NID_givenName, "G"},
    {NID_initials, "I"},
    {NID_surname, "SN"},
    {NID_domainComponent, "DC"},
    {NID_serialNumber, "SERIALNUMBER"},
    {NID_postalCode, "PostalCode"},
    {NID_description, "Description"},
    {NID_userId, "UID"},
};

std::string KeyFor(const ASN1_OBJECT* object) {
  int nid = OBJ_obj2nid(object);
  for (const auto& k : kKeys) {
    if (k.nid == nid) return k.key;
  }
  char oid[128];
  OBJ_obj2txt(oid, sizeof oid, object, 1);
  return std::string("OID.") + oid;
}

bool NeedsQuotes(std::string_view v) {
  if (v.empty()) return false;
  if (v.front() == ' ' || v.back() == ' ') return true;
  return v.find_first_of(",+=\"\r\n<>#;") != std::string_view::npos;
}

void AppendValue(std::string& out, const ASN1_STRING* value) {
  unsigned char* utf8 = nullptr;
  int n = ASN1_STRING_to_UTF8(&utf8, value);
  std::string_view v = n > 0 ? std::string_view(reinterpret_cast<char*>(utf8), static_cast<size_t>(n))
                             : std::string_view();
  if (NeedsQuotes(v)) {
    out += '"';
    for (char c : v) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  } else {
    out += v;
  }
  OPENSSL_free(utf8);
}

int NidFor(std::string_view key) {
  for (const auto& k : kKeys) {
    if (key.size() == std::string_view(k.key).size() &&
        OPENSSL_strncasecmp(k.key, key.data(), key.size()) == 0) {
      return k.nid;
    }
  }
  std::string text(key);
  if (text.size() > 4 && OPENSSL_strncasecmp(text.c_str(), "OID.", 4) == 0) text.erase(0, 4);
  return OBJ_txt2nid(text.c_str());  // dotted form and the library's own short names (ST, emailAddress)
}

}  // namespace

X509_NAME* X500NameFromString(std::string_view text) {
  struct Part {
    int nid;
    std::string value;
  };
  std::vector<Part> parts;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find('=', i);
    if (eq == std::string_view::npos) return nullptr;
    int nid = NidFor(TrimBlanks(text.substr(i, eq - i)));
    if (nid == NID_undef) return nullptr;
    size_t v = eq + 1;
    while (v < text.size() && text[v] == ' ') ++v;
    std::string value;
    if (v < text.size() && text[v] == '"') {
      // Quoted: a doubled quote stands for one.
      for (++v; v < text.size(); ++v) {
        if (text[v] == '"') {
          if (v + 1 < text.size() && text[v + 1] == '"') {
            value += '"';
            ++v;
            continue;
          }
          ++v;
          break;
        }
        value += text[v];
      }
      while (v < text.size() && text[v] != ',' && text[v] != ';') ++v;
    } else {
      size_t end = text.find_first_of(",;", v);
      if (end == std::string_view::npos) end = text.size();
      value.assign(TrimBlanks(text.substr(v, end - v)));
      v = end;
    }
    parts.push_back({nid, std::move(value)});
    i = v < text.size() ? v + 1 : v;
    while (i < text.size() && text[i] == ' ') ++i;
  }
  if (parts.empty()) return nullptr;
  X509_NAME* name = X509_NAME_new();
  if (name == nullptr) return nullptr;
  // The text starts with the most specific part, the name with the least.
  for (size_t k = parts.size(); k-- > 0;) {
    const Part& p = parts[k];
    if (X509_NAME_add_entry_by_NID(name, p.nid, MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(p.value.data()),
                                   static_cast<int>(p.value.size()), -1, 0) != 1) {
      X509_NAME_free(name);
      return nullptr;
    }
  }
  return name;
}

std::string X500NameString(const X509_NAME* name) {
  std::string out;
  if (name == nullptr) return out;
  int count = X509_NAME_entry_count(name);
  // Entries are stored least specific first; the string starts with the
  // most specific RDN. Entries of one multi-valued RDN share a set number.
  int i = count - 1;
  bool firstRdn = true;
  while (i >= 0) {
    int set = X509_NAME_ENTRY_set(X509_NAME_get_entry(name, i));
    int first = i;
    while (first > 0 && X509_NAME_ENTRY_set(X509_NAME_get_entry(name, first - 1)) == set) --first;
    if (!firstRdn) out += ", ";
    firstRdn = false;
    for (int j = first; j <= i; ++j) {
      const X509_NAME_ENTRY* e = X509_NAME_get_entry(name, j);
      if (j != first) out += ' ';
      out += KeyFor(X509_NAME_ENTRY_get_object(e));
      out += '=';
      AppendValue(out, X509_NAME_ENTRY_get_data(e));
    }
    i = first - 1;
  }
  if (out.size() > kMaxNameString) out.resize(kMaxNameString);
  return out;
}

}  // namespace corvane::tls
