// Last-error codes of failed kernel calls, kept per thread like the Windows ones.
#pragma once

#include <cstdint>

namespace tvk {

inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERROR_INVALID_NAME = 123;
inline constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr uint32_t ERROR_NOT_OWNER = 288;
inline constexpr uint32_t ERROR_TOO_MANY_POSTS = 298;
inline constexpr uint32_t ERROR_TIMEOUT = 1460;

// The code of the calling thread's last failed call. Successful creates set ERROR_SUCCESS or
// ERROR_ALREADY_EXISTS (the object existed and was opened instead).
uint32_t GetLastError();
void SetLastError(uint32_t code);

}  // namespace tvk
