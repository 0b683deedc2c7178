#include "player/shell/main_geometry.h"

#include <gtest/gtest.h>

#include "player/shell/view_state.h"

namespace tevalo::shell {
namespace {

TEST(MainGeometry, VideoRectangleByView) {
  struct Case {
    Size client;
    bool compact, caption;
    Rect expected;
  } cases[] = {
      {{346, 380}, false, false, {15, 55, 316, 178}}, {{346, 440}, false, true, {15, 55, 316, 178}},
      {{666, 560}, false, false, {15, 55, 636, 358}}, {{320, 228}, true, false, {0, 22, 320, 180}},
      {{640, 408}, true, false, {0, 22, 640, 360}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(VideoRect(c.client, c.compact, c.caption), c.expected) << c.client.w << "x" << c.client.h;
}

TEST(MainGeometry, FullScreenPictureIsCentred) {
  EXPECT_EQ(FullScreenVideoRect({1280, 1024}), (Rect{0, 152, 1280, 720}));
  EXPECT_EQ(FullScreenVideoRect({1920, 1080}), (Rect{0, 0, 1920, 1080}));
  EXPECT_EQ(FullScreenVideoRect({2560, 1080}), (Rect{320, 0, 1920, 1080}));
  EXPECT_EQ(Fit16x9(0, 100), (Size{0, 0}));
}

TEST(MainGeometry, SkinFramePiecesFillTheWindow) {
  auto pieces = SkinFramePieces({346, 380}, false);
  ASSERT_EQ(pieces.size(), 10u);
  EXPECT_EQ(pieces[1], (FramePiece{427, {84, 0, 178, 52}}));
  EXPECT_EQ(pieces[3], (FramePiece{423, {0, 52, 84, 234}}));
  EXPECT_EQ(pieces[7], (FramePiece{425, {262, 286, 84, 94}}));
  EXPECT_EQ(pieces[8], (FramePiece{454, {31, 304, 320, 124}}));
  EXPECT_EQ(pieces[9], (FramePiece{499, {13, 7, 224, 16}}));
  auto large = SkinFramePieces({666, 560}, false);
  EXPECT_EQ(large[6], (FramePiece{420, {84, 466, 498, 94}}));
  EXPECT_EQ(large[8], (FramePiece{454, {191, 484, 320, 124}}));
  EXPECT_TRUE(SkinFramePieces({1280, 1024}, true).empty());
  EXPECT_EQ(LevelBarsRect({346, 380}), (Rect{306, 37, 22, 12}));
  EXPECT_EQ(RecordingIndicatorRect({666, 560}), (Rect{536, 36, 80, 15}));
}

TEST(MainGeometry, ControlPlacesAndVisibility) {
  ControlState plain;
  auto p = LayoutControls({346, 380}, plain);
  auto at = [&](int id) { return FindPlace(p, id).value(); };
  EXPECT_EQ(at(1042).rect, (Rect{313, 6, 16, 16}));
  EXPECT_EQ(at(1039).rect, (Rect{272, 6, 16, 16}));
  EXPECT_EQ(at(1053).rect, (Rect{199, 347, 14, 14}));
  EXPECT_EQ(at(1069).rect, (Rect{136, 312, 22, 22}));
  EXPECT_EQ(at(1061).rect, (Rect{36, 312, 22, 22}));
  EXPECT_EQ(at(1060).rect, (Rect{63, 320, 59, 6}));
  EXPECT_EQ(at(static_cast<int>(Place::kChannelStrip)).rect, (Rect{13, 34, 193, 15}));
  EXPECT_EQ(at(static_cast<int>(Place::kStatusStrip)).rect, (Rect{23, 263, 300, 15}));
  EXPECT_EQ(at(static_cast<int>(Place::kAnimation)).rect, (Rect{113, 152, 120, 75}));
  EXPECT_TRUE(at(1077).visible);
  EXPECT_FALSE(at(1078).visible);
  EXPECT_TRUE(at(1075).visible);
  EXPECT_FALSE(at(1074).visible);
  EXPECT_TRUE(at(1073).hiddenLook);
  EXPECT_FALSE(at(1076).visible);
  EXPECT_FALSE(at(static_cast<int>(Place::kCaptionWindow)).visible);
  EXPECT_TRUE(at(static_cast<int>(Place::kProgrammeStrip)).visible);

  auto large =
      LayoutControls({666, 560}, {.timeshift = true, .muted = true, .recording = true, .filePlays = true});
  auto lat = [&](int id) { return FindPlace(large, id).value(); };
  EXPECT_EQ(lat(1072).rect, (Rect{446, 492, 22, 22}));
  EXPECT_EQ(lat(1078).rect, (Rect{414, 492, 22, 22}));
  EXPECT_TRUE(lat(1078).visible && lat(1062).visible && lat(1074).visible);
  EXPECT_FALSE(lat(1077).visible || lat(1061).visible || lat(1075).visible || lat(1073).hiddenLook);
  EXPECT_FALSE(lat(static_cast<int>(Place::kProgrammeStrip)).visible);
  EXPECT_EQ(lat(static_cast<int>(Place::kCaptionWindow)).rect, (Rect{23, 363, 620, 60}));

  auto compact = LayoutControls({320, 228}, {.compact = true, .captionShown = true});
  for (const auto& c : compact) {
    if (c.id != static_cast<int>(Place::kAnimation)) EXPECT_FALSE(c.visible) << c.id;
  }
  auto full = LayoutControls({1280, 1024}, {.fullScreen = true});
  EXPECT_EQ(FindPlace(full, 1072)->rect, (Rect{1220, 964, 22, 22}));
  EXPECT_TRUE(FindPlace(full, 1072)->visible);
  EXPECT_FALSE(FindPlace(full, 1042)->visible);
}

TEST(MainGeometry, HitTestsExcludeTheirBounds) {
  const Size c{346, 380};
  struct Case {
    int x, y;
    bool play;
    int small;
    bool bar;
  } cases[] = {
      {16, 341, true, -1, false},   {15, 341, false, -1, false},  {46, 341, false, -1, false},
      {45, 371, true, -1, false},   {45, 372, false, -1, false},  {116, 357, false, 0, false},
      {139, 360, false, -1, false}, {144, 360, false, 1, false},  {166, 360, false, 1, false},
      {167, 360, false, -1, false}, {116, 356, false, -1, false}, {8, 321, false, -1, true},
      {7, 321, false, -1, false},   {345, 335, false, -1, true},  {346, 330, false, -1, false},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(HitPlayIcon(c, k.x, k.y), k.play) << k.x << "," << k.y;
    EXPECT_EQ(HitSmallIcon(c, k.x, k.y), k.small) << k.x << "," << k.y;
    EXPECT_EQ(HitSeekBar(c, k.x, k.y), k.bar) << k.x << "," << k.y;
  }
  EXPECT_TRUE(HitSeekThumb(c, 100, 108, 324));
  EXPECT_FALSE(HitSeekThumb(c, 100, 107, 324));
  EXPECT_FALSE(HitSeekThumb(c, 100, 137, 324));
  EXPECT_FALSE(HitSeekThumb(c, 100, 108, 323));
}

TEST(MainGeometry, ChannelButtonsTooltipsFollowTheirCommands) {
  for (const auto& b : kMainButtons) {
    if (b.id == 1069) EXPECT_EQ(std::u16string(b.tooltip), u"進む");
    if (b.id == 1070) EXPECT_EQ(std::u16string(b.tooltip), u"戻る");
  }
}

TEST(MainGeometry, IconBitmapsByState) {
  EXPECT_EQ(PlayIconBitmap(0), 142);
  EXPECT_EQ(PlayIconBitmap(kIconHover), 143);
  EXPECT_EQ(PlayIconBitmap(1 | kIconHover), 146);
  EXPECT_EQ(PlayIconBitmap(2), 144);
  EXPECT_EQ(PlayIconBitmap(2 | kIconHover), 145);
  EXPECT_EQ(SmallIconBitmap(0, 0), 164);
  EXPECT_EQ(SmallIconBitmap(0, kIconHover), 163);
  EXPECT_EQ(SmallIconBitmap(0, 1), 159);
  EXPECT_EQ(SmallIconBitmap(1, 0), 167);
  EXPECT_EQ(SmallIconBitmap(1, kIconHover), 166);
  EXPECT_EQ(SmallIconBitmap(1, 1), 168);
}

TEST(MainGeometry, SeekTargetAndResizeClamp) {
  EXPECT_EQ(SeekTarget(36000, 61, 346), 17853);
  EXPECT_EQ(SeekTarget(36000, 123, 346), 36000);
  EXPECT_EQ(SeekTarget(36000, 500, 346), 36000);  // a thumb past the end seeks to the end
  EXPECT_EQ(SeekTarget(36000, 10, 200), 0);       // a bar too narrow to seek on
  EXPECT_EQ(ClampTrackedRect({10, 20, 200, 200}, false, false), (Rect{10, 20, 346, 380}));
  EXPECT_EQ(ClampTrackedRect({10, 20, 200, 200}, false, true), (Rect{10, 20, 346, 440}));
  EXPECT_EQ(ClampTrackedRect({10, 20, 200, 200}, true, false), (Rect{10, 20, 320, 228}));
  EXPECT_EQ(ClampTrackedRect({10, 20, 700, 600}, false, false), (Rect{10, 20, 700, 600}));
}

TEST(MainGeometry, TheDraggedSeekThumbKeepsItsHoldWithinTheTrack) {
  // At 346 wide the track is 0..123; at 666 wide 0..443.
  struct Case {
    int thumbAtPress, pressX, x, width, expected;
  } cases[] = {
      {0, 20, 81, 346, 61},     // taken at its left edge, moved 61 to the right
      {61, 80, 50, 346, 31},    // moved back
      {61, 80, 400, 346, 123},  // past the end: held at the end
      {61, 80, -300, 346, 0},   // past the start, even outside the window
      {61, 80, 400, 666, 381},  // a wider window, a longer track
      {0, 20, 60, 200, 0},      // a window narrower than the bar: no travel
  };
  for (const auto& c : cases)
    EXPECT_EQ(DragSeekThumb(c.thumbAtPress, c.pressX, c.x, c.width), c.expected)
        << c.thumbAtPress << " " << c.pressX << " -> " << c.x << " at " << c.width;
  // A thumb dropped at 61 of 123 seeks to 61/123 of the recording.
  EXPECT_EQ(SeekTarget(36000, DragSeekThumb(0, 20, 81, 346), 346), 17853);
}

TEST(MainGeometry, FullScreenVerticalDragPlacesTheVideoEveryTwentyPixels) {
  CVerticalDrag drag;
  drag.Press(500);
  struct Step {
    int y;
    bool placed;
    int accumulated;
  } steps[] = {
      {490, false, 10},  {480, false, 20},  // exactly 20 is not above 20
      {479, true, 1},                       // 21 up: placed, 20 taken off
      {440, true, 20},                      // 39 more: one placement per move, the rest kept
      {470, false, -10},                    // 30 down
      {490, true, -10},                     // 20 more down: -30, placed, 20 added
  };
  for (const auto& s : steps) {
    EXPECT_EQ(drag.Move(s.y), s.placed) << s.y;
    EXPECT_EQ(drag.Accumulated(), s.accumulated) << s.y;
  }
  // A new press keeps the remainder but moves the reference.
  drag.Press(100);
  EXPECT_FALSE(drag.Move(100));
  EXPECT_EQ(drag.Accumulated(), -10);
  EXPECT_TRUE(drag.Move(111));
  EXPECT_EQ(drag.Accumulated(), -1);
}

TEST(MainGeometry, DockedPanelsFollowAResize) {
  // The window at (100, 100), 346 x 380, grows to 666 x 560: +320, +180.
  const Size grow{320, 180};
  const int right = 446, bottom = 480;
  struct Case {
    Rect panel;
    int relation;
    Rect expected;
  } cases[] = {
      {{446, 100, 346, 175}, 1, {766, 100, 346, 175}},  // docked right
      {{100, 480, 347, 133}, 2, {100, 660, 347, 133}},  // docked below
      {{446, 480, 346, 175}, 3, {766, 660, 346, 175}},
      {{446, 480, 346, 175}, 4, {766, 660, 346, 175}},
      {{0, 100, 100, 175}, 1, {0, 100, 100, 175}},  // left of the edge: stays
      {{100, 0, 347, 100}, 2, {100, 0, 347, 100}},
      {{0, 0, 100, 100}, 3, {0, 180, 100, 100}},  // moved down, not right
      {{0, 0, 100, 100}, 4, {320, 0, 100, 100}},
      {{446, 100, 346, 175}, 0, {446, 100, 346, 175}},  // not docked
  };
  for (const auto& c : cases)
    EXPECT_EQ(FollowResize(c.panel, c.relation, grow, right, bottom), c.expected) << c.relation;
  EXPECT_EQ(FollowMove({446, 100, 346, 175}, -6, 9), (Rect{440, 109, 346, 175}));
}

TEST(MainGeometry, ViewSizesAndTheLargeRefusal) {
  EXPECT_EQ(NormalViewSize(false, false), (Size{346, 380}));
  EXPECT_EQ(NormalViewSize(false, true), (Size{346, 440}));
  EXPECT_EQ(NormalViewSize(true, true), (Size{320, 228}));
  EXPECT_EQ(LargeViewSize(false, 180), (Size{666, 560}));
  EXPECT_EQ(LargeViewSize(true, 180), (Size{640, 408}));
  EXPECT_EQ(LargeViewSize(true, 0), (Size{640, 408}));
  EXPECT_EQ(LargeViewSize(true, 240), (Size{852, 408}));
  EXPECT_TRUE(LargeViewRefused(SourceMode::kOther, true, true));
  EXPECT_TRUE(LargeViewRefused(SourceMode::kLive, true, false));
  EXPECT_FALSE(LargeViewRefused(SourceMode::kRecording, true, false));
  EXPECT_FALSE(LargeViewRefused(SourceMode::kLive, true, true));
  EXPECT_FALSE(LargeViewRefused(SourceMode::kOther, false, false));
  EXPECT_EQ(RegionFor({346, 380}, false, false).cornerDiameter, 20);
  EXPECT_EQ(RegionFor({320, 228}, true, false).cornerDiameter, 0);
  EXPECT_EQ(RegionFor({1280, 1024}, true, true).cornerDiameter, 0);
}

TEST(ViewState, FullScreenAndBackRestoresTheView) {
  const Size screen{1280, 1024};
  CViewState v;
  Rect full = v.EnterFullScreen({50, 60, 346, 380}, screen);
  EXPECT_EQ(full, (Rect{0, 0, 1280, 1024}));
  EXPECT_TRUE(v.FullScreen());
  EXPECT_EQ(v.Last(), LastView::kFullScreen);
  EXPECT_EQ(v.StoredVideoRect(), (Rect{0, 152, 1280, 720}));
  Rect back = v.LeaveFullScreen(full, 180);
  EXPECT_EQ(back, (Rect{50, 60, 346, 380}));
  EXPECT_FALSE(v.FullScreen() || v.Compact());
  EXPECT_EQ(v.Last(), LastView::kNormal);
  EXPECT_FALSE(v.RestoreRect() || v.StoredVideoRect());

  CViewState compact(LastView::kCompact);
  EXPECT_TRUE(compact.Compact());
  full = compact.EnterFullScreen({5, 5, 320, 228}, screen);
  back = compact.LeaveFullScreen(full, 180);
  EXPECT_EQ(back, (Rect{5, 5, 320, 228}));
  EXPECT_TRUE(compact.Compact());
  // The next start opens compact, not full screen.
  EXPECT_EQ(compact.Last(), LastView::kCompact);
}

TEST(ViewState, SizeKeysInFullScreenChooseTheSizeToReturnTo) {
  CViewState v;
  Rect full = v.EnterFullScreen({50, 60, 346, 380}, {1280, 1024});
  auto large = v.SetLargeView(full, SourceMode::kOther, true, false, 180);  // not refused here
  ASSERT_TRUE(large);
  EXPECT_EQ(*large, (Rect{50, 60, 666, 560}));
  EXPECT_FALSE(v.NormalSize());
  full = v.EnterFullScreen(*large, {1280, 1024});
  EXPECT_EQ(v.SetNormalView(full), (Rect{50, 60, 346, 380}));
  EXPECT_TRUE(v.NormalSize());
  EXPECT_FALSE(v.FullScreen());
  // Outside full screen the gate holds.
  EXPECT_FALSE(v.SetLargeView({0, 0, 346, 380}, SourceMode::kOther, true, true, 180));
}

TEST(ViewState, CaptionStripGrowsAndShrinksTheWindow) {
  CViewState v;
  Rect r = v.ToggleCaption({7, 8, 346, 380});
  EXPECT_EQ(r, (Rect{7, 8, 346, 440}));
  EXPECT_TRUE(v.CaptionShown());
  EXPECT_EQ(v.SetNormalView(r), (Rect{7, 8, 346, 440}));
  EXPECT_EQ(v.ToggleCaption(r), (Rect{7, 8, 346, 380}));
}

}  // namespace
}  // namespace tevalo::shell
