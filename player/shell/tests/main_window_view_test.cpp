// The main window's skin as users see it, offscreen: the frame, the picture in its 16:9 area, the
// level bars, REC, the views and menu 273. Pictures land in <build>/screenshots/mainwin.
#include "player/shell/main_window_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include "controls/hover_button.h"
#include "player/panels/blink_label.h"
#include "player/resources/player_resources.h"
#include "skin_checks.h"

namespace tevalo::shell {
namespace {

class Env : public ::testing::Environment {
 public:
  void SetUp() override {
    app_ = StartSkinTestApplication("shell_main_window_view_test");
    InstallPlayerResources();
  }
  void TearDown() override { delete app_; }

 private:
  QApplication* app_ = nullptr;
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new Env);

// A still broadcast picture: sky, hills and a bar of colour, 320 x 180.
QImage StillPicture() {
  QImage img(320, 180, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient sky(0, 0, 0, 180);
  sky.setColorAt(0, QColor(62, 104, 150));
  sky.setColorAt(1, QColor(170, 150, 110));
  p.fillRect(img.rect(), sky);
  p.fillRect(QRect(0, 120, 320, 60), QColor(60, 92, 58));
  const QColor bars[] = {Qt::white, Qt::yellow, Qt::cyan, Qt::green, Qt::magenta, Qt::red, Qt::blue};
  for (int i = 0; i < 7; ++i) p.fillRect(QRect(20 + i * 40, 20, 40, 30), bars[i]);
  return img;
}

QString ShotDir() {
  QString dir = qEnvironmentVariable("TEVALO_BINARY_DIR", QDir::tempPath()) + "/screenshots/mainwin";
  QDir().mkpath(dir);
  return dir;
}

void Save(const QImage& image, const char* name) {
  ASSERT_TRUE(image.save(ShotDir() + "/" + name + ".png")) << name;
}

struct Recorder {
  std::vector<uint32_t> commands;
  std::vector<int> icons;
  int doubleClicks = 0, menus = 0;
  bool positionKnown = true, hasGraph = true;
  bool busy = false, searching = false;
  std::vector<int> plays;
  std::vector<std::pair<int, int>> seeks;  // thumb offset, client width
  int placements = 0;
  CMainWindowView::Callbacks Callbacks() {
    CMainWindowView::Callbacks cb{[this](uint32_t id) { commands.push_back(id); },
                                  [this] { ++doubleClicks; },
                                  [this](QPoint) { ++menus; },
                                  nullptr,
                                  nullptr,
                                  nullptr,
                                  [this](int i) { icons.push_back(i); }};
    cb.positionKnown = [this] { return positionKnown; };
    cb.seekThumbDropped = [this](int x, int width) { seeks.emplace_back(x, width); };
    cb.hasGraph = [this] { return hasGraph; };
    cb.videoPlaced = [this] { ++placements; };
    cb.busy = [this] { return busy; };
    cb.searching = [this] { return searching; };
    cb.playbackCommand = [this](int kind) { plays.push_back(kind); };
    return cb;
  }
};

std::unique_ptr<CMainWindowView> MakeView(Recorder& r, Size size, ControlState state) {
  auto view = std::make_unique<CMainWindowView>(r.Callbacks());
  view->resize(size.w, size.h);
  view->SetControlState(state);
  view->SetPicture(StillPicture());
  view->ShowLevelBars(3);
  view->SetRecording(true);
  view->SetRecordingClock("00:12:34");
  // One blink period: the word shows.
  static_cast<panels::CBlinkLabel*>(view->RecordingIndicator())->OnTimer();
  view->SetStrip(Place::kChannelStrip, QString::fromUtf8("13ch テスト放送"));
  view->SetStrip(Place::kProgrammeStrip, QString::fromUtf8("ニュース 12:00-12:30"));
  if (state.captionShown) {
    CaptionScreen caption{};
    const std::u16string text = u"こんにちは、お昼のニュースです";
    caption[0] = {1, 1, 1, 8, 0, {}};
    text.copy(caption[0].text, text.size());
    view->ShowCaption(caption);
  }
  view->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  return view;
}

TEST(MainWindowView, ScreenshotsOfEveryView) {
  Recorder r;
  struct Shot {
    const char* name;
    Size size;
    ControlState state;
  } shots[] = {
      {"main_normal", kNormalViewSize, {}},
      {"main_normal_captions", kNormalCaptionViewSize, {.captionShown = true}},
      {"main_large", kLargeViewSize, {}},
      {"main_compact", kCompactViewSize, {.compact = true}},
      {"main_fullscreen", {1280, 1024}, {.compact = true, .fullScreen = true}},
  };
  for (const auto& s : shots) {
    auto view = MakeView(r, s.size, s.state);
    QImage shot = view->grab().toImage();
    EXPECT_EQ(shot.size(), QSize(s.size.w, s.size.h)) << s.name;
    // The picture fills its 16:9 area.
    Rect v = view->VideoArea();
    EXPECT_EQ(shot.pixelColor(v.x + v.w / 2, v.y + v.h - 3), QColor(60, 92, 58)) << s.name;
    EXPECT_NE(shot.pixelColor(v.x + v.w / 2, v.y + v.h + 1), QColor(60, 92, 58)) << s.name;
    // The normal views are rounded; compact and full screen are plain rectangles.
    const bool rounded = !s.state.compact && !s.state.fullScreen;
    EXPECT_EQ(!view->mask().isEmpty() && !view->mask().contains(QPoint(0, 0)), rounded) << s.name;
    Save(shot, s.name);
  }

  auto view = MakeView(r, kNormalViewSize, {});
  QMenu menu;
  FillContextMenu(
      menu, {{32867, false}, {32810, true}, {32875, false}, {32856, false}, {32833, true}, {32884, true}});
  QImage canvas(kNormalViewSize.w + 360, kNormalViewSize.h + 160, QImage::Format_RGB32);
  canvas.fill(QColor(40, 60, 80));
  QPainter p(&canvas);
  p.drawImage(0, 0, view->grab().toImage());
  menu.popup(view->mapToGlobal(QPoint(120, 140)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
  p.drawImage(120, 140, menu.grab().toImage());
  QMenu* video = menu.actions()[5]->menu();  // "表示": the panels, captions and EPG ticks
  ASSERT_NE(video, nullptr);
  video->popup(
      view->mapToGlobal(QPoint(120 + menu.width(), 140 + menu.actionGeometry(menu.actions()[5]).y())));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(video));
  p.drawImage(120 + menu.width(), 140 + menu.actionGeometry(menu.actions()[5]).y(), video->grab().toImage());
  p.end();
  EXPECT_TRUE(video->actions()[0]->isChecked());  // the channel panel
  EXPECT_FALSE(video->actions()[1]->isChecked());
  Save(canvas, "main_menu");
  video->hide();
  menu.hide();
}

TEST(MainWindowView, FramePictureIsBuiltOncePerSize) {
  Recorder r;
  auto view = MakeView(r, kNormalViewSize, {});
  view->grab();
  view->ShowLevelBars(1);
  view->grab();
  const int builds = view->FrameCache().Builds();
  EXPECT_EQ(builds, 1);
  view->resize(kLargeViewSize.w, kLargeViewSize.h);
  view->grab();
  EXPECT_EQ(view->FrameCache().Builds(), builds + 1);
}

TEST(MainWindowView, ButtonsAndMouseForward) {
  Recorder r;
  auto view = MakeView(r, kNormalViewSize, {});
  auto* forward = static_cast<CHoverButton*>(view->Button(1069));
  ASSERT_NE(forward, nullptr);
  EXPECT_EQ(forward->toolTip(), QString::fromUtf8("進む"));
  EXPECT_EQ(static_cast<CHoverButton*>(view->Button(1070))->toolTip(), QString::fromUtf8("戻る"));
  QTest::mouseClick(forward, Qt::LeftButton);
  EXPECT_EQ(r.commands, std::vector<uint32_t>{1069});
  QTest::mouseDClick(view.get(), Qt::LeftButton, {}, QPoint(170, 150));
  EXPECT_EQ(r.doubleClicks, 1);
  QTest::mousePress(view.get(), Qt::RightButton, {}, QPoint(170, 150));
  EXPECT_EQ(r.menus, 1);
  // The small icons act on a release over the icon pressed; elsewhere they only redraw.
  const int H = kNormalViewSize.h;
  auto send = [&](QEvent::Type type, QPoint at) {
    QMouseEvent e(type, at, view->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
    QCoreApplication::sendEvent(view.get(), &e);
  };
  send(QEvent::MouseButtonPress, {150, H - 18});
  send(QEvent::MouseButtonRelease, {160, H - 18});
  send(QEvent::MouseButtonPress, {120, H - 18});
  send(QEvent::MouseButtonRelease, {150, H - 18});
  EXPECT_EQ(r.icons, std::vector<int>{1});
  // Muted and recording: the other button of each pair shows.
  view->SetControlState({.muted = true, .recording = true});
  EXPECT_TRUE(view->Button(1062)->isVisible());
  EXPECT_FALSE(view->Button(1061)->isVisible());
  EXPECT_TRUE(view->Button(1078)->isVisible());
  EXPECT_FALSE(view->Button(1076)->isVisible());
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons held = Qt::LeftButton) {
  QMouseEvent e(type, at, w->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                {});
  QCoreApplication::sendEvent(w, &e);
}

TEST(MainWindowView, TheSeekThumbFollowsThePointerAndItsDropSeeks) {
  Recorder r;
  auto view = MakeView(r, kNormalViewSize, {.filePlays = true});
  const int y = kNormalViewSize.h - 52;  // on the thumb's row
  const QPoint before = view->pos();
  SendMouse(view.get(), QEvent::MouseButtonPress, {20, y});
  EXPECT_TRUE(view->SeekDragging());
  SendMouse(view.get(), QEvent::MouseMove, {81, y});
  EXPECT_EQ(view->SeekThumbX(), 61);
  SendMouse(view.get(), QEvent::MouseMove, {600, y});  // past the end: held at the track's end
  EXPECT_EQ(view->SeekThumbX(), 123);
  SendMouse(view.get(), QEvent::MouseMove, {81, y});
  SendMouse(view.get(), QEvent::MouseButtonRelease, {81, y}, Qt::NoButton);
  EXPECT_FALSE(view->SeekDragging());
  EXPECT_EQ(r.seeks, (std::vector<std::pair<int, int>>{{61, 346}}));
  EXPECT_EQ(view->pos(), before);  // taking the thumb never drags the window
  // The thumb is now hit where it was dropped, and no longer at the start.
  SendMouse(view.get(), QEvent::MouseButtonPress, {20, y});
  EXPECT_FALSE(view->SeekDragging());
  SendMouse(view.get(), QEvent::MouseButtonRelease, {20, y}, Qt::NoButton);
  SendMouse(view.get(), QEvent::MouseButtonPress, {80, y});
  EXPECT_TRUE(view->SeekDragging());
  SendMouse(view.get(), QEvent::MouseMove, {40, y});
  SendMouse(view.get(), QEvent::MouseButtonRelease, {40, y}, Qt::NoButton);
  EXPECT_EQ(r.seeks.back(), (std::pair<int, int>{21, 346}));
  // Without a position the thumb cannot be taken and nothing seeks.
  r.positionKnown = false;
  SendMouse(view.get(), QEvent::MouseButtonPress, {40, y});
  EXPECT_FALSE(view->SeekDragging());
  SendMouse(view.get(), QEvent::MouseMove, {90, y});
  SendMouse(view.get(), QEvent::MouseButtonRelease, {90, y}, Qt::NoButton);
  EXPECT_EQ(view->SeekThumbX(), 21);
  EXPECT_EQ(r.seeks.size(), 2u);
}

TEST(MainWindowView, AVerticalDragInFullScreenPlacesTheVideoEveryTwentyPixels) {
  Recorder r;
  auto view = MakeView(r, {1280, 1024}, {.fullScreen = true});
  const QPoint before = view->pos();
  SendMouse(view.get(), QEvent::MouseButtonPress, {600, 500});
  for (int y = 499; y >= 440; --y) SendMouse(view.get(), QEvent::MouseMove, {600, y});
  EXPECT_EQ(r.placements, 2);  // 60 up: placed after 21 and 41 pixels, 20 left over
  SendMouse(view.get(), QEvent::MouseMove, {600, 480}, Qt::NoButton);  // no button held: ignored
  EXPECT_EQ(r.placements, 2);
  SendMouse(view.get(), QEvent::MouseButtonRelease, {600, 480}, Qt::NoButton);
  EXPECT_EQ(view->pos(), before);  // full screen never drags the window
  // Without a graph the drag does nothing.
  r.hasGraph = false;
  SendMouse(view.get(), QEvent::MouseButtonPress, {600, 500});
  SendMouse(view.get(), QEvent::MouseMove, {600, 300});
  EXPECT_EQ(r.placements, 2);
}

TEST(MainWindowView, TheCornerResizesToNoLessThanTheView) {
  Recorder r;
  auto view = MakeView(r, kNormalViewSize, {});
  view->move(100, 100);
  const QPoint corner(kNormalViewSize.w - 2, kNormalViewSize.h - 2);
  struct Case {
    QPoint to;  // where the corner is dropped (client coordinates)
    QSize expected;
  } cases[] = {{{200, 200}, {346, 380}}, {{498, 448}, {500, 450}}};  // the corner moves with the pointer
  for (const auto& c : cases) {
    view->resize(kNormalViewSize.w, kNormalViewSize.h);
    const QPoint origin = view->geometry().topLeft();
    QTimer::singleShot(0, view.get(), [&] {
      QMouseEvent move(QEvent::MouseMove, c.to, origin + c.to, Qt::NoButton, Qt::LeftButton, {});
      QCoreApplication::sendEvent(view.get(), &move);
      QMouseEvent up(QEvent::MouseButtonRelease, c.to, origin + c.to, Qt::LeftButton, {}, {});
      QCoreApplication::sendEvent(view.get(), &up);
    });
    QMouseEvent press(QEvent::MouseButtonPress, corner, origin + corner, Qt::LeftButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view.get(), &press);  // returns when the tracker's drag ends
    EXPECT_EQ(view->size(), c.expected) << c.to.x() << "," << c.to.y();
    EXPECT_EQ(view->geometry().topLeft(), origin);
  }
}

// While a graph is being built or a search runs a press does nothing: no drag, no resize, no icon,
// no seek, no menu. The same presses act once the player is free again.
TEST(MainWindowView, PressesAreSwallowedWhileBusyOrSearching) {
  Recorder r;
  auto view = MakeView(r, kNormalViewSize, {.filePlays = true});
  view->move(100, 100);
  const int H = kNormalViewSize.h;
  const QPoint video(170, 150), play(20, H - 24), small(150, H - 18), thumb(20, H - 52);
  const QPoint corner(kNormalViewSize.w - 2, kNormalViewSize.h - 2);
  auto pressAll = [&] {
    const QPoint origin = view->pos();
    QTest::mousePress(view.get(), Qt::LeftButton, {}, video);
    SendMouse(view.get(), QEvent::MouseMove, video + QPoint(40, 30));
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, video + QPoint(40, 30));
    const bool dragged = view->pos() != origin;
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, play);
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, small);
    QTest::mousePress(view.get(), Qt::LeftButton, {}, thumb);
    const bool seekTaken = view->SeekDragging();
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, thumb);
    QTest::mouseClick(view.get(), Qt::RightButton, {}, video);
    // A corner press that is taken runs the tracker until this release.
    const QPoint at = view->geometry().topLeft();
    const QPoint to(kNormalViewSize.w + 58, kNormalViewSize.h + 38);  // the corner follows: 60 x 40 more
    QTimer::singleShot(0, view.get(), [&] {
      QMouseEvent move(QEvent::MouseMove, to, at + to, Qt::NoButton, Qt::LeftButton, {});
      QCoreApplication::sendEvent(view.get(), &move);
      QMouseEvent up(QEvent::MouseButtonRelease, to, at + to, Qt::LeftButton, {}, {});
      QCoreApplication::sendEvent(view.get(), &up);
    });
    QMouseEvent press(QEvent::MouseButtonPress, corner, at + corner, Qt::LeftButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view.get(), &press);
    QCoreApplication::processEvents();  // the release posted for a swallowed press goes nowhere
    return std::tuple{dragged, seekTaken, view->size()};
  };

