// The session watcher against a fake logind on a private bus this test starts (dbus-daemon), named
// as the system bus through DBUS_SYSTEM_BUS_ADDRESS; and, in a second run, with no bus at all.
#include "player/shell/session_watcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>

namespace tevalo::shell {
namespace {

struct QtApp : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "shell_session_watcher_test";
    static char* argv[] = {name, nullptr};
    app = new QCoreApplication(argc, argv);
  }
  void TearDown() override { delete app; }
  QCoreApplication* app = nullptr;
};
[[maybe_unused]] const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtApp);

const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/_3");

bool PumpUntil(const std::function<bool()>& done) {
  QDeadlineTimer deadline(20000);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// logind's manager as far as the watcher asks it: the session of a process.
class FakeManager final : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QLatin1String("GetSessionByPID")) return false;
    connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(kSessionPath))));
    return true;
  }
};

struct Counts {
  int suspend = 0, resume = 0, unlock = 0;
  CSessionWatcher::Callbacks Callbacks() {
    return {[this] { ++suspend; }, [this] { ++resume; }, [this] { ++unlock; }};
  }
};

class FakeLogind : public ::testing::Test {
 protected:
  void SetUp() override {
    daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForStarted(20000));
    ASSERT_TRUE(PumpUntil([&] { return daemon.canReadLine(); }));
    address = QString::fromUtf8(daemon.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
    fake = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "fake-logind"));
    ASSERT_TRUE(fake->isConnected());
    ASSERT_TRUE(fake->registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &manager));
    ASSERT_TRUE(fake->registerService(QStringLiteral("org.freedesktop.login1")));
  }
  void TearDown() override {
    fake.reset();
    QDBusConnection::disconnectFromBus("fake-logind");
    daemon.kill();
    daemon.waitForFinished(20000);
  }
  void Emit(const QString& path, const QString& iface, const QString& name, QVariantList args = {}) {
    QDBusMessage signal = QDBusMessage::createSignal(path, iface, name);
    signal.setArguments(args);
    ASSERT_TRUE(fake->send(signal));
  }

  QProcess daemon;
  QString address;
  FakeManager manager;
  std::unique_ptr<QDBusConnection> fake;
};

TEST_F(FakeLogind, SleepWakeAndUnlockReachTheCallbacks) {
  Counts counts;
  CSessionWatcher watcher(counts.Callbacks());
  ASSERT_TRUE(watcher.Connected());
  ASSERT_TRUE(PumpUntil([&] { return watcher.SessionPath() == kSessionPath; }));
  const QString manager = QStringLiteral("org.freedesktop.login1.Manager");
  const QString session = QStringLiteral("org.freedesktop.login1.Session");
  Emit(QStringLiteral("/org/freedesktop/login1"), manager, "PrepareForSleep", {true});
  ASSERT_TRUE(PumpUntil([&] { return counts.suspend == 1; }));
  Emit(QStringLiteral("/org/freedesktop/login1"), manager, "PrepareForSleep", {false});
  ASSERT_TRUE(PumpUntil([&] { return counts.resume == 1; }));
  // Another session's unlock is not ours; signals of one sender arrive in order.
  Emit(QStringLiteral("/org/freedesktop/login1/session/_9"), session, "Unlock");
  Emit(kSessionPath, session, "Unlock");
  ASSERT_TRUE(PumpUntil([&] { return counts.unlock >= 1; }));
  Emit(QStringLiteral("/org/freedesktop/login1"), manager, "PrepareForSleep", {true});
  ASSERT_TRUE(PumpUntil([&] { return counts.suspend == 2; }));
  EXPECT_EQ(counts.unlock, 1);
  EXPECT_EQ(counts.resume, 1);
}

TEST(NoSystemBus, TheWatcherDoesNothing) {
  if (qgetenv("DBUS_SYSTEM_BUS_ADDRESS") != "unix:path=/nonexistent/tevalo-no-bus") GTEST_SKIP();
  Counts counts;
  CSessionWatcher watcher(counts.Callbacks());
  EXPECT_FALSE(watcher.Connected());
  QCoreApplication::processEvents();
  EXPECT_TRUE(watcher.SessionPath().isEmpty());
}

}  // namespace
}  // namespace tevalo::shell
