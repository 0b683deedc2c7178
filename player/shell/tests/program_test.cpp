// The real program, started as users and the updater start it: one instance, the hand-over of a
// second start's argument, the version events, and "+x".
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/kernel/sync.h"
#include "platform/window/window.h"

namespace {

namespace fs = std::filesystem;

struct App : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "shell_program_test";
    static char* argv[] = {name, nullptr};
    app = new QCoreApplication(argc, argv);
  }
  void TearDown() override { delete app; }
  QCoreApplication* app = nullptr;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new App);

constexpr int kWaitMs = 90000;

// One started player, its log collected as it comes.
class Player {
 public:
  Player(const fs::path& folder, QStringList args = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tevalo.startup.info=true"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    // No installation values: "config.ini" goes to the working folder.
    env.insert(QStringLiteral("TEVALO_REGISTRY"), QString::fromStdString((folder / "no-registry").string()));
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(QString::fromStdString(folder.string()));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    const char* bin = std::getenv("TEVALO_BINARY_DIR");
    m_process.start(QString::fromStdString((fs::path(bin ? bin : ".") / "bin" / "tevalo").string()), args);
  }
  ~Player() {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.kill();
      m_process.waitForFinished(kWaitMs);
    }
  }
  const QString& Log() {
    m_log += QString::fromUtf8(m_process.readAll());
    return m_log;
  }
  // Waits for a line holding `text`; bounded, and false as soon as the process ended without it.
  bool WaitFor(const QString& text) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!Log().contains(text)) {
      if (m_process.state() == QProcess::NotRunning || std::chrono::steady_clock::now() >= end) {
        return Log().contains(text);
      }
      m_process.waitForReadyRead(50);
    }
    return true;
  }
  bool Finish(int* exitCode) {
    if (!m_process.waitForFinished(kWaitMs)) return false;
    Log();
    *exitCode = m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    return true;
  }
  void Terminate() { m_process.terminate(); }  // SIGTERM, as Ctrl-C or a session's end sends
  void Kill() {
    m_process.kill();
    m_process.waitForFinished(kWaitMs);
  }

 private:
  QProcess m_process;
  QString m_log;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("tevalo-program-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    // A stored area: a first start would wait for the area dialog.
    std::ofstream(folder / "config.ini") << "[SETUP]\nAREA_NUM=7\n";
  }
  void TearDown() override { fs::remove_all(folder); }
  // Closes the running player as the updater does and waits for it to end.
  void Close(Player& player) {
    tevalo::win::HWND hwnd = tevalo::win::FindWindowW(nullptr, u"Tevalo");
    ASSERT_NE(hwnd, nullptr);
    tevalo::win::PostMessageW(hwnd, tevalo::win::WM_CLOSE, 0, 0);
    int code = -2;
    ASSERT_TRUE(player.Finish(&code));
    EXPECT_EQ(code, 0) << player.Log().toStdString();
  }
  int RunToEnd(const QStringList& args, QString* log = nullptr) {
    Player p(folder, args);
    int code = -2;
    EXPECT_TRUE(p.Finish(&code));
    if (log) *log = p.Log();
    return code;
  }
  fs::path folder;
};

TEST_F(ProgramTest, ASecondStartRestoresTheFirstAndHandsOverItsPath) {
  Player first(folder);
  ASSERT_TRUE(first.WaitFor(QStringLiteral("window shown"))) << first.Log().toStdString();
  EXPECT_EQ(RunToEnd({}), 0);
  ASSERT_TRUE(first.WaitFor(QStringLiteral("restored")));
  EXPECT_EQ(RunToEnd({QStringLiteral("/tmp/abc.pl")}), 0);
  ASSERT_TRUE(first.WaitFor(QStringLiteral("iEPG file: \"/tmp/abc.pl\""))) << first.Log().toStdString();
  EXPECT_EQ(first.Log().count(QStringLiteral("iEPG file")), 1);  // the plain restore sent none
  Close(first);
  std::ifstream config(folder / "config.ini");
  const std::string written((std::istreambuf_iterator<char>(config)), std::istreambuf_iterator<char>());
  EXPECT_NE(written.find("VOLUME_POS"), std::string::npos) << written;
}

TEST_F(ProgramTest, AStartDuringTheFirstOnesSplashKeepsItsArgument) {
  Player first(folder);
  ASSERT_TRUE(first.WaitFor(QStringLiteral("splash")));
  EXPECT_EQ(RunToEnd({QStringLiteral("/tmp/abc.pl")}), 0);
  ASSERT_TRUE(first.WaitFor(QStringLiteral("iEPG file: \"/tmp/abc.pl\""))) << first.Log().toStdString();
  Close(first);
}

TEST_F(ProgramTest, AfterAKilledFirstInstanceTheNextStartIsFirst) {
  {
    Player first(folder);
    ASSERT_TRUE(first.WaitFor(QStringLiteral("window shown")));
    first.Kill();
  }
  Player next(folder);
  ASSERT_TRUE(next.WaitFor(QStringLiteral("window shown"))) << next.Log().toStdString();
  Close(next);
}

// A signal closes the player through its close steps, also while start-up waits on the area dialog,
// so the settings are written and the process ends normally.
TEST_F(ProgramTest, SignalsCloseThePlayerAndKeepItsSettings) {
  struct Case {
    bool firstStart;
    const char* waitFor;
  };
  for (const Case& c : {Case{false, "window shown"}, Case{true, "asking for the area"}}) {
    SCOPED_TRACE(c.waitFor);
    if (c.firstStart) fs::remove(folder / "config.ini");
    Player player(folder);
    ASSERT_TRUE(player.WaitFor(QString::fromLatin1(c.waitFor))) << player.Log().toStdString();
    player.Terminate();
    int code = -2;
    ASSERT_TRUE(player.Finish(&code));
    EXPECT_EQ(code, 0) << player.Log().toStdString();
    std::ifstream config(folder / "config.ini");
    const std::string written((std::istreambuf_iterator<char>(config)), std::istreambuf_iterator<char>());
    EXPECT_NE(written.find("VOLUME_POS"), std::string::npos) << written;
  }
}

TEST_F(ProgramTest, VersionEvents) {
  // A newer version being installed: the player ends at once, without a window.
  tvk::Handle oldVersion = tvk::CreateEvent(false, false, "OLD_VERSION_EVENT");
  ASSERT_TRUE(oldVersion);
  ASSERT_TRUE(tvk::SetEvent(oldVersion));
  QString log;
  EXPECT_EQ(RunToEnd({}, &log), 0);
  EXPECT_TRUE(log.contains(QStringLiteral("newer version"))) << log.toStdString();
  EXPECT_FALSE(log.contains(QStringLiteral("window registered")));
  // A version just installed: the splash, then the player as usual.
  tvk::Handle recent = tvk::CreateEvent(false, false, "RECENT_VERSION_EVENT");
  ASSERT_TRUE(tvk::SetEvent(recent));
  Player player(folder);
  ASSERT_TRUE(player.WaitFor(QStringLiteral("window shown"))) << player.Log().toStdString();
  EXPECT_TRUE(player.Log().contains(QStringLiteral("splash")));
  Close(player);
}

TEST_F(ProgramTest, ExitArgumentEndsWithoutWritingAnything) {
  fs::remove(folder / "config.ini");
  QString log;
  EXPECT_EQ(RunToEnd({QStringLiteral("+x")}, &log), 0);
  EXPECT_FALSE(log.contains(QStringLiteral("window registered"))) << log.toStdString();
  EXPECT_TRUE(fs::is_empty(folder));
}

}  // namespace
