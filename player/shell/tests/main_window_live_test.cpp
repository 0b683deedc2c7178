// The main window over the real core on the stick stand-in: mouse and keys sent as Qt events to the
// window while the sample broadcast plays, each checked by the view, size, volume or menu it leaves.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "controls/font_aliases.h"
#include "live_harness.h"
#include "platform/path/utf.h"
#include "player/panels/gif_static.h"
#include "player/resources/player_resources.h"
#include "player/shell/main_timers.h"
#include "player/shell/main_window_view.h"
#include "player/shell/player_dlg.h"
#include "player/shell/volume.h"
#include "player/shell/window_features.h"

namespace tevalo::shell::test {
namespace {

struct GuiApp : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "shell_main_window_live_test";
    static char* argv[] = {name, nullptr};
    LoadFontAliases();
    app = new QApplication(argc, argv);
    InstallPlayerResources();
    gst_init(nullptr, nullptr);
  }
  void TearDown() override { delete app; }
  QApplication* app = nullptr;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new GuiApp);

// The installation in the test's runtime folder, with area 7 stored so the start searches it.
std::string WriteInstallationWithArea() {
  const std::string config = WriteInstallation();
  std::ofstream(config) << "[SETUP]\nAREA_NUM=7\n";
  return config;
}

class MainWindowLive : public ::testing::Test {
 protected:
  void SetUp() override {
    sim = StartSim(SampleChannels());
    CPlayerDlg::Options options;
    options.core.configPath = text::ToUtf16(WriteInstallationWithArea());
    options.core.prompter = &prompter;
    options.useSessionBus = false;
    dlg = std::make_unique<CPlayerDlg>(options);
    AttachWindowFeatures(*dlg);
    ASSERT_TRUE(dlg->OnInitDialog());
    ASSERT_TRUE(PumpUntil([&] { return dlg->isVisible(); }, 20000));
    // The area search finds the stations and the first one plays.
    ASSERT_TRUE(PumpUntil(
        [&] {
          auto g = dlg->Core().MediaGraph();
          return g && !dlg->Core().State().opening && g->GetFrameRate() > 0;
        },
        180000))
        << "no live picture";
  }
  void TearDown() override {
    if (dlg) dlg->OnClose();
    dlg.reset();
    if (sim) sim->stop();
  }
  QWidget* Skin() { return dlg->View(); }
  QSize ScreenSize() { return dlg->screen()->geometry().size(); }

  CScriptedPrompter prompter;
  std::unique_ptr<tunersim::SimProcess> sim;
  std::unique_ptr<CPlayerDlg> dlg;
};

