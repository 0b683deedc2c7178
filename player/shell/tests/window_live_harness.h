// The whole player window on the stick stand-in with the sample broadcast, under a virtual X server
// when one can be started (else off screen). What users see is read back from the window: the
// frame code the test broadcasts draw into each picture, and the sound the audio sink wrote to a
// file.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QProcess>

#include "controls/font_aliases.h"
#include "live_harness.h"
#include "player/resources/player_resources.h"
#include "player/shell/main_geometry.h"
#include "player/shell/player_dlg.h"
#include "player/shell/window_features.h"
#include "tests/support/frame_code.h"

namespace tevalo::shell::test {

// Sound goes to this file as 48 kHz 16-bit stereo, written at the pace of the pipeline clock; each
// graph starts it again.
inline std::string SoundFile() { return Env("XDG_RUNTIME_DIR") + "/sound.raw"; }
inline constexpr uintmax_t kSoundBytesPerSecond = 48000 * 2 * 2;

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
    const std::string sink =
        "audioconvert ! audioresample ! audio/x-raw,format=S16LE,rate=48000,channels=2 ! filesink sync=true "
        "location=" +
        SoundFile();
    ::setenv("TEVALO_AUDIO_SINK", sink.c_str(), 1);
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

inline std::filesystem::path ScreenshotFolder() {
  const auto dir = std::filesystem::path(Env("TEVALO_BINARY_DIR")) / "screenshots" / "live";
  std::filesystem::create_directories(dir);
  return dir;
}

inline uintmax_t FileSize(const std::string& path) {
  std::error_code ec;
  const uintmax_t n = std::filesystem::file_size(path, ec);
  return ec ? 0 : n;
}

// Frames from `from` forward to `to` in the looping sample broadcast (896 frames a loop).
inline int FramesAfter(int from, int to) {
  constexpr int kLoopFrames = 896;
  return ((to - from) % kLoopFrames + kLoopFrames) % kLoopFrames;
}

// The `tevalo` program as the run command starts it, in the test's runtime folder, its output
// gathered; sound goes where `soundSink` says (empty: the test's own sink).
struct PlayerProgram {
  explicit PlayerProgram(const std::string& soundSink = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!soundSink.empty())
      env.insert(QStringLiteral("TEVALO_AUDIO_SINK"), QString::fromStdString(soundSink));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tevalo.startup.info=true"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(QString::fromStdString(Env("XDG_RUNTIME_DIR")));
    process.start(QString::fromStdString(Env("TEVALO_BINARY_DIR") + "/bin/tevalo"), {});
  }
  ~PlayerProgram() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(60000);
    }
  }
  bool LogHas(const char* text) {
    process.waitForReadyRead(10);
    log += QString::fromUtf8(process.readAll());
    return log.contains(QLatin1String(text));
  }
  // Until its window is shown (false when it ended first or never showed it).
  bool WaitShown() {
    return PumpUntil([&] { return LogHas("window shown") || process.state() == QProcess::NotRunning; },
                     120000) &&
           process.state() != QProcess::NotRunning;
  }
  QProcess process;
  QString log;
};

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
  // The frame code of the picture the window shows now (-1: none readable).
  int ShownCode() {
    const Rect r = VideoRect({dlg->width(), dlg->height()}, false, false);
    const QImage area = dlg->grab(QRect(r.x, r.y, r.w, r.h)).toImage().convertToFormat(QImage::Format_RGB32);
    return tevalo::test::ReadFrameCodeBgrx(area.constBits(), area.width(), area.height(),
                                           area.bytesPerLine());
  }
  // Waits for a readable code other than `not` and returns it (-1 when none came).
  int NextShownCode(int not_ = -1) {
    int code = -1;
    PumpUntil(
        [&] {
          code = ShownCode();
          return code >= 0 && code != not_;
        },
        30000);
    return code >= 0 && code != not_ ? code : -1;
  }
  // Tenths of a second of the graph's position, -1 without one.
  int Position() {
    int tenths = -1;
    auto g = core().MediaGraph();
    return g && g->GetPosition(&tenths) == 1 ? tenths : -1;
  }
  void Shot(const char* name) {
    const QImage shot = dlg->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromStdString((ScreenshotFolder() / name).string())));
  }
  // Starts the window and waits until the first station plays.
  void StartPlaying() {
    ASSERT_TRUE(dlg->OnInitDialog());
    ASSERT_TRUE(WaitPlaying(nullptr));
    ASSERT_TRUE(PumpUntil([&] { return core().State().streamFormatsKnown; }, 20000));
  }

  std::string config;
  std::unique_ptr<tunersim::SimProcess> sim;
  CScriptedPrompter prompter;
  std::unique_ptr<CPlayerDlg> dlg;
};

}  // namespace tevalo::shell::test
