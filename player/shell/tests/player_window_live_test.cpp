// The whole player window on the stick stand-in with the sample broadcast, under a virtual X server
// when one can be started (else off screen): live pictures, a channel change, a recording, timeshift
// and the stick pulled out, each with the picture users see.

#include <QApplication>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QWindow>

#include "controls/hover_button.h"
#include "ipc/filter_protocol.h"
#include "modal_wait.h"
#include "platform/window/window.h"
#include "player/panels/blink_label.h"
#include "player/panels/channel_list_dlg.h"
#include "player/panels/channel_panel.h"
#include "player/panels/playback_panel.h"
#include "player/panels/playlist.h"
#include "player/panels/playlist_wnd.h"
#include "player/panels/skin_list.h"
#include "player/panels/skin_slider.h"
#include "player/panels/ticker_static.h"
#include "player/shell/player_dlg.h"
#include "player/shell/window_features.h"
#include "window_live_harness.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new VirtualDisplay);

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

// The playback panel over a recording made on the stand-in: Ctrl+D, its buttons, its slider and the
// playlist's rows, driven by mouse and keys.
TEST_F(PlayerWindowLive, PlaybackPanelPlaysSeeksAndDragsThroughARecording) {
  using tevalo::panels::CPlaybackPanelLogic;
  // Recording needs the stream formats, which come after the first pictures on a loaded machine.
  StartPlaying();
  // About 25 s of broadcast, copied so the playlist has two rows.
  EXPECT_EQ(dlg->OnCommand(1077), DispatchResult::Handled);
  ASSERT_TRUE(core().IsRecording());
  const std::string file = text::ToUtf8(core().RecordingPath());
  ASSERT_TRUE(PumpUntil(
      [&] { return dlg->RecordingIndicator()->GetWindowText() >= QStringLiteral("00:00:25"); }, 180000));
  EXPECT_EQ(dlg->OnCommand(1078), DispatchResult::Handled);
  ASSERT_FALSE(core().IsRecording());
  const std::string copy = std::filesystem::path(file).replace_filename("copy.rec").string();
  std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);

  dlg->activateWindow();
  QTest::keyClick(dlg.get(), Qt::Key_D, Qt::ControlModifier);
  auto* panel = dlg->findChild<CPlaybackPanel*>();
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->IsShown());

  tevalo::panels::Playlist().Replace({text::ToUtf16(file), text::ToUtf16(copy)});
  dlg->RefillPlaylist(0);
  auto* playlist = dlg->findChild<CPlaylistWnd*>();
  ASSERT_NE(playlist, nullptr);
  if (!playlist->IsShown()) playlist->Toggle();
  CSkinListCtrl* rows = playlist->List();
  ASSERT_EQ(rows->topLevelItemCount(), 2);
  auto playRow = [&](int row) {
    const QPoint at = rows->visualItemRect(rows->topLevelItem(row)).center();
    QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(rows->viewport(), Qt::LeftButton, {}, at);
  };
  auto position = [&] {
    int tenths = -1;
    auto g = core().MediaGraph();
    return g && g->GetPosition(&tenths) == 1 ? tenths : -1;
  };
  auto playing = [&](const std::string& path) {
    return PumpUntil(
        [&] {
          return core().State().sourceMode == SourceMode::kRecording && !core().State().opening &&
                 panel->FileNameText().contains(
                     QString::fromStdString(std::filesystem::path(path).filename().string())) &&
                 position() > 0;
        },
        60000);
  };
  playRow(1);
  ASSERT_TRUE(playing(copy)) << "name " << panel->FileNameText().toStdString() << ", mode "
                             << int(core().State().sourceMode) << ", opening " << core().State().opening
                             << ", at " << position() << ", index " << tevalo::panels::Playlist().PlayIndex();
  EXPECT_EQ(tevalo::panels::Playlist().PlayIndex(), 1);

  // Time and slider move with the stream.
  const QString shown = panel->PlayTimeText();
  const int slider = panel->Slider()->GetPos();
  EXPECT_TRUE(
      PumpUntil([&] { return panel->PlayTimeText() != shown && panel->Slider()->GetPos() > slider; }, 60000))
      << panel->PlayTimeText().toStdString();
  ASSERT_TRUE(PumpUntil([&] { return position() >= 30; }, 60000));
  {
    // The panel is a window of its own: shown under the main window's picture.
    const QImage main = dlg->grab().toImage();
    const QImage bar = panel->grab().toImage();
    QImage both(std::max(main.width(), bar.width()), main.height() + bar.height(), QImage::Format_RGB32);
    both.fill(Qt::white);
    QPainter p(&both);
    p.drawImage(0, 0, main);
    p.drawImage(0, main.height(), bar);
    p.end();
    EXPECT_TRUE(both.save(QString::fromStdString((ScreenshotFolder() / "playback_panel.png").string())));
  }

  // Held still, each 10 s step lands within one key interval (1 s) of its target.
  QTest::mouseClick(panel->Button(CPlaybackPanelLogic::kPause), Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return core().State().playState == PlayState::kPaused; }, 20000));
  const int held = position();
  ASSERT_GE(held, 30);
  struct Step {
    int id;
    int target;
  } steps[] = {{CPlaybackPanelLogic::kNext, held + 100}, {CPlaybackPanelLogic::kPrevious, held}};
  for (const auto& step : steps) {
    QTest::mouseClick(panel->Button(step.id), Qt::LeftButton);
    EXPECT_TRUE(PumpUntil([&] { return std::abs(position() - step.target) <= 10; }, 20000))
        << step.id << ": at " << position() << ", target " << step.target;
  }

  // The thumb dragged to near the end seeks there.
  auto* bar = panel->Slider();
  const QPoint from = bar->ThumbRect().center();
  const QPoint to(bar->width() * 9 / 10, from.y());
  QTest::mousePress(bar, Qt::LeftButton, {}, from);
  QTest::mouseMove(bar, QPoint((from.x() + to.x()) / 2, from.y()));
  QTest::mouseMove(bar, to);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, to);
  const int dropped = bar->GetPos();
  EXPECT_GT(dropped, held + 100);
  EXPECT_TRUE(PumpUntil([&] { return std::abs(position() - dropped) <= 10; }, 20000))
      << "at " << position() << ", dropped at " << dropped;

  // The other row by double click.
  playRow(0);
  ASSERT_TRUE(playing(file)) << panel->FileNameText().toStdString();
  EXPECT_EQ(tevalo::panels::Playlist().PlayIndex(), 0);
}

