// The main window's settings, its window messages, the About and splash window, the screen-saver
// inhibit on a private session bus, and the pictures users see at start.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <fstream>
#include <set>

#include "platform/profile/profile.h"
#include "platform/window/window.h"
#include "player/panels/about_dlg.h"
#include "player/panels/blink_label.h"
#include "player/panels/playback_panel.h"
#include "player/panels/playlist_wnd.h"
#include "player/panels/skin_slider.h"
#include "player/panels/ticker_static.h"
#include "player/shell/screen_saver_inhibit.h"
#include "player/shell/window_features.h"
#include "window_harness.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new GuiApp);

std::filesystem::path ScreenshotFolder() { return ScreenshotDir("startup"); }

std::u16string Setting(WindowUnderTest& w, const char16_t* section, const char16_t* key) {
  return profile::ReadString(w.options.core.configPath, section, key, u"(none)");
}

TEST(PlayerWindowSettings, WithoutConfigTheFirstStartAsksForTheAreaAndSavesDefaults) {
  WindowUnderTest w("tevalo-first");
  CPlayerDlg& dlg = w.Make();
  ASSERT_TRUE(dlg.OnInitDialog());
  EXPECT_EQ(dlg.Settings().volume, 900);
  EXPECT_EQ(dlg.Settings().muted, 0);
  EXPECT_EQ(dlg.Settings().StartView(), 0);
  EXPECT_EQ(dlg.VolumeSlider()->GetPos(), 900);
  EXPECT_EQ(dlg.m_bAreaChosen, 1);
  EXPECT_FALSE(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
  const auto log = w.Log();
  EXPECT_NE(Position(log, "hook:askArea 7"), -1);
  dlg.OnClose();
  EXPECT_EQ(Setting(w, u"SETUP", u"AREA_NUM"), u"7");
  EXPECT_EQ(Setting(w, u"SETUP", u"VOLUME_POS"), u"900");
  EXPECT_EQ(Setting(w, u"SETUP", u"MUTE"), u"0");
}

TEST(PlayerWindowSettings, AStoredAreaIsSearchedWithoutAsking) {
  WindowUnderTest w("tevalo-area");
  std::ofstream(w.folder / "config.ini") << "[SETUP]\nAREA_NUM=13\nALWAYS=1\n";
  CPlayerDlg& dlg = w.Make();
  ASSERT_TRUE(dlg.OnInitDialog());
  const auto log = w.Log();
  EXPECT_EQ(Position(log, "hook:askArea 7"), -1);
  EXPECT_NE(Position(log, "hook:list 13"), -1);
  EXPECT_EQ(dlg.Settings().areaIndex, 13);
  EXPECT_EQ(dlg.m_bAreaChosen, 0);
  EXPECT_TRUE(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
  dlg.OnClose();
}

TEST(PlayerWindowSettings, ClosingMutedSavesThePositionBeforeMuting) {
  WindowUnderTest w("tevalo-mute");
  std::ofstream(w.folder / "config.ini") << "[SETUP]\nAREA_NUM=2\nVOLUME_POS=500\n";
  CPlayerDlg& dlg = w.Make();
  ASSERT_TRUE(dlg.OnInitDialog());
  EXPECT_EQ(dlg.m_nSavedVolume, 500);
  dlg.Settings().muted = 1;  // what the mute command does
  dlg.Settings().volume = 0;
  dlg.OnClose();
  EXPECT_EQ(Setting(w, u"SETUP", u"VOLUME_POS"), u"500");
  EXPECT_EQ(Setting(w, u"SETUP", u"MUTE"), u"1");
}

TEST(PlayerWindowMessages, CodeSixteenReachesTheIepgReaderOnlyWhenWellFormed) {
  WindowUnderTest w("tevalo-code16");
  CPlayerDlg& dlg = w.Make();
  ASSERT_TRUE(dlg.OnInitDialog());
  win::HWND hwnd = win::FindWindowW(nullptr, u"Tevalo");
  ASSERT_EQ(hwnd, dlg.WindowHandle());
  const auto payload = EncodeCopyDataText(u"/tmp/abc.pl");
  struct Case {
    uint32_t size;
    bool delivered;
  } cases[] = {{24, true}, {23, false}, {0, false}, {10, true}};
  for (const Case& c : cases) {
    const size_t before = w.Log().size();
    win::COPYDATASTRUCT data{16, c.size, const_cast<uint8_t*>(payload.data())};
    win::SendMessageW(hwnd, win::WM_COPYDATA, 0, reinterpret_cast<win::LPARAM>(&data));
    const auto log = w.Log();
    const bool delivered = log.size() > before && log.back().rfind("hook:iepg", 0) == 0;
    EXPECT_EQ(delivered, c.delivered) << c.size;
    if (c.size == 10 && delivered) {
      EXPECT_EQ(log.back(), "hook:iepg /tmp/");
    }
  }
  dlg.OnClose();
}

TEST(PlayerWindowMessages, RestoreBringsTheWindowBackAndCloseEndsIt) {
  WindowUnderTest w("tevalo-restore");
  CPlayerDlg& dlg = w.Make();
  ASSERT_TRUE(dlg.OnInitDialog());
  dlg.showMinimized();
  ASSERT_TRUE(PumpUntil([&] { return dlg.isMinimized(); }));
  win::PostMessageW(dlg.WindowHandle(), win::WM_SYSCOMMAND, win::SC_RESTORE, 0);
  ASSERT_TRUE(PumpUntil([&] { return !dlg.isMinimized() && dlg.isVisible(); }));
  win::PostMessageW(dlg.WindowHandle(), win::WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return Position(w.Log(), "EndClose") >= 0; }));
  EXPECT_FALSE(dlg.isVisible());
}

