// Profile strings (INI files) with the semantics of the Windows calls: sections and keys match without
// regard to case, the first match wins, defaults when missing, results cut to the caller's buffer,
// writes replace in place or append and keep every other line, the file is created on first write.
// Files are read as UTF-8, or UTF-16LE with a BOM, and always written as UTF-8. Every write reaches
// the disk before the call returns, replaces the file atomically and is serialised with the other
// writes to the same path in this process, so the next read anywhere sees it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile/ini_document.h"

namespace tevalo::profile {

// Buffer calls, shaped as callers written for the Windows API use them (null-terminated strings).
//
// GetPrivateProfileStringW: copies the value (or `def`, "" when null, trailing blanks removed) into
// `buf` and returns the characters copied without the terminator; a value that does not fit is cut
// to size - 1 characters. A null `key` lists the section's keys, a null `section` the section names,
// each terminated, the list ending in an extra terminator; a list that does not fit is cut and
// size - 2 returned.
uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* def,
                                  char16_t* buf, uint32_t size, const char16_t* file);

// The value as a number read like _wtoi (text that is no number reads as 0), `def` when the key is
// missing. Returned as the unsigned bit pattern, as the Windows call does.
uint32_t GetPrivateProfileIntW(const char16_t* section, const char16_t* key, int32_t def,
                               const char16_t* file);

// Sets section/key = value. A null `value` removes the key, a null `key` the whole section. False
// when the file cannot be read or written (the file on disk is then unchanged).
bool WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const char16_t* file);

// Convenient forms.
std::optional<std::u16string> ReadValue(std::u16string_view file, std::u16string_view section,
                                        std::u16string_view key);
std::u16string ReadString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                          std::u16string_view def = {});
int32_t ReadInt(std::u16string_view file, std::u16string_view section, std::u16string_view key, int32_t def);
bool WriteString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                 std::u16string_view value);
bool DeleteKey(std::u16string_view file, std::u16string_view section, std::u16string_view key);
bool DeleteSection(std::u16string_view file, std::u16string_view section);
std::vector<std::u16string> SectionNames(std::u16string_view file);
std::vector<std::u16string> KeyNames(std::u16string_view file, std::u16string_view section);

// The whole file in one read, for callers that look up many keys (empty when missing or unreadable).
IniDocument ReadDocument(std::u16string_view file);
// Many edits in one write: `edit` changes the document and returns false to write nothing. False
// when the file cannot be read or written (the file on disk is then unchanged).
bool EditDocument(std::u16string_view file, const std::function<bool(IniDocument&)>& edit);

// _wtoi: leading blanks, an optional sign, decimal digits up to the first other character; 0 when
// there are none; clamped to the int32 range.
int32_t Wtoi(std::u16string_view text);

}  // namespace tevalo::profile
