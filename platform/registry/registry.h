// Read access to the installation's settings store (see store.h for the file), shaped like the Windows
// registry calls the programs make, plus the lookups of the media graph's source registrations.
// Every open takes a snapshot of the file; nothing here writes it (tevalo-regwrite does).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tevalo::registry {

using HKEY = struct OpenKey*;
inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t{0x80000000});
inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001});
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});

constexpr int32_t ERROR_SUCCESS = 0;
constexpr int32_t ERROR_FILE_NOT_FOUND = 2;
constexpr int32_t ERROR_ACCESS_DENIED = 5;
constexpr int32_t ERROR_INVALID_HANDLE = 6;
constexpr int32_t ERROR_INVALID_PARAMETER = 87;
constexpr int32_t ERROR_MORE_DATA = 234;

constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_DWORD = 4;

constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr uint32_t KEY_SET_VALUE = 0x0002;
constexpr uint32_t KEY_READ = 0x20019;
constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

// The key that installation fills with "rec_Dir", "User_Dir", "Install_Dir" and "Version".
inline constexpr char16_t kTevaloKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo";
// Value name of a source registration under HKCR\<protocol> or HKCR\Media Type\Extensions\<.ext>.
inline constexpr char16_t kSourceFilterValue[] = u"Source Filter";
inline constexpr char16_t kExtensionsKey[] = u"HKEY_CLASSES_ROOT\\Media Type\\Extensions";

// Any access mask opens an existing key (the store is read-only, so write access is simply not
// used); ERROR_FILE_NOT_FOUND when the key does not exist.
int32_t RegOpenKeyExW(HKEY root, const char16_t* subKey, uint32_t options, uint32_t access, HKEY* result);
// As on Windows: *cbData in bytes, strings UTF-16 with their terminator; too small a buffer gives
// ERROR_MORE_DATA with the size needed in *cbData; a null `data` asks for the size only.
int32_t RegQueryValueExW(HKEY key, const char16_t* name, uint32_t* reserved, uint32_t* type, uint8_t* data,
                         uint32_t* cbData);
// The store is read-only: an existing value gives ERROR_ACCESS_DENIED, a missing one ERROR_FILE_NOT_FOUND.
int32_t RegDeleteValueW(HKEY key, const char16_t* name);
int32_t RegCloseKey(HKEY key);

// Convenient forms; keyPath as "HKEY_LOCAL_MACHINE\SOFTWARE\Tevalo" or "HKLM\SOFTWARE\Tevalo".
std::optional<std::u16string> ReadString(std::u16string_view keyPath, std::u16string_view name);
std::optional<uint32_t> ReadDword(std::u16string_view keyPath, std::u16string_view name);

// The element factory registered for a URL's protocol ("x-dmb://..." -> "x-dmb") or, for anything
// without one, for the file extension (".rec"); nullopt when nothing is registered.
std::optional<std::string> FindSourceElement(std::u16string_view urlOrPath);

}  // namespace tevalo::registry
