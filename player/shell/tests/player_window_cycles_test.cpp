// The main window's set-up and closing over fakes: the order of its steps and hooks, start
// arguments, and repeated start/close cycles that must leave no thread or window behind.
#include <gtest/gtest.h>

#include "platform/window/window.h"
#include "window_harness.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new GuiApp);

TEST(PlayerWindowOrder, SetUpAndClosingRunInOrder) {
  WindowUnderTest w("tevalo-order", {StartKind::kFile, u"/tmp/abc.pl"});
  CPlayerDlg& dlg = w.Make();
  ASSERT_TRUE(dlg.OnInitDialog());
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Tevalo"));
  dlg.OnClose();
  EXPECT_FALSE(dlg.isVisible());
  const auto log = w.Log();
  const std::vector<std::string> inOrder = {"StartStartupThread",  "hook:playlist",
                                            "RegisterWindow",      "LoadPaths",
                                            "hook:skin",           "LoadSettings",
                                            "hook:askArea 7",      "hook:list 7",
                                            "ReadIepgArgument",    "hook:iepg /tmp/abc.pl",
                                            "StartTuner",          "hook:reservations",
                                            "PlaceWindowLast",     "BeginClose",
                                            "StopStartupThread",   "StopChannelSearch",
                                            "CloseMediaGraph",     "CloseStreamChannel",
                                            "ClearChannelEntries", "SaveSettings",
                                            "StopPlayback",        "hook:panels",
                                            "CloseTuner",          "EndClose"};
  ptrdiff_t last = -1;
  for (const std::string& entry : inOrder) {
    const ptrdiff_t at = Position(log, entry);
    EXPECT_GT(at, last) << entry;
    last = std::max(last, at);
  }
  EXPECT_TRUE(w.Has("config.ini"));
}

TEST(PlayerWindowOrder, ExitArgumentSetsNothingUpAndWritesNothing) {
  WindowUnderTest w("tevalo-exit", {StartKind::kExit, u"+x"});
  CPlayerDlg& dlg = w.Make();
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_FALSE(dlg.isVisible());
  w.dlg.reset();
  const auto log = w.Log();
  EXPECT_EQ(Position(log, "RegisterWindow"), -1);
  EXPECT_EQ(Position(log, "StartTuner"), -1);
  EXPECT_FALSE(w.Has("config.ini"));
  EXPECT_EQ(win::FindWindowW(nullptr, u"Tevalo"), nullptr);
}

TEST(PlayerWindowOrder, ReservationStartClosesAfterTheRecording) {
  for (StartKind kind : {StartKind::kReservation, StartKind::kTray, StartKind::kFile}) {
    WindowUnderTest w("tevalo-rsv");
    w.options.argument.kind = kind;
    EXPECT_EQ(w.Make().m_bCloseAfterRecording, kind == StartKind::kReservation ? 1 : 0);
  }
}

TEST(PlayerWindowCycles, TwentyStartsAndClosesLeaveNothingBehind) {
  for (int i = 0; i < 20; ++i) {
    WindowUnderTest w("tevalo-cycle");
    CPlayerDlg& dlg = w.Make();
    ASSERT_TRUE(dlg.OnInitDialog()) << i;
    ASSERT_NE(win::FindWindowW(nullptr, u"Tevalo"), nullptr);
    // Let what the tuner start posted reach the window before it closes.
    QCoreApplication::processEvents();
    if (i % 2) {
      dlg.OnClose();
    } else {
      // Closing from another thread's message, as the updater and the close item do.
      win::SendMessageW(win::FindWindowW(nullptr, u"Tevalo"), win::WM_CLOSE, 0, 0);
    }
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.Core().StreamThreadsRunning());
    EXPECT_EQ(win::FindWindowW(nullptr, u"Tevalo"), nullptr) << i;
  }
}

TEST(PlayerWindowCycles, APartlyBuiltWindowClosesSafely) {
  WindowUnderTest w("tevalo-partial");
  w.Make();
  w.dlg.reset();  // never set up
  EXPECT_FALSE(w.Has("config.ini"));
}

}  // namespace
}  // namespace tevalo::shell::test