// The whole display as the X server has it (the window manager's view of the player).
bool GrabDisplay(const std::string& file) {
  const char* display = std::getenv("DISPLAY");
  if (!display || std::string(std::getenv("QT_QPA_PLATFORM")) != "xcb") return false;
  const std::string description = std::string("ximagesrc display-name=") + display +
                                  " num-buffers=1 ! videoconvert ! pngenc ! filesink location=" + file;
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  if (!pipeline) return false;
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* done = gst_bus_timed_pop_filtered(
      bus, 60 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const bool ok = done && GST_MESSAGE_TYPE(done) == GST_MESSAGE_EOS;
  if (done) gst_message_unref(done);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return ok;
}

// The program as the run command starts it: its own process, the sound into a file, closed by
// WM_CLOSE from this process as the updater closes it.
TEST(PlayerProgramLive, PlaysRecordsAndClosesOnWmCloseFromAnotherProcess) {
  const std::string config = WriteInstallation();
  std::ofstream(config) << "[SETUP]\nAREA_NUM=7\n";
  auto sim = StartSim(SampleChannels());
  const std::string runtime = Env("XDG_RUNTIME_DIR");
  const std::string sound = runtime + "/sound.wav";
  std::filesystem::remove(sound);
  const std::string recordings = runtime + "/rec";
  std::filesystem::remove_all(recordings);
  PlayerProgram program("wavenc ! filesink location=" + sound);
  QProcess& player = program.process;
  ASSERT_TRUE(player.waitForStarted(60000));
  EXPECT_TRUE(program.WaitShown()) << program.log.toStdString();
  // Sound from the first station reaches the sink's file.
  EXPECT_TRUE(PumpUntil([&] { return FileSize(sound) > 200000; }, 120000)) << program.log.toStdString();
  win::HWND hwnd = win::FindWindowW(nullptr, u"Tevalo");
  ASSERT_NE(hwnd, nullptr);
  // The record request the window sends itself, from here: a recording appears and grows.
  win::COPYDATASTRUCT toggle{COPYDATA_RECORD_TOGGLE, 0, nullptr};
  win::SendMessageW(hwnd, win::WM_COPYDATA, 0, reinterpret_cast<win::LPARAM>(&toggle));
  std::string file;
  EXPECT_TRUE(PumpUntil(
      [&] {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(recordings, ec))
          if (e.path().extension() == ".rec" && FileSize(e.path().string()) > 100000)
            file = e.path().string();
        return !file.empty();
      },
      120000));
  EXPECT_TRUE(GrabDisplay((ScreenshotFolder() / "program.png").string()));
  // Recording, the close would ask first: the second request stops it.
  win::SendMessageW(hwnd, win::WM_COPYDATA, 0, reinterpret_cast<win::LPARAM>(&toggle));
  win::PostMessageW(hwnd, win::WM_CLOSE, 0, 0);
  const bool ended = player.waitForFinished(120000);
  if (!ended) player.kill();
  ASSERT_TRUE(ended) << "WM_CLOSE did not end the player";
  EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(player.exitCode(), 0) << program.log.toStdString();
  sim->stop();
}