TEST(PlayerWindowWiring, EveryCommandWithATargetReachesIt) {
  WindowUnderTest w("tevalo-wiring");
  CPlayerDlg& dlg = w.Make();
  AttachWindowFeatures(dlg);
  // Rows whose targets (the programme list, settings, help) are other
  // windows not built yet.
  const std::set<CommandId> notYet = {1071,  1076,  32802, 32803, 32804, 32808, 32812,
                                      32815, 32816, 32817, 32818, 32834, 32872, 32885};
  for (CommandId id : kMainWindowCommandIds)
    EXPECT_EQ(dlg.Commands().HasHandler(id), notYet.count(id) == 0) << id;
}

TEST(PlayerWindowWiring, KeysAndCloseGoThroughTheWindowLogic) {
  WindowUnderTest w("tevalo-keys");
  std::ofstream(w.folder / "config.ini") << "[SETUP]\nAREA_NUM=7\n";
  CPlayerDlg& dlg = w.Make();
  AttachWindowFeatures(dlg);
  ASSERT_TRUE(dlg.OnInitDialog());
  ASSERT_TRUE(PumpUntil([&] { return dlg.isVisible(); }));
  const int volume = dlg.Settings().volume;
  ASSERT_GT(volume, 0);
  QTest::keyClick(&dlg, Qt::Key_Down, Qt::ControlModifier);  // volume down
  EXPECT_EQ(dlg.Settings().volume, volume - kVolumeStep);
  // Not recording: the close button asks nothing and ends the window.
  EXPECT_EQ(dlg.OnCommand(1042), DispatchResult::Handled);
  ASSERT_TRUE(PumpUntil([&] { return Position(w.Log(), "EndClose") >= 0; }));
  EXPECT_TRUE(w.prompter.Asked().empty());
}

TEST(PlayerWindowWiring, ThePanelsComeAtTheirStepAndGoWithThePanels) {
  WindowUnderTest w("tevalo-playlist");
  std::ofstream(w.folder / "config.ini") << "[SETUP]\nAREA_NUM=7\n";
  CPlayerDlg& dlg = w.Make();
  AttachWindowFeatures(dlg);
  ASSERT_TRUE(dlg.OnInitDialog());
  auto* playlist = dlg.findChild<CPlaylistWnd*>();
  ASSERT_NE(playlist, nullptr);
  EXPECT_FALSE(playlist->IsShown());
  dlg.Core().GetHooks().togglePlaylist();
  ASSERT_TRUE(PumpUntil([&] { return playlist->isVisible(); }));
  EXPECT_TRUE(playlist->IsShown());
  EXPECT_TRUE(playlist->grab().toImage().save(
      QString::fromStdString((ScreenshotFolder() / "playlist.png").string())));
  auto* panel = dlg.findChild<CPlaybackPanel*>();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(dlg.OnCommand(1071), DispatchResult::Routed);  // no target yet: nothing happens
  panel->ShowPanel(true);
  ASSERT_TRUE(PumpUntil([&] { return panel->isVisible(); }));
  // The table's close row reaches the shown panel.
  EXPECT_EQ(dlg.OnCommand(1089), DispatchResult::Handled);
  EXPECT_FALSE(panel->IsShown());
  dlg.OnClose();
  EXPECT_EQ(dlg.findChild<CPlaylistWnd*>(), nullptr);
  EXPECT_EQ(dlg.findChild<CPlaybackPanel*>(), nullptr);
}

