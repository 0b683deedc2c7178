// The player window's longer roads on the stick stand-in: a search started from the window, a
// recording made and played back, a long timeshift pause, the stick pulled and plugged back, and
// the program ended by Ctrl-C. Pictures are followed by the frame codes the window shows, sound by
// the bytes the sink wrote.
#include <algorithm>

#include "platform/path/utf.h"
#include "player/panels/blink_label.h"
#include "player/panels/channel_list_box.h"
#include "player/panels/channel_panel.h"
#include "player/panels/gif_static.h"
#include "player/panels/ticker_static.h"
#include "player/shell/main_window_view.h"
#include "window_live_harness.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new VirtualDisplay);

class PlayerWindowRoad : public PlayerWindowLive {
 protected:
  // Pictures go on: two codes read one after the other lie a few frames apart, forward.
  void ExpectPicturesContinue(const char* where) {
    // A picture that came after this call: the window may still hold an older one.
    const int first = NextShownCode(ShownCode());
    ASSERT_GE(first, 0) << where << ": no readable picture";
    const int second = NextShownCode(first);
    ASSERT_GE(second, 0) << where << ": the picture stood still at " << first;
    EXPECT_LE(FramesAfter(first, second), 45) << where << ": " << first << " then " << second;
  }
};

TEST_F(PlayerWindowRoad, ASearchFromTheWindowShowsItsAnimationAndEndsWithTheList) {
  StartPlaying();
  tevalo::panels::CGifStatic searching;
  ASSERT_TRUE(searching.LoadFromResource(static_cast<unsigned>(Animation::kSearching)));
  const auto& expected = searching.Animation().Frames();
  ASSERT_FALSE(expected.empty());
  auto* animation = dlg->AnimationControl();
  ASSERT_NE(animation, nullptr);
  const auto before = core().MediaGraph();

  // The channel panel's full search: the notice, the running animation over the video area.
  EXPECT_EQ(dlg->OnCommand(CChannelPanel::kFullSearch), DispatchResult::Handled);
  ASSERT_TRUE(PumpUntil(
      [&] { return core().State().searching && animation->isVisible() && animation->Animating(); }, 20000));
  EXPECT_EQ(StripText(StripKind::kStatus), QString::fromUtf16(kTextSearching));
  ASSERT_EQ(animation->Animation().Frames().size(), expected.size());
  EXPECT_EQ(animation->Animation().Frames().front().image, expected.front().image);
  Shot("searching.png");

  // It ends with the three stations listed and the station playing again.
  ASSERT_TRUE(PumpUntil([&] { return !core().State().searching; }, 600000));
  EXPECT_TRUE(PumpUntil([&] { return !animation->isVisible(); }, 20000));
  // A full search lists every channel; the three stations are the ones found.
  const auto entries = core().ChannelEntries();
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(), [](const auto& e) { return e.availability == 1; }),
            3);
  auto* panel = dlg->findChild<CChannelPanel*>();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->ListBox()->count(), static_cast<int>(entries.size()));
  ASSERT_TRUE(WaitPlaying(before.get()));
  ExpectPicturesContinue("after the search");
}

