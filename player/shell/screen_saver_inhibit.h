// Keeps the desktop's screen saver and monitor power-saving away while the player runs, through the
// session bus's org.freedesktop.ScreenSaver. The user's own settings are never changed; without a
// session bus (or the service) nothing happens.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

class CScreenSaverInhibitor : public QObject {
  Q_OBJECT
 public:
  explicit CScreenSaverInhibitor(QDBusConnection bus = QDBusConnection::sessionBus(),
                                 QObject* parent = nullptr);
  ~CScreenSaverInhibitor() override;

  // Asks for the inhibit without waiting for the answer; GUI thread.
  void Inhibit(const QString& reason);
  // Hands the inhibit back (waits for an answer still on its way, then releases it).
  void Release();
  bool IsInhibited() const { return m_cookie.has_value(); }

 private:
  QDBusConnection m_bus;
  class QDBusPendingCallWatcher* m_pending = nullptr;
  std::optional<uint32_t> m_cookie;
};
