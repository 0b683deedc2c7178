// Path building for folders that were stored Windows-style (with a trailing backslash) and names that
// are appended to them directly or after a "\".
#pragma once

#include <string>
#include <string_view>

namespace tevalo::path {

// Joins a folder and a name with exactly one "/" between them: a "/" or "\" at the end of the folder
// or the start of the name is the separator, and a run of them counts as one. An empty folder leaves
// the name as it is (relative to the current directory); an empty name leaves the folder.
std::string Join(std::string_view folder, std::string_view name);
std::u16string Join(std::u16string_view folder, std::u16string_view name);

template <typename S, typename... Rest>
auto Join(const S& a, const S& b, const S& c, const Rest&... rest) {
  return Join(Join(a, b), c, rest...);
}

// The native form of a path built by concatenation: every "\" becomes "/" and every run of separators
// one "/". "User_Dir" + "\" + "config.ini" and "User_Dir" + "config.ini" give the same file.
std::string Native(std::string_view path);
std::u16string Native(std::u16string_view path);

// Native() of a UTF-16 path as the UTF-8 bytes the file system takes.
std::string NativeUtf8(std::u16string_view path);

}  // namespace tevalo::path
