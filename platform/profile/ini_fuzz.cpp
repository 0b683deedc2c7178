// Any bytes: parsing never fails, writing back an unedited file gives the same bytes, and an edit
// reads back after a round trip through the file form.
#include <cstdint>
#include <string_view>

#include "platform/profile/ini_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tevalo::profile::IniDocument;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  IniDocument doc = IniDocument::Parse(bytes);
  const bool utf16 = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
  if (!utf16 && doc.Serialize() != bytes) __builtin_trap();
  doc.Get("SETUP", "VOLUME_POS");
  doc.Keys("SETUP");
  if (!doc.Set("SETUP", "VOLUME_POS", "450")) __builtin_trap();
  const IniDocument again = IniDocument::Parse(doc.Serialize());
  const auto v = again.Get("setup", "volume_pos");
  if (!v || *v != "450") __builtin_trap();
  return 0;
}
