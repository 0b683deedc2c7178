// The whole player window on the stick stand-in with the sample broadcast, under a virtual X server
// when one can be started (else off screen): live pictures, a channel change, a recording, timeshift
// and the stick pulled out, each with the picture users see.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>

#include "controls/font_aliases.h"
#include "live_harness.h"
#include "player/panels/blink_label.h"
#include "player/panels/ticker_static.h"
#include "player/resources/player_resources.h"
#include "player/shell/player_dlg.h"
#include "player/shell/window_features.h"

namespace tevalo::shell::test {
namespace {

// An X server of its own, so the window is mapped, painted and grabbed as on a desktop.
struct VirtualDisplay : ::testing::Environment {
  void SetUp() override {
    int fds[2];
    if (::pipe(fds) == 0) {
      pid = ::fork();
      if (pid == 0) {
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                 static_cast<char*>(nullptr));
        ::_exit(127);
      }
      ::close(fds[1]);
      // Xvfb writes its display number and a line end once it accepts clients, and nothing when it
      // cannot start.
      std::string number;
      char c = 0;
      while (pid > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
      ::close(fds[0]);
      if (!number.empty() && std::filesystem::exists("/tmp/.X11-unix/X" + number)) {
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
      } else if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
      }
    }
    if (pid <= 0) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "shell_window_live_test";
    static char* argv[] = {name, nullptr};
    ::setenv("TEVALO_AUDIO_SINK", "fakesink sync=true", 1);
    LoadFontAliases();
    app = new QApplication(argc, argv);
    InstallPlayerResources();
    gst_init(nullptr, nullptr);
  }
  void TearDown() override {
    delete app;
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
  pid_t pid = -1;
  QApplication* app = nullptr;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new VirtualDisplay);

std::filesystem::path ScreenshotFolder() {
  const auto dir = std::filesystem::path(Env("TEVALO_BINARY_DIR")) / "screenshots" / "live";
  std::filesystem::create_directories(dir);
  return dir;
}

uintmax_t FileSize(const std::string& path) {
  std::error_code ec;
  const uintmax_t n = std::filesystem::file_size(path, ec);
  return ec ? 0 : n;
}

class PlayerWindowLive : public ::testing::Test {
 protected:
  void SetUp() override {
    config = WriteInstallation();
    // A stored area: the first start asks nothing.
    std::ofstream(config) << "[SETUP]\nAREA_NUM=7\n";
    sim = StartSim(SampleChannels());
    CPlayerDlg::Options options;
    options.core.prompter = &prompter;
    options.useSessionBus = false;
    dlg = std::make_unique<CPlayerDlg>(options);
    AttachWindowFeatures(*dlg);
  }
  void TearDown() override {
    if (dlg) dlg->OnClose();
    dlg.reset();
    if (sim) sim->stop();
  }
  CPlayerCore& core() { return dlg->Core(); }
  QString StripText(StripKind kind) { return dlg->Strip(kind)->State().Text(); }
  bool WaitPlaying(const IMediaGraph* old) {
    return PumpUntil(
        [&] {
          auto g = core().MediaGraph();
          return g && g.get() != old && !core().State().opening && g->GetFrameRate() > 0;
        },
        60000);
  }
  // The video area holds a picture rather than the black of no picture.
  bool ShowsPicture() {
    const QImage shot = dlg->grab().toImage();
    int lit = 0;
    for (int y = 60; y < 210 && y < shot.height(); y += 2)
      for (int x = 15; x < 330 && x < shot.width(); x += 2) lit += qGray(shot.pixel(x, y)) > 48;
    return lit > 1000;
  }
  void Shot(const char* name) {
    const QImage shot = dlg->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromStdString((ScreenshotFolder() / name).string())));
  }

  std::string config;
  std::unique_ptr<tunersim::SimProcess> sim;
  CScriptedPrompter prompter;
  std::unique_ptr<CPlayerDlg> dlg;
};