TEST_F(PlayerWindowRoad, ARecordingMadeInTheWindowPlaysBackWithPicturesAndSound) {
  StartPlaying();
  EXPECT_EQ(dlg->OnCommand(1077), DispatchResult::Handled);
  ASSERT_TRUE(core().IsRecording());
  const std::u16string file = core().RecordingPath();
  ASSERT_TRUE(PumpUntil(
      [&] { return dlg->RecordingIndicator()->GetWindowText() >= QStringLiteral("00:00:10"); }, 120000));
  EXPECT_EQ(dlg->OnCommand(1078), DispatchResult::Handled);
  ASSERT_FALSE(core().IsRecording());

  const auto live = core().MediaGraph();
  core().PlayUrl(file);
  ASSERT_TRUE(PumpUntil(
      [&] {
        return core().State().sourceMode == SourceMode::kRecording && !core().State().opening &&
               core().MediaGraph() != live && Position() > 0;
      },
      60000));
  ExpectPicturesContinue("the recording");

  // Sound keeps pace with the stream time: the sink writes at the clock, from the graph's start.
  const int start = Position();
  ASSERT_TRUE(PumpUntil([&] { return Position() >= start + 40; }, 60000));
  const double played = Position() / 10.0;
  const double sound = static_cast<double>(FileSize(SoundFile())) / kSoundBytesPerSecond;
  EXPECT_GT(sound, played - 2.0) << "sound " << sound << " s at " << played << " s";
  EXPECT_LT(sound, played + 2.0) << "sound " << sound << " s at " << played << " s";

  // A file plays: its name on the channel strip, no programme strip.
  const QString name = QString::fromStdU16String(file.substr(file.find_last_of(u'/') + 1));
  EXPECT_EQ(StripText(StripKind::kChannel), name);
  EXPECT_FALSE(dlg->Strip(StripKind::kProgramme)->isVisible());
  Shot("playback.png");
}

TEST_F(PlayerWindowRoad, TimeshiftPlaysOnFromThePausedPictureAfterHalfAMinute) {
  StartPlaying();
  // Paused while pictures flow, a couple of seconds into the station.
  ExpectPicturesContinue("before the pause");
  ASSERT_TRUE(PumpUntil([&] { return ShownCode() >= 30; }, 60000));
  EXPECT_EQ(dlg->OnCommand(1075), DispatchResult::Handled);
  ASSERT_TRUE(PumpUntil([&] { return core().State().playState == PlayState::kPaused; }, 20000));
  const auto paused = core().MediaGraph();
  // Half a minute of broadcast goes by while the picture holds.
  PumpFor(30000);
  const int held = ShownCode();
  ASSERT_GE(held, 0);
  const uintmax_t soundHeld = FileSize(SoundFile());

  EXPECT_EQ(dlg->OnCommand(1074), DispatchResult::Handled);
  ASSERT_TRUE(PumpUntil([&] { return core().State().playState == PlayState::kPlaying; }, 20000));
  // The next picture follows the held one; the live one is some 450 frames on.
  const int next = NextShownCode(held);
  ASSERT_GE(next, 0) << "the picture stayed at " << held;
  EXPECT_GE(FramesAfter(held, next), 1);
  EXPECT_LE(FramesAfter(held, next), 150) << "held " << held << ", then " << next;
  ExpectPicturesContinue("after the pause");
  EXPECT_EQ(core().MediaGraph(), paused);  // played on, not rebuilt
  EXPECT_TRUE(PumpUntil([&] { return FileSize(SoundFile()) > soundHeld + kSoundBytesPerSecond; }, 60000));
}

// A timeshift pause asked for at the edges of a tune: as the first picture of the first station
// shows, right after a change is asked for, as the changed-to station's first picture shows, and
// while the no-signal wait is armed (a tune reads no level until its first block), the signal then
// coming back.
// The pause either holds the picture at its stream time and plays on from there, or is refused and
// the station plays on; never a still picture after play, nor a jump to the live picture.
enum class EarlyPause { kFirstPicture, kRightAfterChange, kChangedFirstPicture, kNoSignalWaitArmed };

