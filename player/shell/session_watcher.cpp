#include "player/shell/session_watcher.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusObjectPath>

namespace tevalo::shell {

namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
}  // namespace

CSessionWatcher::CSessionWatcher(Callbacks callbacks, QObject* parent)
    : QObject(parent), m_cb(std::move(callbacks)) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  m_connected = bus.connect(kService, kManagerPath, kManager, QStringLiteral("PrepareForSleep"), this,
                            SLOT(OnPrepareForSleep(bool)));
  // Asked without waiting: the GUI thread never blocks on the bus.
  QDBusMessage ask =
      QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetSessionByPID"));
  ask << static_cast<uint>(getpid());
  bus.callWithCallback(ask, this, SLOT(OnSessionFound(QDBusMessage)));
}

CSessionWatcher::~CSessionWatcher() = default;

void CSessionWatcher::OnSessionFound(const QDBusMessage& reply) {
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return;
  m_sessionPath = qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path();
  if (m_sessionPath.isEmpty()) return;
  QDBusConnection::systemBus().connect(kService, m_sessionPath, kSession, QStringLiteral("Unlock"), this,
                                       SLOT(OnUnlock()));
}

void CSessionWatcher::OnPrepareForSleep(bool start) {
  if (start) {
    if (m_cb.suspend) m_cb.suspend();
  } else if (m_cb.resume) {
    m_cb.resume();
  }
}

void CSessionWatcher::OnUnlock() {
  if (m_cb.unlock) m_cb.unlock();
}

}  // namespace tevalo::shell
