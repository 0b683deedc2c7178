#include "platform/path/path.h"

#include "platform/path/utf.h"

namespace tevalo::path {
namespace {

template <typename C>
bool IsSep(C c) {
  return c == C('/') || c == C('\\');
}

template <typename C>
std::basic_string<C> NativeOf(std::basic_string_view<C> p) {
  std::basic_string<C> out;
  out.reserve(p.size());
  for (C c : p) {
    if (IsSep(c)) {
      if (out.empty() || out.back() != C('/')) out.push_back(C('/'));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

template <typename C>
std::basic_string<C> JoinOf(std::basic_string_view<C> folder, std::basic_string_view<C> name) {
  if (folder.empty()) return NativeOf(name);
  if (name.empty()) return NativeOf(folder);
  std::basic_string<C> joined(folder);
  joined.push_back(C('/'));
  joined.append(name);
  return NativeOf<C>(joined);
}

}  // namespace

std::string Join(std::string_view folder, std::string_view name) { return JoinOf(folder, name); }
std::u16string Join(std::u16string_view folder, std::u16string_view name) { return JoinOf(folder, name); }
std::string Native(std::string_view path) { return NativeOf(path); }
std::u16string Native(std::u16string_view path) { return NativeOf(path); }
std::string NativeUtf8(std::u16string_view path) { return text::ToUtf8(NativeOf(path)); }

}  // namespace tevalo::path
