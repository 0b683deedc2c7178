// JIS row-cell code (0x2121..0x7E7E) to UTF-16.
#pragma once

#include <cstdint>

namespace aribtext {

// JIS X 0208 plus the ARIB additional symbols of rows 0x7A..0x7E; 0 when the code has no character.
char16_t JisX0208ToUnicode(uint16_t code);
// JIS X 0212 (the EUC-JP three-byte plane); 0 when the code has no character.
char16_t JisX0212ToUnicode(uint16_t code);

}  // namespace aribtext
