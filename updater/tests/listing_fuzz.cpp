// Any reply text: parsing never fails, and every entry it gives is a name the listing really held
// on one line, never "." or "..".
#include <cstdint>
#include <string_view>

#include "updater/ftp_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto& entry : tevalo::updater::ParseListing(text)) {
    if (entry.name.empty() || entry.name == "." || entry.name == "..") __builtin_trap();
    if (entry.name.find('\n') != std::string::npos || text.find(entry.name) == std::string_view::npos)
      __builtin_trap();
  }
  return 0;
}