class EarlyTimeshift : public PlayerWindowRoad, public ::testing::WithParamInterface<EarlyPause> {
 protected:
  // The pause asked for now, then played on after ten seconds of broadcast. Each graph starts at
  // the broadcast's first frame, so the window may show the old graph's picture a moment longer.
  void PauseAndPlayOn(const char* where, const std::function<void()>& oncePaused = {}) {
    EXPECT_EQ(dlg->OnCommand(1075), DispatchResult::Handled);
    // The open under way ends before the outcome is read.
    ASSERT_TRUE(PumpUntil(
        [&] {
          const CoreState s = core().State();
          return !s.openQueued && !s.busy;
        },
        60000))
        << where;
    if (!core().IsTimeshiftPaused()) {
      // Refused: nothing says paused and the station plays on, its pictures in the window.
      EXPECT_EQ(core().State().playState, PlayState::kPlaying) << where;
      EXPECT_FALSE(dlg->View()->State().timeshift) << where;
      RecordProperty(where, "refused");
      ASSERT_TRUE(PumpUntil([&] { return Position() >= 10; }, 60000)) << where;
      ExpectPicturesContinue(where);
      return;
    }
    ++paused;
    RecordProperty(where, "paused");
    ASSERT_EQ(core().State().playState, PlayState::kPaused) << where;
    EXPECT_TRUE(dlg->View()->State().timeshift) << where;
    const auto graph = core().MediaGraph();
    ASSERT_NE(graph, nullptr) << where;
    if (oncePaused) oncePaused();
    // The stream time stands; so does the picture, once the window shows the paused graph's. A
    // paused graph answers with its time once its picture is held.
    int position = -1;
    ASSERT_TRUE(PumpUntil([&] { return (position = Position()) >= 0; }, 20000))
        << where << ": no stream time";
    PumpFor(5000);
    EXPECT_EQ(Position(), position) << where << ": the stream time moved while paused";
    const int held = ShownCode();
    ASSERT_GE(held, 0) << where << ": no picture held";
    PumpFor(5000);
    EXPECT_EQ(ShownCode(), held) << where << ": the held picture moved";
    EXPECT_EQ(Position(), position) << where << ": the stream time moved while paused";
    if (GetParam() == EarlyPause::kFirstPicture) Shot("timeshift_first_picture.png");

    EXPECT_EQ(dlg->OnCommand(1074), DispatchResult::Handled);
    ASSERT_TRUE(PumpUntil([&] { return core().State().playState == PlayState::kPlaying; }, 20000)) << where;
    EXPECT_FALSE(core().IsTimeshiftPaused()) << where;
    EXPECT_EQ(core().MediaGraph(), graph) << where << ": rebuilt under the pause";
    // Ten seconds on, the live picture is some 150 frames past the held one.
    const int next = NextShownCode(held);
    ASSERT_GE(next, 0) << where << ": the picture stayed at " << held;
    EXPECT_LE(FramesAfter(held, next), 90) << where << ": held " << held << ", then " << next;
    ExpectPicturesContinue(where);
    EXPECT_TRUE(PumpUntil([&] { return Position() > position; }, 20000)) << where;
    // The paused graph itself plays on: a stranded one would have been rebuilt by now.
    EXPECT_EQ(core().MediaGraph(), graph) << where << ": rebuilt after the pause";
  }
  int paused = 0;
};

