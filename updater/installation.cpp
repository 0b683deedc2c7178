#include "updater/installation.h"

#include "platform/kernel/error.h"
#include "platform/kernel/instance_lock.h"
#include "platform/kernel/tick.h"
#include "platform/registry/registry.h"

namespace tevalo::updater {
namespace {

std::optional<QString> ReadText(std::u16string_view name) {
  const auto value = registry::ReadString(registry::kTevaloKey, name);
  if (!value) return std::nullopt;
  return QString::fromStdU16String(*value);
}

// A DWORD, or a string of digits as a hand-written store may hold it.
std::optional<uint32_t> ReadNumber(std::u16string_view name) {
  if (const auto number = registry::ReadDword(registry::kTevaloKey, name)) return number;
  const auto text = ReadText(name);
  if (!text) return std::nullopt;
  bool ok = false;
  const uint32_t number = text->trimmed().toUInt(&ok);
  return ok ? std::optional<uint32_t>(number) : std::nullopt;
}

}  // namespace

UpdateServer ReadUpdateServer() {
  UpdateServer server;
  server.host = ReadText(u"Update_Host").value_or(QString());
  if (server.host.isEmpty()) server.host = QString::fromLatin1(kDefaultUpdateHost);
  server.user = ReadText(u"Update_User").value_or(QString::fromLatin1(kDefaultUpdateUser));
  server.password = QString::fromLatin1(kUpdatePassword);
  if (const auto port = ReadNumber(u"Update_Port"); port && *port > 0 && *port <= 65535)
    server.port = static_cast<uint16_t>(*port);
  server.passive = ReadNumber(u"Update_Passive").value_or(0) != 0;
  return server;
}

std::optional<QString> ReadInstallDir() {
  auto dir = ReadText(u"Install_Dir");
  if (!dir || dir->isEmpty()) return std::nullopt;
  return dir;
}

std::optional<QString> ReadInstalledVersion() { return ReadText(u"Version"); }

bool WaitForPlayerExit(uint32_t timeoutMs) {
  const uint32_t start = tvk::GetTickCount32();
  for (;;) {
    tvk::SingleInstanceLock lock(kPlayerInstanceLock);
    if (lock.Acquired()) return true;  // released at once by the destructor
    if (lock.LastError() != tvk::ERROR_ALREADY_EXISTS) return false;
    if (tvk::GetTickCount32() - start >= timeoutMs) return false;
    tvk::SleepMs(50);
  }
}

}  // namespace tevalo::updater
