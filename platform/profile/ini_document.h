// An INI file held as its lines, so that an edit changes only the line it concerns and every other
// line is written back byte for byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tevalo::profile {

class IniDocument {
 public:
  // Bytes as stored: UTF-16LE with a BOM is converted, anything else taken as UTF-8.
  static IniDocument Parse(std::string_view bytes);
  std::string Serialize() const;  // UTF-8

  // Names in UTF-8; matched without regard to ASCII case; the first section and key of a name win.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  std::vector<std::string> Sections() const;
  std::vector<std::string> Keys(std::string_view section) const;

  // False (and nothing changed) when a name or value cannot be stored as one line.
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  bool RemoveKey(std::string_view section, std::string_view key);
  bool RemoveSection(std::string_view section);

 private:
  struct Line {
    std::string text;
    std::string eol;  // "\n", "\r\n" or "" for a last line without one
  };
  struct Range {
    size_t header;
    size_t end;  // one past the section's last line
  };

  std::optional<Range> FindSection(std::string_view section) const;
  std::optional<size_t> FindKey(const Range& r, std::string_view key) const;
  void Insert(size_t at, std::string text);

  std::string bom_;
  std::string eol_ = "\n";
  std::vector<Line> lines_;
};

}  // namespace tevalo::profile