TEST_F(PlayerWindowLive, LiveChangeRecordTimeshiftAndTheStickPulledOut) {
  ASSERT_TRUE(dlg->OnInitDialog());
  ASSERT_TRUE(WaitPlaying(nullptr));
  // The first station with its name; pictures reach the window.
  ASSERT_TRUE(PumpUntil([&] { return !StripText(StripKind::kChannel).isEmpty(); }, 20000));
  ASSERT_TRUE(PumpUntil([&] { return core().State().streamFormatsKnown; }, 20000));
  EXPECT_TRUE(PumpUntil([&] { return ShowsPicture(); }, 20000));
  EXPECT_TRUE(PumpUntil([&] { return !StripText(StripKind::kProgramme).isEmpty(); }, 20000));
  Shot("live.png");

  // A change: the notice while it tunes, then the other station plays.
  const std::u16string first = core().CurrentChannel();
  const std::u16string other = first == u"13131" ? u"12121" : u"13131";
  auto old = core().MediaGraph();
  core().ChangeChannel(other, false);
  // Shown until the new station's first picture, which waits for its first key frame.
  EXPECT_TRUE(
      PumpUntil([&] { return StripText(StripKind::kStatus) == QString::fromUtf16(kTextChanging); }, 20000));
  Shot("changing.png");
  ASSERT_TRUE(WaitPlaying(old.get()));
  EXPECT_EQ(core().CurrentChannel(), other);
  ASSERT_TRUE(PumpUntil([&] { return core().State().streamFormatsKnown; }, 20000));

  // Recording from the record button: the file appears and grows, REC and its clock show.
  EXPECT_EQ(dlg->OnCommand(1077), DispatchResult::Handled);
  ASSERT_TRUE(core().IsRecording());
  const std::string file = text::ToUtf8(core().RecordingPath());
  EXPECT_EQ(file.substr(file.size() - 4), ".rec");
  ASSERT_TRUE(PumpUntil([&] { return FileSize(file) > 0; }, 20000));
  const uintmax_t early = FileSize(file);
  ASSERT_TRUE(PumpUntil([&] { return FileSize(file) > early + 100000; }, 60000));
  ASSERT_TRUE(PumpUntil(
      [&] { return dlg->RecordingIndicator()->GetWindowText() != QStringLiteral("00:00:00"); }, 20000));
  EXPECT_TRUE(dlg->RecordingIndicator()->isVisible());
  Shot("recording.png");
  EXPECT_EQ(dlg->OnCommand(1078), DispatchResult::Handled);
  EXPECT_FALSE(core().IsRecording());
  EXPECT_TRUE(prompter.Asked().empty());
  EXPECT_TRUE(PumpUntil([&] { return !dlg->RecordingIndicator()->isVisible(); }, 20000));
  EXPECT_GT(FileSize(file), early + 100000);

  // Timeshift: the picture holds, then plays on from where it stopped.
  EXPECT_EQ(dlg->OnCommand(1075), DispatchResult::Handled);
  ASSERT_TRUE(PumpUntil([&] { return core().State().playState == PlayState::kPaused; }, 20000));
  EXPECT_TRUE(core().Playback().TimeshiftActive());
  EXPECT_TRUE(ShowsPicture());  // the held picture
  // Its play button stands where the pause button was.
  EXPECT_TRUE(dlg->Control(1074)->isVisible());
  EXPECT_FALSE(dlg->Control(1075)->isVisible());
  Shot("timeshift.png");
  const auto paused = core().MediaGraph();
  EXPECT_EQ(dlg->OnCommand(1074), DispatchResult::Handled);
  ASSERT_TRUE(PumpUntil([&] { return core().State().playState == PlayState::kPlaying; }, 20000));
  EXPECT_EQ(core().MediaGraph(), paused);  // the same graph went on, nothing was rebuilt
  EXPECT_TRUE(dlg->Control(1075)->isVisible());
  EXPECT_FALSE(dlg->Control(1074)->isVisible());
  EXPECT_TRUE(PumpUntil([&] { return paused->GetFrameRate() > 0; }, 20000));

  // The stick pulled out: the notice, no reception, the window stays.
  sim->remove();
  ASSERT_TRUE(
      PumpUntil([&] { return StripText(StripKind::kStatus) == QString::fromUtf16(kTextRemoved); }, 20000));
  EXPECT_FALSE(core().StreamThreadsRunning());
  EXPECT_TRUE(dlg->isVisible());
  Shot("removed.png");
}

}  // namespace
}  // namespace tevalo::shell::test