TEST(PlayerWindowRecording, RecLightsOnlyWhileRecordsAreWritten) {
  WindowUnderTest w("tevalo-rec-writing");
  CPlayerDlg& dlg = w.Make();
  ASSERT_TRUE(dlg.OnInitDialog());
  ASSERT_TRUE(PumpUntil([&] { return dlg.isVisible(); }));
  const QString notWriting = QString::fromUtf16(kTextRecordNotWriting);
  dlg.ShowRecording(true);
  EXPECT_TRUE(dlg.RecordingIndicator()->isVisible());
  dlg.ShowRecordWriting(false);
  EXPECT_FALSE(dlg.RecordingIndicator()->isVisible());
  EXPECT_EQ(dlg.Strip(StripKind::kStatus)->State().Text(), notWriting);
  const QImage shot = dlg.grab().toImage();
  EXPECT_TRUE(shot.save(QString::fromStdString((ScreenshotFolder() / "record-not-writing.png").string())));
  // Stopping the recording takes the message away with it.
  dlg.ShowRecording(false);
  EXPECT_TRUE(dlg.Strip(StripKind::kStatus)->State().Text().isEmpty());
  EXPECT_FALSE(dlg.RecordingIndicator()->isVisible());
  dlg.OnClose();
}

TEST(PlayerWindowRecording, TheClockStartsAtZeroBesideTheBlinkingWord) {
  WindowUnderTest w("tevalo-rec-clock");
  std::ofstream(w.folder / "config.ini") << "[SETUP]\nAREA_NUM=7\n";  // no area dialog
  CPlayerDlg& dlg = w.Make();
  AttachWindowFeatures(dlg);
  ASSERT_TRUE(dlg.OnInitDialog());
  ASSERT_TRUE(PumpUntil([&] { return dlg.isVisible(); }));
  CBlinkLabel* label = dlg.RecordingIndicator();
  label->SetWindowText(QStringLiteral("00:12:34"));  // what a previous recording left
  dlg.ShowRecording(true);
  EXPECT_EQ(label->GetWindowText(), QStringLiteral("00:00:00"));
  EXPECT_TRUE(label->isVisible());
  // Without a recording the clock's tick shows zero and stops itself.
  label->SetWindowText(QStringLiteral("00:00:07"));
  dlg.Core().Timers().SetTimer(TimerId::kRecordingClock, 1000);
  w.clock.Advance(1000);
  EXPECT_EQ(label->GetWindowText(), QStringLiteral("00:00:00"));
  EXPECT_FALSE(dlg.Core().Timers().IsArmed(TimerId::kRecordingClock));
  label->OnTimer();  // the word's phase, then the clock's
  label->OnTimer();
  const QImage shot = dlg.grab().toImage();
  EXPECT_TRUE(shot.save(QString::fromStdString((ScreenshotFolder() / "record-clock.png").string())));
  dlg.OnClose();
}

TEST(PlayerWindowRecording, TheFreeSpaceCheckReadsTheRecordingFolder) {
  struct Case {
    std::optional<uint64_t> free;
    bool enough;
    bool said;
  };
  const Case cases[] = {
      {200ull * 1024 * 1024, false, true},
      {200ull * 1024 * 1024 + 1024 * 1024, true, false},
      {std::nullopt, false, false},
  };
  for (const Case& c : cases) {
    WindowUnderTest w("tevalo-rec-space");
    std::ofstream(w.folder / "config.ini") << "[SETUP]\nAREA_NUM=7\n";
    std::vector<std::string> asked;
    w.options.core.freeSpace = [&](const std::string& folder) {
      asked.push_back(folder);
      return c.free;
    };
    CPlayerDlg& dlg = w.Make();
    AttachWindowFeatures(dlg);
    ASSERT_TRUE(dlg.OnInitDialog());
    EXPECT_EQ(dlg.Core().RecordingFolderHasSpace(), c.enough);
    EXPECT_EQ(asked.size(), 1u);
    const QString diskFull = QString::fromUtf16(kTextDiskFull);
    EXPECT_TRUE(
        PumpUntil([&] { return (dlg.Strip(StripKind::kStatus)->State().Text() == diskFull) == c.said; }));
    dlg.OnClose();
  }
}