  for (int blocked = 0; blocked < 2; ++blocked) {
    r.busy = blocked == 0;
    r.searching = blocked == 1;
    const auto [dragged, seekTaken, size] = pressAll();
    EXPECT_FALSE(dragged) << blocked;
    EXPECT_FALSE(seekTaken) << blocked;
    EXPECT_EQ(size, QSize(kNormalViewSize.w, kNormalViewSize.h)) << blocked;
    EXPECT_TRUE(r.plays.empty()) << blocked;
    EXPECT_TRUE(r.icons.empty()) << blocked;
    EXPECT_EQ(r.menus, 0) << blocked;
    EXPECT_TRUE(r.seeks.empty()) << blocked;
  }

  r.busy = r.searching = false;
  const auto [dragged, seekTaken, size] = pressAll();
  EXPECT_TRUE(dragged);
  EXPECT_TRUE(seekTaken);
  EXPECT_EQ(size, QSize(kNormalViewSize.w + 60, kNormalViewSize.h + 40));
  EXPECT_EQ(r.plays, std::vector<int>{1});
  EXPECT_EQ(r.icons, std::vector<int>{1});
  EXPECT_EQ(r.menus, 1);
  EXPECT_EQ(r.seeks.size(), 1u);
}

// The no-signal pause leaves the video area black under its animation, whatever pictures still
// arrive, until it is shown again.
TEST(MainWindowView, AHiddenVideoLeavesTheAreaBlackUntilShownAgain) {
  Recorder r;
  for (ControlState state : {ControlState{}, ControlState{.compact = true}}) {
    auto view = MakeView(r, state.compact ? Size{320, 228} : kNormalViewSize, state);
    const Rect area = view->VideoArea();
    const QPoint inBar(area.x + area.w * 30 / 316, area.y + area.h * 30 / 178);  // the first colour bar
    auto colour = [&] { return view->grab().toImage().pixelColor(inBar); };
    ASSERT_EQ(colour(), QColor(Qt::white));
    view->SetVideoHidden(true);
    EXPECT_EQ(colour(), QColor(Qt::black));
    view->SetVideoHidden(false);
    EXPECT_EQ(colour(), QColor(Qt::white));
    view->SetVideoHidden(true);
    view->SetPicture(StillPicture());  // a paused graph may still hand over the picture it holds
    EXPECT_EQ(colour(), QColor(Qt::black));
    view->SetVideoHidden(false);
    EXPECT_EQ(colour(), QColor(Qt::white));
  }
}

}  // namespace
}  // namespace tevalo::shell
