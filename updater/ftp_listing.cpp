#include "updater/ftp_listing.h"

#include <array>

namespace tevalo::updater {
namespace {

struct Token {
  std::string_view text;
  size_t end;  // offset just past the token in its line
};

std::vector<Token> Tokens(std::string_view line, size_t most) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (tokens.size() < most) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size()) break;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    tokens.push_back(Token{line.substr(start, i - start), i});
  }
  return tokens;
}

bool Digits(std::string_view s, size_t least, size_t most) {
  if (s.size() < least || s.size() > most) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool Month(std::string_view s) {
  static constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (s.size() != 3) return false;
  for (const std::string_view m : kMonths)
    if ((s[0] | 0x20) == (m[0] | 0x20) && (s[1] | 0x20) == m[1] && (s[2] | 0x20) == m[2]) return true;
  return false;
}

// "12:00" or "2020".
bool TimeOrYear(std::string_view s) {
  if (Digits(s, 4, 4)) return true;
  const size_t colon = s.find(':');
  return colon != std::string_view::npos && Digits(s.substr(0, colon), 1, 2) &&
         Digits(s.substr(colon + 1), 2, 2);
}

// drwxr-xr-x 2 owner group 4096 Jan 01 12:00 name   (the group may be missing)
bool ParseUnix(std::string_view line, FtpEntry* entry) {
  if (line.size() < 10 || std::string_view("-dlbcps").find(line[0]) == std::string_view::npos) return false;
  const std::vector<Token> t = Tokens(line, 9);
  for (size_t i = 2; i + 3 < t.size(); ++i) {
    if (!Digits(t[i].text, 1, 20) || !Month(t[i + 1].text) || !Digits(t[i + 2].text, 1, 2) ||
        !TimeOrYear(t[i + 3].text))
      continue;
    const size_t start = t[i + 3].end + 1;
    if (start >= line.size()) return false;
    std::string_view name = line.substr(start);
    if (line[0] == 'l') name = name.substr(0, name.find(" -> "));
    entry->name = std::string(name);
    entry->directory = line[0] == 'd';
    return true;
  }
  return false;
}

// 01-31-20  12:00PM       <DIR>          name      or      01-31-2020  12:00PM   1234 name
bool ParseDos(std::string_view line, FtpEntry* entry) {
  const std::vector<Token> t = Tokens(line, 3);
  if (t.size() < 3) return false;
  const std::string_view date = t[0].text;
  if (date.size() < 8 || date[2] != '-' || date[5] != '-' || !Digits(date.substr(0, 2), 2, 2) ||
      !Digits(date.substr(3, 2), 2, 2) || !Digits(date.substr(6), 2, 4))
    return false;
  std::string_view time = t[1].text;
  if (time.size() > 2 && (time.ends_with("AM") || time.ends_with("PM"))) time.remove_suffix(2);
  if (!TimeOrYear(time) || time.size() == 4) return false;
  const bool directory = t[2].text == "<DIR>";
  if (!directory && !Digits(t[2].text, 1, 20)) return false;
  size_t start = t[2].end;
  while (start < line.size() && line[start] == ' ') ++start;
  if (start >= line.size()) return false;
  entry->name = std::string(line.substr(start));
  entry->directory = directory;
  return true;
}

}  // namespace

std::vector<FtpEntry> ParseListing(std::string_view text) {
  std::vector<FtpEntry> entries;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    FtpEntry entry;
    if (!ParseUnix(line, &entry) && !ParseDos(line, &entry)) continue;
    if (entry.name.empty() || entry.name == "." || entry.name == "..") continue;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace tevalo::updater