TEST_P(EarlyTimeshift, PausesAtItsStreamTimeOrIsRefused) {
  switch (GetParam()) {
    case EarlyPause::kFirstPicture:
      ASSERT_TRUE(dlg->OnInitDialog());
      ASSERT_TRUE(PumpUntil([&] { return ShownCode() >= 0; }, 120000));
      PauseAndPlayOn("at the first picture");
      break;
    case EarlyPause::kNoSignalWaitArmed: {
      StartPlaying();
      ExpectPicturesContinue("before the signal goes");
      ASSERT_TRUE(PumpUntil([&] { return core().State().levelBars > 0; }, 20000));
      for (int uhf : {25, 26, 27}) sim->set_level(uhf, 4);  // no level
      ASSERT_TRUE(PumpUntil([&] { return core().State().levelBars == 0; }, 20000));
      PauseAndPlayOn("with the no-signal wait armed", [&] {
        const int levels[] = {3, 2, 1};
        for (int uhf : {25, 26, 27}) sim->set_level(uhf, levels[uhf - 25]);
        ASSERT_TRUE(PumpUntil([&] { return core().State().levelBars > 0; }, 20000));
      });
      break;
    }
    case EarlyPause::kRightAfterChange:
    case EarlyPause::kChangedFirstPicture: {
      StartPlaying();
      ExpectPicturesContinue("before the change");
      const std::u16string other = core().CurrentChannel() == u"13131" ? u"12121" : u"13131";
      const auto old = core().MediaGraph();
      core().ChangeChannel(other, false);
      if (GetParam() == EarlyPause::kChangedFirstPicture) {
        // The new graph's renderer has its first picture.
        ASSERT_TRUE(PumpUntil(
            [&] {
              const auto g = core().MediaGraph();
              return g && g != old && g->GetFrameRate() > 0;
            },
            120000));
      }
      PauseAndPlayOn(GetParam() == EarlyPause::kRightAfterChange ? "right after the change"
                                                                 : "at the change's picture");
      break;
    }
  }
  // Once pictures flow the pause is taken, whatever happened to the early one.
  if (!core().IsTimeshiftPaused() && paused == 0) {
    ASSERT_TRUE(PumpUntil([&] { return core().State().streamFormatsKnown; }, 20000));
    PauseAndPlayOn("once pictures flow");
    EXPECT_EQ(paused, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Moments, EarlyTimeshift,
                         ::testing::Values(EarlyPause::kFirstPicture, EarlyPause::kRightAfterChange,
                                           EarlyPause::kChangedFirstPicture, EarlyPause::kNoSignalWaitArmed));

TEST_F(PlayerWindowRoad, TheStickPulledAndPluggedBackPlaysAgainWithoutARestart) {
  StartPlaying();
  sim->remove();
  ASSERT_TRUE(
      PumpUntil([&] { return StripText(StripKind::kStatus) == QString::fromUtf16(kTextRemoved); }, 20000));
  ASSERT_TRUE(PumpUntil([&] { return !core().StreamThreadsRunning(); }, 20000));

  sim->insert();
  // Noticed: it searches again and plays, on a new graph with the stream threads running.
  ASSERT_TRUE(PumpUntil(
      [&] {
        auto g = core().MediaGraph();
        return core().StreamThreadsRunning() && !core().State().searching && !core().State().opening && g &&
               g->GetFrameRate() > 0;
      },
      60000));
  EXPECT_NE(StripText(StripKind::kStatus), QString::fromUtf16(kTextRemoved));
  ExpectPicturesContinue("plugged back");
  const uintmax_t sound = FileSize(SoundFile());
  EXPECT_TRUE(PumpUntil([&] { return FileSize(SoundFile()) > sound + kSoundBytesPerSecond; }, 60000));
  Shot("plugged_back.png");
}

// Ctrl-C in the terminal closes the program as its close button does: the close steps run, the
// settings are written and it ends normally.
TEST(PlayerProgramRoad, CtrlCClosesThePlayerAndWritesItsSettings) {
  const std::string config = WriteInstallation();
  std::ofstream(config) << "[SETUP]\nAREA_NUM=7\n";
  auto sim = StartSim(SampleChannels());
  PlayerProgram program;
  QProcess& player = program.process;
  ASSERT_TRUE(player.waitForStarted(60000));
  ASSERT_TRUE(program.WaitShown()) << program.log.toStdString();
  // Playing: the current channel was written when it tuned.
  ASSERT_TRUE(PumpUntil(
      [&] {
        std::ifstream in(config);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        return text.find("CurrentChannel") != std::string::npos;
      },
      120000));

  ::kill(static_cast<pid_t>(player.processId()), SIGINT);
  const bool ended = player.waitForFinished(120000);
  if (!ended) player.kill();
  ASSERT_TRUE(ended) << "Ctrl-C did not end the player";
  program.LogHas("");
  EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(player.exitCode(), 0) << program.log.toStdString();
  std::ifstream in(config);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("VOLUME_POS="), std::string::npos) << text;
  EXPECT_NE(text.find("AREA_NUM=7"), std::string::npos) << text;
  sim->stop();
}

}  // namespace
}  // namespace tevalo::shell::test
