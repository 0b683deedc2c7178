// EUC-JP to UTF-16 as the platform's code page 20932 converts it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace aribtext {

// Decodes at most maxChars characters. Single bytes 0x00..0x7F and the C1 bytes 0x80..0xA0 (other than
// a valid 0x8E/0x8F sequence) come out as the same code point; rows 0xF5..0xFE map to the private-use
// area from U+E000, 94 characters a row; a well-formed pair without a character, and a stray byte,
// give U+30FB; a lead byte cut off at the end gives nothing.
std::u16string DecodeEucJp(const uint8_t* data, size_t size, size_t maxChars);

}  // namespace aribtext