TEST_F(MainWindowLive, MouseAndKeysChangeTheViewSizeVolumeAndMenu) {
  ASSERT_NE(dlg->View(), nullptr);
  const QRect normal = dlg->geometry();
  EXPECT_EQ(normal.size(), QSize(346, 380));
  ASSERT_TRUE(PumpUntil([&] { return dlg->Core().State().levelBars > 0; }, 60000));
  ASSERT_TRUE(PumpUntil([&] { return !dlg->grab().toImage().isNull(); }, 20000));
  const QString shots = qEnvironmentVariable("TEVALO_BINARY_DIR") + "/screenshots/mainwin";
  QDir().mkpath(shots);
  EXPECT_TRUE(dlg->grab().toImage().save(shots + "/main_live_normal.png"));

  // A double click on the picture: full screen over the screen, the skin without its frame.
  QTest::mouseDClick(Skin(), Qt::LeftButton, {}, QPoint(170, 150));
  EXPECT_TRUE(dlg->View()->State().fullScreen);
  EXPECT_EQ(dlg->geometry().size(), ScreenSize());
  ASSERT_TRUE(PumpUntil([&] { return Skin()->size() == ScreenSize(); }, 20000));
  ASSERT_TRUE(PumpUntil([&] { return dlg->Core().State().levelBars > 0; }, 60000));
  EXPECT_TRUE(dlg->grab().toImage().save(shots + "/main_live_fullscreen.png"));
  // Esc leaves it for the rectangle it came from.
  QTest::keyClick(dlg.get(), Qt::Key_Escape);
  EXPECT_FALSE(dlg->View()->State().fullScreen);
  EXPECT_EQ(dlg->geometry(), normal);

  // Alt+2 doubles the view (a tuner is found and live plays); Alt+1 brings the normal size back.
  QTest::keyClick(dlg.get(), Qt::Key_2, Qt::AltModifier);
  EXPECT_EQ(dlg->geometry().size(), QSize(666, 560));
  QTest::keyClick(dlg.get(), Qt::Key_1, Qt::AltModifier);
  EXPECT_EQ(dlg->geometry().size(), QSize(346, 380));

  // Ctrl+Down: one volume step down, on the slider too.
  const int volume = dlg->Settings().volume;
  ASSERT_GE(volume, kVolumeStep);
  QTest::keyClick(dlg.get(), Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(dlg->Settings().volume, volume - kVolumeStep);

  // A right click opens menu 273; its ticks follow the window (always on top is off).
  std::vector<uint32_t> ids;
  std::vector<uint32_t> ticked;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    std::function<void(QMenu*)> walk = [&](QMenu* m) {
      for (QAction* a : m->actions()) {
        if (a->menu()) walk(a->menu());
        if (!a->data().isValid()) continue;
        ids.push_back(a->data().toUInt());
        if (a->isChecked()) ticked.push_back(a->data().toUInt());
      }
    };
    walk(menu);
    menu->close();
  });
  poll.start(10);
  QTest::mousePress(Skin(), Qt::RightButton, {}, QPoint(170, 150));  // returns when the menu closes
  poll.stop();
  QTest::mouseRelease(Skin(), Qt::RightButton, {}, QPoint(170, 150));
  EXPECT_NE(std::find(ids.begin(), ids.end(), 32833u), ids.end()) << "menu 273 not shown";
  EXPECT_EQ(std::find(ticked.begin(), ticked.end(), 32833u), ticked.end());
  EXPECT_NE(std::find(ticked.begin(), ticked.end(), 32884u), ticked.end());  // the EPG display starts on

  // The resize corner: dropped inside the least size it stops there, dropped outside it follows.
  const QPoint corner(346 - 2, 380 - 2);
  struct Case {
    QPoint to;
    QSize expected;
  } cases[] = {{{200, 200}, {346, 380}}, {{498, 448}, {500, 450}}};
  for (const auto& c : cases) {
    dlg->resize(346, 380);
    ASSERT_TRUE(PumpUntil([&] { return Skin()->size() == QSize(346, 380); }, 20000));
    const QPoint origin = dlg->geometry().topLeft();
    QTimer::singleShot(0, Skin(), [&] {
      QMouseEvent move(QEvent::MouseMove, c.to, origin + c.to, Qt::NoButton, Qt::LeftButton, {});
      QCoreApplication::sendEvent(Skin(), &move);
      QMouseEvent up(QEvent::MouseButtonRelease, c.to, origin + c.to, Qt::LeftButton, {}, {});
      QCoreApplication::sendEvent(Skin(), &up);
    });
    QMouseEvent press(QEvent::MouseButtonPress, corner, origin + corner, Qt::LeftButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(Skin(), &press);  // returns when the tracker's drag ends
    EXPECT_EQ(dlg->size(), c.expected) << c.to.x() << "," << c.to.y();
    EXPECT_EQ(dlg->geometry().topLeft(), origin);
    EXPECT_EQ(Skin()->geometry(), dlg->rect());  // the skin fills the window it resized
  }
  // The live picture kept playing through all of it.
  EXPECT_GT(dlg->Core().MediaGraph()->GetFrameRate(), 0);
}