TEST(PlayerWindowStrips, OnlyTheProgrammeTextScrollsAndTimedTextsExpire) {
  WindowUnderTest w("tevalo-strips");
  CPlayerDlg& dlg = w.Make();
  ASSERT_TRUE(dlg.OnInitDialog());
  ASSERT_TRUE(PumpUntil([&] { return dlg.isVisible(); }));
  struct Case {
    StripKind kind;
    int ticks;
    bool scrolls;
  };
  const Case cases[] = {
      {StripKind::kChannel, kStripUntilReplaced, false},
      {StripKind::kProgramme, kStripUntilReplaced, true},
      {StripKind::kStatus, 100, false},
  };
  const std::u16string text = u"ニュース７　今日の出来事と明日の天気、全国の気象情報をお伝えします";
  for (const Case& c : cases) {
    CTickerStatic* strip = dlg.Strip(c.kind);
    dlg.SetStripText(c.kind, text, c.ticks);
    EXPECT_TRUE(strip->TimerArmed());
    EXPECT_EQ(strip->State().Scrolling(), c.scrolls);
    EXPECT_EQ(strip->State().TextLeft(), 0);
    for (int i = 0; i < 100; ++i) strip->OnTimer();
    EXPECT_EQ(strip->State().TextLeft(), c.scrolls ? -100 : 0);
    EXPECT_EQ(strip->State().Text(), QString::fromStdU16String(text));
    strip->OnTimer();  // the 101st tick ends a text given 100
    EXPECT_EQ(strip->State().Text().isEmpty(), c.ticks == 100);
  }
  dlg.SetStripText(StripKind::kProgramme, text, kStripUntilReplaced);
  for (int i = 0; i < 60; ++i) dlg.Strip(StripKind::kProgramme)->OnTimer();
  const QImage shot = dlg.grab().toImage();
  EXPECT_TRUE(shot.save(QString::fromStdString((ScreenshotFolder() / "programme-scrolled.png").string())));
  dlg.OnClose();
}

TEST(PlayerWindowPictures, TheMainWindowAtStart) {
  WindowUnderTest w("tevalo-picture");
  CPlayerDlg& dlg = w.Make();
  ASSERT_TRUE(dlg.OnInitDialog());
  EXPECT_EQ(dlg.size(), QSize(346, 380));
  ASSERT_TRUE(PumpUntil([&] { return dlg.isVisible(); }));
  for (int id : {1049, 1046, 1047, 1048, 1104, 1060, 1064, 1039, 1042, 1078})
    EXPECT_NE(dlg.Control(id), nullptr) << id;
  const QImage shot = dlg.grab().toImage();
  ASSERT_FALSE(shot.isNull());
  EXPECT_TRUE(shot.save(QString::fromStdString((ScreenshotFolder() / "main-start.png").string())));
  dlg.OnClose();
}

TEST(PlayerProgram, WithoutInstallationValuesItSaysSoAndEnds) {
  const char* bin = std::getenv("TEVALO_BINARY_DIR");
  ASSERT_NE(bin, nullptr);
  const auto runtime =
      std::filesystem::temp_directory_path() / ("tevalo-noinstall-" + std::to_string(::getpid()));
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  QProcess player;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("TEVALO_REGISTRY"), QString::fromStdString((runtime / "registry.ini").string()));
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.string()));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  player.setProcessEnvironment(env);
  player.setWorkingDirectory(QString::fromStdString(runtime.string()));
  player.start(QString::fromStdString((std::filesystem::path(bin) / "bin" / "tevalo").string()), {});
  ASSERT_TRUE(player.waitForStarted(60000));
  const bool ended = player.waitForFinished(120000);
  if (!ended) player.kill();
  ASSERT_TRUE(ended) << "the player kept running without its installation";
  EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(player.exitCode(), 1);
  const QString err = QString::fromUtf8(player.readAllStandardError());
  EXPECT_TRUE(err.contains(QStringLiteral("no installation values"))) << err.toStdString();
  EXPECT_TRUE(err.contains(QStringLiteral("tevalo-regwrite install"))) << err.toStdString();
  std::filesystem::remove_all(runtime);
}