// Command 32871 on the sample broadcast: the editor over the window, its OK searching the ticked
// channels while it waits, then the pick playing; a list of nothing on the air says so.
TEST_F(PlayerWindowLive, TheListEditorSearchesTheTickedChannelsAndPlaysThePick) {
  ASSERT_TRUE(dlg->OnInitDialog());
  ASSERT_TRUE(WaitPlaying(nullptr));
  const auto tickOnly = [](CChannelListDlg& editor, std::initializer_list<int> channels) {
    for (int i = 0; i < CChannelListDlg::kRows; ++i)
      editor.ChannelList()->item(i, 0)->setCheckState(
          std::find(channels.begin(), channels.end(), i) != channels.end() ? Qt::Checked : Qt::Unchecked);
  };
  // UHF 26 is on the air, UHF 33 is not.
  bool shown = false;
  OnModal<CChannelListDlg>([&](CChannelListDlg& editor) {
    shown = true;
    tickOnly(editor, {13, 20});
    EXPECT_TRUE(
        editor.grab().save(QString::fromStdString((ScreenshotFolder() / "list-editor.png").string())));
    // The display once the X server has the editor mapped and painted over the window.
    if (PumpUntil([&] { return editor.windowHandle() && editor.windowHandle()->isExposed(); }, 20000)) {
      QCoreApplication::processEvents();
      editor.repaint();
      GrabDisplay((ScreenshotFolder() / "list-editor-over-window.png").string());
    }
    QTest::mouseClick(editor.Button(1), Qt::LeftButton);
  });
  auto old = core().MediaGraph();
  EXPECT_EQ(dlg->OnCommand(32871), DispatchResult::Handled);
  ASSERT_TRUE(shown);
  EXPECT_FALSE(core().State().searching);
  EXPECT_EQ(core().CurrentChannel(), u"13131");
  EXPECT_TRUE(WaitPlaying(old.get()));
  auto* panel = dlg->findChild<CChannelPanel*>();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Model().RowCount(), 2);
  EXPECT_EQ(panel->Model().Selected(), panel->Model().RowOfChannel(13));

  OnModal<CChannelListDlg>([&](CChannelListDlg& editor) {
    tickOnly(editor, {20});
    QTest::mouseClick(editor.Button(1), Qt::LeftButton);
  });
  EXPECT_EQ(dlg->OnCommand(32871), DispatchResult::Handled);
  EXPECT_TRUE(PumpUntil(
      [&] { return StripText(StripKind::kStatus) == QStringLiteral("選択されたチャンネルがないです。"); },
      20000))
      << StripText(StripKind::kStatus).toStdString();
  // The closed graph leaves no picture behind the animation: the area is black as at no signal.
  EXPECT_TRUE(PumpUntil([&] { return ShownCode() < 0; }, 20000));
  Shot("list-editor-nothing-found.png");

  // Closing while the editor waits for its search lets the editor go and ends the window.
  OnModal<CChannelListDlg>([&](CChannelListDlg& editor) {
    tickOnly(editor, {12, 13, 14});
    QTest::mouseClick(editor.Button(1), Qt::LeftButton);
    dlg->RequestClose();
  });
  EXPECT_EQ(dlg->OnCommand(32871), DispatchResult::Handled);
  EXPECT_TRUE(PumpUntil([&] { return core().State().closing && !core().State().searching; }, 60000));
}

}  // namespace
}  // namespace tevalo::shell::test