// The stick loses the signal: after the no-signal wait the live picture pauses under animation 505
// and the channel's mark is cleared; the signal back plays it again.
TEST_F(MainWindowLive, NoSignalPausesUnderTheAnimationAndSignalBackResumes) {
  CPlayerCore& core = dlg->Core();
  panels::CGifStatic* animation = dlg->AnimationControl();
  ASSERT_NE(animation, nullptr);
  ASSERT_TRUE(PumpUntil(
      [&] { return core.State().levelBars > 0 && core.State().playState == PlayState::kPlaying; }, 60000))
      << "bars " << core.State().levelBars << ", play state " << static_cast<int>(core.State().playState);
  ASSERT_TRUE(PumpUntil([&] { return !animation->isVisible(); }, 60000)) << "the search animation stays";
  const int uhf = sim->status().channel;
  ASSERT_GT(uhf, 0);
  const int index = ChannelIndexOfCurrent(core.State().currentChannel);
  ASSERT_GE(index, 0);
  auto mark = [&] {
    for (const auto& e : core.ChannelEntries())
      if (e.index == index) return e.availability;
    return -2;
  };
  ASSERT_TRUE(PumpUntil([&] { return mark() == 1; }, 60000)) << "the playing channel carries no mark";

  sim->set_level(uhf, 4);
  // The bars drop and the wait is armed for 5 s while the picture still plays.
  ASSERT_TRUE(PumpUntil([&] { return core.State().levelBars == 0; }, 60000));
  bool armedWhilePlaying = false;
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (core.Timers().IsArmed(TimerId::kNoSignal) && core.State().playState == PlayState::kPlaying) {
          armedWhilePlaying = true;
          EXPECT_EQ(core.Timers().Period(TimerId::kNoSignal), 5000);
        }
        return core.State().playState == PlayState::kPaused;
      },
      120000))
      << "no pause without signal";
  EXPECT_TRUE(armedWhilePlaying);
  ASSERT_TRUE(PumpUntil([&] { return animation->isVisible(); }, 60000));
  {
    panels::CGifStatic expected;
    ASSERT_TRUE(expected.LoadFromResource(static_cast<unsigned>(Animation::kNoSignal)));
    ASSERT_FALSE(animation->Animation().Frames().empty());
    EXPECT_EQ(animation->Animation().Frames().front().image, expected.Animation().Frames().front().image)
        << "not the no-signal animation";
  }
  EXPECT_TRUE(PumpUntil([&] { return mark() == 0; }, 60000)) << "the lock mark stays";
  EXPECT_TRUE(dlg->View()->VideoHidden()) << "the frozen picture shows under the animation";
  {
    const QString shots = qEnvironmentVariable("TEVALO_BINARY_DIR") + "/screenshots/mainwin";
    QDir().mkpath(shots);
    EXPECT_TRUE(dlg->grab().toImage().save(shots + "/main_live_nosignal.png"));
  }
  EXPECT_EQ(core.State().levelBars, 0);
  // The pause is a live pause: its seconds count towards the timeshift limit while it lasts.
  EXPECT_EQ(core.Timers().Period(TimerId::kTimeshift), 1000);
  const int counterAtPause = core.Playback().TimeshiftCounter();
  EXPECT_TRUE(PumpUntil([&] { return core.Playback().TimeshiftCounter() >= counterAtPause + 2; }, 60000))
      << "the paused seconds do not count";

  sim->set_level(uhf, 1);
  ASSERT_TRUE(PumpUntil(
      [&] {
        const CoreState s = core.State();
        return s.levelBars > 0 && s.playState == PlayState::kPlaying && !animation->isVisible();
      },
      120000))
      << "the signal back does not resume: bars " << core.State().levelBars << ", play state "
      << static_cast<int>(core.State().playState) << ", animation " << animation->isVisible();
  EXPECT_FALSE(core.Timers().IsArmed(TimerId::kNoSignal));
  EXPECT_FALSE(dlg->View()->VideoHidden());
  auto graph = core.MediaGraph();
  ASSERT_NE(graph, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return graph->GetFrameRate() > 0; }, 60000)) << "no picture after the resume";
  // Playing again, the paused seconds stand still: the counter's timer is off and three seconds of
  // stream later the count is what it was at the resume.
  EXPECT_FALSE(core.Timers().IsArmed(TimerId::kTimeshift));
  const int counterAtResume = core.Playback().TimeshiftCounter();
  EXPECT_GE(counterAtResume, counterAtPause + 2);
  int start = -1, now = -1;
  ASSERT_TRUE(PumpUntil([&] { return graph->GetPosition(&start) == 1; }, 60000)) << "no stream position";
  ASSERT_TRUE(PumpUntil([&] { return graph->GetPosition(&now) == 1 && now >= start + 30; }, 120000))
      << "the stream stands at " << now << " tenths from " << start;
  EXPECT_EQ(core.Playback().TimeshiftCounter(), counterAtResume);
  EXPECT_FALSE(core.Timers().IsArmed(TimerId::kTimeshift));
  EXPECT_EQ(core.State().playState, PlayState::kPlaying);
}

// A search running on the stick: presses on the window neither drag it nor open the menu; once the
// search has ended the same drag moves it.
TEST_F(MainWindowLive, PressesDuringASearchDoNothing) {
  CPlayerCore& core = dlg->Core();
  int menus = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      ++menus;
      popup->close();
    }
  });
  poll.start(10);
  // Sent straight to the skin, so no event of the search's end runs between them.
  auto send = [&](QEvent::Type type, Qt::MouseButton button, QPoint at, QPoint global) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, at, global, type == QEvent::MouseMove ? Qt::NoButton : button, held, {});
    QCoreApplication::sendEvent(Skin(), &e);
  };
  auto dragBy = [&](QPoint by) {
    const QPoint at(170, 150), global = Skin()->mapToGlobal(at), origin = dlg->pos();
    send(QEvent::MouseButtonPress, Qt::LeftButton, at, global);
    send(QEvent::MouseMove, Qt::LeftButton, at + by, global + by);
    send(QEvent::MouseButtonRelease, Qt::LeftButton, at + by, global + by);
    return dlg->pos() - origin;
  };

  ASSERT_EQ(core.BeginSearch(SearchKind::kArea), 1);
  ASSERT_TRUE(core.State().searching);
  EXPECT_EQ(dragBy({40, 30}), QPoint(0, 0));
  const QPoint at(170, 150);
  send(QEvent::MouseButtonPress, Qt::RightButton, at, Skin()->mapToGlobal(at));
  send(QEvent::MouseButtonRelease, Qt::RightButton, at, Skin()->mapToGlobal(at));
  ASSERT_TRUE(core.State().searching);  // the presses met the running search
  EXPECT_EQ(menus, 0);

  ASSERT_TRUE(PumpUntil([&] { return !core.State().searching; }, 180000)) << "the search does not end";
  EXPECT_EQ(dragBy({40, 30}), QPoint(40, 30));
  send(QEvent::MouseButtonPress, Qt::RightButton, at, Skin()->mapToGlobal(at));  // returns when it closes
  send(QEvent::MouseButtonRelease, Qt::RightButton, at, Skin()->mapToGlobal(at));
  EXPECT_EQ(menus, 1);
}

}  // namespace
}  // namespace tevalo::shell::test
