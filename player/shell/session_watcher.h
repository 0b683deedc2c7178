// Suspend, resume and session unlock from logind on the system bus: PrepareForSleep(true/false) of
// the manager and Unlock of this process's session. Where no system bus (or no logind) exists the
// watcher does nothing. Callbacks run on the thread that made the watcher (the GUI thread).
#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <functional>

namespace tevalo::shell {

class CSessionWatcher : public QObject {
  Q_OBJECT
 public:
  struct Callbacks {
    std::function<void()> suspend;
    std::function<void()> resume;
    std::function<void()> unlock;
  };

  explicit CSessionWatcher(Callbacks callbacks, QObject* parent = nullptr);
  ~CSessionWatcher() override;

  // True once connected to the bus (the signals may still never come).
  bool Connected() const { return m_connected; }
  // This process's session object, once logind told it; empty before or without one.
  QString SessionPath() const { return m_sessionPath; }

 private slots:
  void OnPrepareForSleep(bool start);
  void OnUnlock();
  void OnSessionFound(const QDBusMessage& reply);

 private:
  Callbacks m_cb;
  bool m_connected = false;
  QString m_sessionPath;
};

}  // namespace tevalo::shell
