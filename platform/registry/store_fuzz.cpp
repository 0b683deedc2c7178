// Any text: parsing never fails, and what the store writes it reads back unchanged.
#include <cstdint>
#include <string_view>

#include "platform/registry/store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tevalo::registry::Store;
  const Store store = Store::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  store.HasKey(u"HKLM\\SOFTWARE\\Tevalo");
  store.Get(u"HKLM\\SOFTWARE\\Tevalo", u"user_dir");
  const std::string once = store.Serialize();
  std::vector<std::string> problems;
  const Store again = Store::Parse(once, &problems);
  if (!problems.empty() || again.Serialize() != once) __builtin_trap();
  return 0;
}
