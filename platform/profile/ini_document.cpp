#include "platform/profile/ini_document.h"

#include "platform/path/utf.h"

namespace tevalo::profile {
namespace {

// A stray carriage return counts as a blank, so a line reads the same with or without its line end.
bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// Section name of a header line, or nullopt for other lines.
std::optional<std::string_view> HeaderName(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() != '[') return std::nullopt;
  t.remove_prefix(1);
  const size_t close = t.find(']');
  if (close != std::string_view::npos) t = t.substr(0, close);
  return Trim(t);
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> SplitKey(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';') return std::nullopt;
  const size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyLine{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

bool OneLine(std::string_view s) { return s.find_first_of("\r\n") == std::string_view::npos; }

}  // namespace

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  std::string utf8;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string wide;
    wide.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    utf8 = text::ToUtf8(wide);
  } else {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
      doc.bom_ = "\xEF\xBB\xBF";
      bytes.remove_prefix(3);
    }
    utf8.assign(bytes);
  }
  std::string_view rest = utf8;
  bool eolChosen = false;
  while (!rest.empty()) {
    const size_t nl = rest.find('\n');
    Line line;
    if (nl == std::string_view::npos) {
      line.text.assign(rest);
      rest = {};
    } else {
      std::string_view t = rest.substr(0, nl);
      line.eol = "\n";
      if (!t.empty() && t.back() == '\r') {
        t.remove_suffix(1);
        line.eol = "\r\n";
      }
      line.text.assign(t);
      rest.remove_prefix(nl + 1);
      if (!eolChosen) doc.eol_ = line.eol, eolChosen = true;
    }
    doc.lines_.push_back(std::move(line));
  }
  return doc;
}

std::string IniDocument::Serialize() const {
  std::string out = bom_;
  for (const auto& l : lines_) out += l.text + l.eol;
  return out;
}

std::optional<IniDocument::Range> IniDocument::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    const auto name = HeaderName(lines_[i].text);
    if (!name || !SameName(*name, section)) continue;
    size_t end = i + 1;
    while (end < lines_.size() && !HeaderName(lines_[end].text)) ++end;
    return Range{i, end};
  }
  return std::nullopt;
}

std::optional<size_t> IniDocument::FindKey(const Range& r, std::string_view key) const {
  for (size_t i = r.header + 1; i < r.end; ++i) {
    const auto kl = SplitKey(lines_[i].text);
    if (kl && SameName(kl->key, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  const auto r = FindSection(Trim(section));
  if (!r) return std::nullopt;
  const auto at = FindKey(*r, Trim(key));
  if (!at) return std::nullopt;
  std::string_view v = SplitKey(lines_[*at].text)->value;
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

std::vector<std::string> IniDocument::Sections() const {
  std::vector<std::string> out;
  for (const auto& l : lines_) {
    const auto name = HeaderName(l.text);
    if (!name) continue;
    bool seen = false;
    for (const auto& s : out) seen = seen || SameName(s, *name);
    if (!seen) out.emplace_back(*name);
  }
  return out;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
  std::vector<std::string> out;
  const auto r = FindSection(Trim(section));
  if (!r) return out;
  for (size_t i = r->header + 1; i < r->end; ++i) {
    const auto kl = SplitKey(lines_[i].text);
    if (!kl) continue;
    bool seen = false;
    for (const auto& k : out) seen = seen || SameName(k, kl->key);
    if (!seen) out.emplace_back(kl->key);
  }
  return out;
}

void IniDocument::Insert(size_t at, std::string text) {
  // A last line without a line end gets one before anything follows it.
  if (at > 0 && lines_[at - 1].eol.empty()) lines_[at - 1].eol = eol_;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), eol_});
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  // Anything that would read back as another line, another section or another key is refused.
  if (section.empty() || key.empty() || !OneLine(section) || !OneLine(key) || !OneLine(value) ||
      section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
      key.front() == '[' || key.front() == ';')
    return false;
  const std::string keyLine = std::string(key) + "=" + std::string(value);
  const auto r = FindSection(section);
  if (!r) {
    Insert(lines_.size(), "[" + std::string(section) + "]");
    Insert(lines_.size(), keyLine);
    return true;
  }
  if (const auto at = FindKey(*r, key)) {
    lines_[*at].text = std::string(SplitKey(lines_[*at].text)->key) + "=" + std::string(value);
    return true;
  }
  // After the section's last non-blank line, so blank lines stay between sections.
  size_t at = r->end;
  while (at > r->header + 1 && Trim(lines_[at - 1].text).empty()) --at;
  Insert(at, keyLine);
  return true;
}

bool IniDocument::RemoveKey(std::string_view section, std::string_view key) {
  const auto r = FindSection(Trim(section));
  if (!r) return false;
  const auto at = FindKey(*r, Trim(key));
  if (!at) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
  return true;
}

bool IniDocument::RemoveSection(std::string_view section) {
  const auto r = FindSection(Trim(section));
  if (!r) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(r->header),
               lines_.begin() + static_cast<std::ptrdiff_t>(r->end));
  return true;
}

}  // namespace tevalo::profile
