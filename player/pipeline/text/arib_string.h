// The ARIB 8-bit character coding of service names and event texts, decoded to UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace aribtext {

// Decodes one string (each string starts from the default sets: G0 Kanji, G1 alphanumeric,
// G2 hiragana, G3 katakana, GL = G0, GR = G2) into at most maxChars characters.
std::u16string DecodeAribString(const uint8_t* data, size_t size, size_t maxChars);

}  // namespace aribtext