TEST(AboutWindow, ShowsTheArtAndTheVersionLabelAndAClickClosesIt) {
  panels::CAboutDlg about;
  ASSERT_TRUE(about.OnInitDialog());
  about.show();
  ASSERT_TRUE(PumpUntil([&] { return about.isVisible(); }));
  EXPECT_EQ(about.size(), QSize(640, 360));
  EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(about.Version(), QString());  // no installation values here
  EXPECT_EQ(about.VersionLabel()->text(), QStringLiteral("v1.000"));
  EXPECT_EQ(about.VersionLabel()->geometry(), QRect(560, 20, 60, 20));
  const QImage shot = about.grab().toImage();
  ASSERT_FALSE(shot.isNull());
  // The art, not an empty window: more than a handful of colours.
  QSet<QRgb> colours;
  for (int y = 0; y < shot.height(); y += 7)
    for (int x = 0; x < shot.width(); x += 7) colours.insert(shot.pixel(x, y));
  EXPECT_GT(colours.size(), 16);
  EXPECT_TRUE(shot.save(QString::fromStdString((ScreenshotFolder() / "splash.png").string())));
  QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(300, 200));
  ASSERT_TRUE(PumpUntil([&] { return !about.isVisible(); }));
}

TEST(AboutWindow, AClickOnTheVersionLabelClosesItToo) {
  panels::CAboutDlg about;
  about.OnInitDialog();
  about.show();
  QTest::mouseClick(about.VersionLabel(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(PumpUntil([&] { return !about.isVisible(); }));
}

// ---- the screen saver ----

class FakeScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
 public:
  std::vector<std::string> calls;
  uint32_t next = 41;
 public slots:
  uint Inhibit(const QString& application, const QString& reason) {
    calls.push_back("Inhibit " + application.toStdString() + (reason.isEmpty() ? "" : " +reason"));
    return ++next;
  }
  void UnInhibit(uint cookie) { calls.push_back("UnInhibit " + std::to_string(cookie)); }
};

TEST(ScreenSaver, TheSessionServiceSeesInhibitThenUnInhibit) {
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                               QStringLiteral("--print-address=1")});
  ASSERT_TRUE(daemon.waitForStarted(30000));
  QString address;
  ASSERT_TRUE(PumpUntil(
      [&] {
        daemon.waitForReadyRead(10);
        address += QString::fromUtf8(daemon.readAllStandardOutput());
        return address.contains(QLatin1Char('\n'));
      },
      30000));
  address = address.trimmed();

  FakeScreenSaver service;
  QDBusConnection serviceBus = QDBusConnection::connectToBus(address, QStringLiteral("service"));
  ASSERT_TRUE(serviceBus.isConnected());
  ASSERT_TRUE(serviceBus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
  ASSERT_TRUE(serviceBus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &service,
                                        QDBusConnection::ExportAllSlots));
  {
    CScreenSaverInhibitor inhibitor(QDBusConnection::connectToBus(address, QStringLiteral("player")));
    inhibitor.Inhibit(QStringLiteral("Watching television"));
    ASSERT_TRUE(PumpUntil([&] { return inhibitor.IsInhibited(); }));
    EXPECT_EQ(service.calls, (std::vector<std::string>{"Inhibit Tevalo +reason"}));
    inhibitor.Release();
    EXPECT_FALSE(inhibitor.IsInhibited());
    ASSERT_TRUE(PumpUntil([&] { return service.calls.size() == 2; }));
    EXPECT_EQ(service.calls[1], "UnInhibit 42");
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("player"));
  QDBusConnection::disconnectFromBus(QStringLiteral("service"));
  daemon.terminate();
  daemon.waitForFinished(30000);
}

TEST(ScreenSaver, WithoutABusNothingHappens) {
  CScreenSaverInhibitor inhibitor(
      QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nobus")));
  inhibitor.Inhibit(QStringLiteral("x"));
  EXPECT_FALSE(inhibitor.IsInhibited());
  inhibitor.Release();
  QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));
}

}  // namespace
}  // namespace tevalo::shell::test

#include "player_window_test.moc"
