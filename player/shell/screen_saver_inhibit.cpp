#include "player/shell/screen_saver_inhibit.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {
const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");
}  // namespace

CScreenSaverInhibitor::CScreenSaverInhibitor(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

CScreenSaverInhibitor::~CScreenSaverInhibitor() { Release(); }

void CScreenSaverInhibitor::Inhibit(const QString& reason) {
  if (m_pending || m_cookie || !m_bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
  call << QStringLiteral("Tevalo") << reason;
  // Never waits on the GUI thread: the answer arrives as an event.
  m_pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
  connect(m_pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    QDBusPendingReply<uint32_t> reply = *w;
    if (!reply.isError()) m_cookie = reply.value();
    w->deleteLater();
    if (m_pending == w) m_pending = nullptr;
  });
}

void CScreenSaverInhibitor::Release() {
  if (m_pending) {
    m_pending->waitForFinished();
    QDBusPendingReply<uint32_t> reply = *m_pending;
    if (!reply.isError()) m_cookie = reply.value();
    m_pending->disconnect(this);
    m_pending->deleteLater();
    m_pending = nullptr;
  }
  if (!m_cookie) return;
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("UnInhibit"));
  call << *m_cookie;
  m_cookie.reset();
  // Fire and forget: the service drops the inhibit with our connection anyway.
  m_bus.send(call);
}
