// Input: a string in the ARIB 8-bit coding, then read again as EUC-JP caption text.
#include <cstdint>

#include "arib_string.h"
#include "euc_jp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string a = aribtext::DecodeAribString(data, size, 511);
  const std::u16string b = aribtext::DecodeEucJp(data, size, 512);
  if (a.size() > 511 || b.size() > 512) __builtin_trap();
  return 0;
}
