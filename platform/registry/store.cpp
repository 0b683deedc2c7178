#include "platform/registry/store.h"

#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/path/utf.h"

namespace tevalo::registry {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

struct RootAlias {
  std::u16string_view shortName, longName;
};
constexpr RootAlias kRoots[] = {
    {u"HKLM", u"HKEY_LOCAL_MACHINE"},
    {u"HKCU", u"HKEY_CURRENT_USER"},
    {u"HKCR", u"HKEY_CLASSES_ROOT"},
    {u"HKU", u"HKEY_USERS"},
};

// Reads a quoted string at the start of `s`; returns the characters after the closing quote.
std::optional<std::string_view> ReadQuoted(std::string_view s, std::string& out) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  out.clear();
  for (size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\') {
      if (i + 1 >= s.size()) return std::nullopt;
      out.push_back(s[++i]);
    } else if (c == '"') {
      return s.substr(i + 1);
    } else {
      out.push_back(c);
    }
  }
  return std::nullopt;
}

std::string Quote(std::u16string_view s) {
  std::string out = "\"";
  for (char c : text::ToUtf8(s)) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

}  // namespace

std::u16string Store::CanonicalKey(std::u16string_view keyPath) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t c : keyPath) {
    if (c == u'\\' || c == u'/') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  std::u16string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::u16string p = parts[i];
    if (i == 0)
      for (const auto& r : kRoots)
        if (text::EqualsNoCase(p, r.shortName) || text::EqualsNoCase(p, r.longName)) p = r.longName;
    if (i) out.push_back(u'\\');
    out += p;
  }
  return out;
}

Store Store::Parse(std::string_view text, std::vector<std::string>* problems) {
  Store store;
  std::u16string current;  // canonical key of the section, empty before the first
  size_t lineNo = 0;
  auto problem = [&](const std::string& what) {
    if (problems) problems->push_back("line " + std::to_string(lineNo) + ": " + what);
  };
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    ++lineNo;
    const size_t nl = text.find('\n');
    std::string_view line = Trim(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        problem("section without \"]\"");
        current.clear();
        continue;
      }
      current = CanonicalKey(text::ToUtf16(line.substr(1, line.size() - 2)));
      if (current.empty()) {
        problem("empty key path");
        continue;
      }
      store.keys_.try_emplace(text::LowerAscii(current), Key{current, {}});
      continue;
    }
    if (current.empty()) {
      problem("value outside a key");
      continue;
    }
    std::string name;
    auto rest = ReadQuoted(line, name);
    if (!rest) {
      problem("value name not quoted");
      continue;
    }
    std::string_view r = Trim(*rest);
    if (r.empty() || r.front() != '=') {
      problem("no \"=\" after the value name");
      continue;
    }
    r = Trim(r.substr(1));
    Value v;
    std::string data;
    if (auto after = ReadQuoted(r, data)) {
      if (!Trim(*after).empty()) {
        problem("text after the string value");
        continue;
      }
      v.type = Value::Type::kString;
      v.text = text::ToUtf16(data);
    } else if (r.substr(0, 6) == "dword:") {
      const std::string digits(r.substr(6));
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        problem("bad dword value");
        continue;
      }
      v.type = Value::Type::kDword;
      v.number = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
    } else {
      problem("value is neither a string nor a dword");
      continue;
    }
    store.Set(current, text::ToUtf16(name), std::move(v));
  }
  return store;
}

Store Store::Load(const std::string& path, std::vector<std::string>* problems) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Store();
  std::stringstream s;
  s << in.rdbuf();
  return Parse(s.str(), problems);
}

std::string Store::Serialize() const {
  std::string out;
  for (const auto& [lower, key] : keys_) {
    if (!out.empty()) out += "\n";
    out += "[" + text::ToUtf8(key.path) + "]\n";
    for (const auto& [lname, e] : key.values) {
      out += Quote(e.name) + "=";
      if (e.value.type == Value::Type::kString) {
        out += Quote(e.value.text);
      } else {
        char hex[16];
        std::snprintf(hex, sizeof hex, "dword:%08x", e.value.number);
        out += hex;
      }
      out += "\n";
    }
  }
  return out;
}

bool Store::HasKey(std::u16string_view keyPath) const {
  const std::u16string want = text::LowerAscii(CanonicalKey(keyPath));
  if (want.empty()) return false;
  // A key exists when it holds values or when any key below it does.
  for (const auto& [lower, key] : keys_)
    if (lower == want || (lower.size() > want.size() && lower.compare(0, want.size(), want) == 0 &&
                          lower[want.size()] == u'\\'))
      return true;
  return false;
}

std::optional<Value> Store::Get(std::u16string_view keyPath, std::u16string_view name) const {
  const auto k = keys_.find(text::LowerAscii(CanonicalKey(keyPath)));
  if (k == keys_.end()) return std::nullopt;
  const auto v = k->second.values.find(text::LowerAscii(name));
  if (v == k->second.values.end()) return std::nullopt;
  return v->second.value;
}

void Store::Set(std::u16string_view keyPath, std::u16string_view name, Value value) {
  const std::u16string canon = CanonicalKey(keyPath);
  Key& key = keys_.try_emplace(text::LowerAscii(canon), Key{canon, {}}).first->second;
  auto [it, fresh] = key.values.try_emplace(text::LowerAscii(name), Entry{std::u16string(name), value});
  if (!fresh) it->second.value = std::move(value);  // a later line overrides, as an import does
}

bool Store::Remove(std::u16string_view keyPath, std::u16string_view name) {
  const auto k = keys_.find(text::LowerAscii(CanonicalKey(keyPath)));
  return k != keys_.end() && k->second.values.erase(text::LowerAscii(name)) != 0;
}

bool Store::RemoveKey(std::u16string_view keyPath) {
  return keys_.erase(text::LowerAscii(CanonicalKey(keyPath))) != 0;
}

std::string UserStorePath() {
  if (const char* p = std::getenv("TEVALO_REGISTRY"); p && *p) return p;
  std::string base;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
    base = x;
  else if (const char* h = std::getenv("HOME"); h && *h)
    base = std::string(h) + "/.config";
  else
    return "/etc/tevalo/registry.ini";
  return base + "/tevalo/registry.ini";
}

std::string StorePath() {
  if (const char* p = std::getenv("TEVALO_REGISTRY"); p && *p) return p;
  const std::string user = UserStorePath();
  struct stat st;
  if (stat(user.c_str(), &st) == 0) return user;
  return "/etc/tevalo/registry.ini";
}

}  // namespace tevalo::registry
