// UTF-8 <-> UTF-16 conversion for file contents and file names. Invalid input never throws: an
// unpaired surrogate or a malformed byte sequence becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace tevalo::text {

std::string ToUtf8(std::u16string_view s);
std::u16string ToUtf16(std::string_view utf8);

// ASCII-only case folding, as the settings stores match names (key paths, value names, sections, keys).
char16_t FoldAscii(char16_t c);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
std::u16string LowerAscii(std::u16string_view s);

}  // namespace tevalo::text
