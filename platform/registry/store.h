// The settings store that installation writes and the programs only read: keys with string and DWORD
// values, kept in a text file of this shape:
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Tevalo]
//   "User_Dir"="/home/u/.local/share/tevalo/"
//   "Count"=dword:0000002a
//
// Key paths and value names match without regard to case. Strings escape "\" and '"' with a "\".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tevalo::registry {

struct Value {
  enum class Type { kString, kDword };
  Type type = Type::kString;
  std::u16string text;  // kString
  uint32_t number = 0;  // kDword
};

class Store {
 public:
  // Lines that cannot be read are skipped; each is described in `problems` when given.
  static Store Parse(std::string_view text, std::vector<std::string>* problems = nullptr);
  // An absent or unreadable file is an empty store.
  static Store Load(const std::string& path, std::vector<std::string>* problems = nullptr);
  std::string Serialize() const;

  // Key paths as "HKEY_LOCAL_MACHINE\SOFTWARE\Tevalo" or "HKLM\SOFTWARE\Tevalo" ("/" works too).
  bool HasKey(std::u16string_view keyPath) const;
  std::optional<Value> Get(std::u16string_view keyPath, std::u16string_view name) const;

  void Set(std::u16string_view keyPath, std::u16string_view name, Value value);
  bool Remove(std::u16string_view keyPath, std::u16string_view name);
  bool RemoveKey(std::u16string_view keyPath);

  // The canonical spelling of a key path: full root name, "\" separators, no empty parts.
  static std::u16string CanonicalKey(std::u16string_view keyPath);

 private:
  struct Entry {
    std::u16string name;  // as first written
    Value value;
  };
  struct Key {
    std::u16string path;                     // canonical, as first written
    std::map<std::u16string, Entry> values;  // by lower-case name
  };
  std::map<std::u16string, Key> keys_;  // by lower-case canonical path
};

// Where the store lives: $TEVALO_REGISTRY; else $XDG_CONFIG_HOME/tevalo/registry.ini ($HOME/.config
// when XDG_CONFIG_HOME is unset) when that file exists; else /etc/tevalo/registry.ini.
std::string StorePath();
// Where installation writes it: $TEVALO_REGISTRY, else the per-user file above.
std::string UserStorePath();

}  // namespace tevalo::registry
