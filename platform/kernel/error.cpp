#include "platform/kernel/error.h"

namespace tvk {
namespace {
thread_local uint32_t t_lastError = ERROR_SUCCESS;
}

uint32_t GetLastError() { return t_lastError; }
void SetLastError(uint32_t code) { t_lastError = code; }

}  // namespace tvk
