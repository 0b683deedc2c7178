// The widgets' plain logic, without a display: slider axis, caption layout and countdown, strip ticks
// and tracker zones.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "player/panels/caption_window.h"
#include "player/panels/frame_tracker.h"
#include "player/panels/skin_slider.h"
#include "player/panels/ticker_static.h"

using namespace tevalo::panels;

namespace {

// ---- slider axis

TEST(SkinSliderAxis, PositionsAndPixels) {
  const SkinSliderAxis seek{313, 2, 2, 10, 0, 1000};
  EXPECT_EQ(seek.Travel(), 299);
  struct Case {
    int position;
    int pixel;
  } cases[] = {{0, 7}, {500, 156}, {1000, 306}, {1, 7}, {999, 305}, {-100, -22}};
  for (const Case& c : cases) EXPECT_EQ(seek.PixelOf(c.position), c.pixel) << c.position;
  EXPECT_EQ(seek.PositionOf(7), 0);
  EXPECT_EQ(seek.PositionOf(306), 1000);
  EXPECT_EQ(seek.PositionOf(156), 498);  // truncated on the way back
  EXPECT_EQ(seek.ClampDrag(-40), 7);
  EXPECT_EQ(seek.ClampDrag(400), 306);
  EXPECT_EQ(seek.ClampDrag(100), 100);
}

TEST(SkinSliderAxis, PinnedWhenRangeOrTravelIsEmpty) {
  const SkinSliderAxis cases[] = {
      {313, 2, 2, 10, 0, 0},    // empty range (a duration that reads 1 gives 0..0)
      {14, 2, 2, 10, 0, 1000},  // travel 0
      {10, 2, 2, 10, 0, 1000},  // negative travel
      {313, 2, 2, 10, 50, 50},
  };
  for (const SkinSliderAxis& a : cases) {
    EXPECT_TRUE(a.Pinned());
    for (int p : {a.minimum - 5, a.minimum, a.minimum + 700}) EXPECT_EQ(a.PixelOf(p), 2 + 5);
    for (int px : {-100, 0, 7, 200}) {
      EXPECT_EQ(a.PositionOf(px), a.minimum);
      EXPECT_EQ(a.ClampDrag(px), 7);
    }
  }
}

TEST(SkinSliderAxis, ExtremeValuesStayInRange) {
  const SkinSliderAxis a{313, 2, 2, 10, INT_MIN, INT_MAX};
  EXPECT_EQ(a.PixelOf(INT_MIN), 7);
  EXPECT_EQ(a.PixelOf(INT_MAX), 306);
  EXPECT_EQ(a.PositionOf(7), INT_MIN);
  const SkinSliderAxis tiny{313, 2, 2, 10, 0, 1};
  EXPECT_EQ(tiny.PixelOf(INT_MAX), INT_MAX);  // far outside a changed range, but no overflow
}

// ---- caption layout

CaptionLine Line(int count, int cr, int colour, int time, const std::u16string& text) {
  CaptionLine l{};
  l.lineCount = count;
  l.crFlag = cr;
  l.colour = colour;
  l.timeValue = time;
  std::copy(text.begin(), text.end(), l.text);
  return l;
}

// Lines as they arrive from the decoder (flags 1 or 2, times 0 or more).
CaptionScreen Screen(std::initializer_list<CaptionLine> lines) {
  CaptionScreen s{};
  size_t i = 0;
  for (CaptionLine l : lines) {
    l.lineCount = int(lines.size());
    s[i++] = l;
  }
  return s;
}

const CaptionMeasure kTwelve = [](std::u16string_view t) { return int(t.size()) * 12; };

CaptionLayout Arrive(const CaptionScreen& screen, int width, const CaptionMeasure& measure = kTwelve) {
  CaptionLines lines;
  lines.Set(screen);
  return LayOutCaption(lines.Lines(), width, measure);
}

struct Piece {
  int x;
  int row;
  std::u16string text;
};

void ExpectPieces(const CaptionLayout& layout, const std::vector<Piece>& want) {
  ASSERT_EQ(layout.pieces.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(layout.pieces[i].x, want[i].x) << i;
    EXPECT_EQ(layout.pieces[i].row, want[i].row) << i;
    EXPECT_TRUE(layout.pieces[i].text == want[i].text) << i;
  }
}

TEST(CaptionLayout, Rows) {
  const std::u16string thirty(30, u'字');
  struct Case {
    const char* what;
    CaptionScreen screen;
    int width;
    std::vector<Piece> pieces;
    int blockWidth;
    int blockHeight;
  } cases[] = {
      {"too narrow", Screen({Line(0, 1, 8, 0, u"あいう")}), 250, {}, 0, 0},
      {"just wide enough", Screen({Line(0, 1, 8, 0, u"あいう")}), 251, {{0, 0, u"あいう"}}, 36, 20},
      {"wrapped at k = 300 * 30 / 360",
       Screen({Line(0, 1, 8, 0, thirty)}),
       300,
       {{0, 0, thirty.substr(0, 25)}, {0, 1, thirty.substr(25)}},
       300,
       40},
      {"same flag: next row, going on from x",
       Screen({Line(0, 1, 8, 0, u"ab"), Line(0, 1, 8, 0, u"cde")}),
       300,
       {{0, 0, u"ab"}, {24, 1, u"cde"}},
       60,
       40},
      {"higher flag: x = 0",
       Screen({Line(0, 1, 8, 0, u"ab"), Line(0, 2, 8, 0, u"cde")}),
       300,
       {{0, 0, u"ab"}, {0, 1, u"cde"}},
       36,
       40},
      {"lower flag keeps x",
       Screen({Line(0, 2, 8, 0, u"ab"), Line(0, 1, 8, 0, u"cde")}),
       300,
       {{0, 1, u"ab"}, {24, 2, u"cde"}},
       60,
       60},
      {"first flag 1 after arrival leaves row 0 empty",
       Screen({Line(0, 2, 8, 0, u"ab")}),
       300,
       {{0, 1, u"ab"}},
       24,
       40},
      {"a line at the right edge goes on at x = 0 with nothing cut off",
       Screen({Line(0, 1, 8, 0, std::u16string(25, u'a')), Line(0, 1, 8, 0, u"bc")}),
       300,
       {{0, 0, std::u16string(25, u'a')}, {300, 1, u""}, {0, 2, u"bc"}},
       300,
       60},
      {"no line count", Screen({}), 300, {}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CaptionLayout layout = Arrive(c.screen, c.width);
    ExpectPieces(layout, c.pieces);
    EXPECT_EQ(layout.blockWidth, c.blockWidth);
    EXPECT_EQ(layout.blockHeight, c.blockHeight);
  }
}

TEST(CaptionLayout, ACharacterWiderThanTheWindowStillMovesOn) {
  const CaptionMeasure wide = [](std::u16string_view t) { return int(t.size()) * 400; };
  const CaptionLayout layout = Arrive(Screen({Line(0, 1, 8, 0, u"ab")}), 300, wide);
  ExpectPieces(layout, {{0, 0, u"a"}, {0, 1, u"b"}});
  EXPECT_EQ(layout.blockWidth, 300);
}

TEST(CaptionLayout, Colours) {
  EXPECT_EQ(CaptionColour(1), RGB(0, 0, 0));
  EXPECT_EQ(CaptionColour(2), RGB(255, 0, 0));
  EXPECT_EQ(CaptionColour(4), RGB(255, 255, 0));
  EXPECT_EQ(CaptionColour(8), RGB(255, 255, 255));
  for (int other : {0, 9, -1, 1000}) EXPECT_EQ(CaptionColour(other), RGB(255, 255, 255)) << other;
}

TEST(CaptionLines, DisplayTimesCountDown) {
  // Arrived 0, 1, 2, 5: shown for ever, never, 1 tick, 4 ticks.
  CaptionLines lines;
  lines.Set(Screen(
      {Line(0, 1, 8, 0, u"a"), Line(0, 1, 8, 1, u"b"), Line(0, 1, 8, 2, u"c"), Line(0, 1, 8, 5, u"d")}));
  auto shown = [&] {
    std::u16string out;
    for (const CaptionPiece& p : LayOutCaption(lines.Lines(), 300, kTwelve).pieces) out += p.text;
    return out;
  };
  EXPECT_EQ(shown(), u"acd");
  EXPECT_TRUE(lines.Tick());
  EXPECT_EQ(shown(), u"ad");
  EXPECT_FALSE(lines.Tick());
  EXPECT_FALSE(lines.Tick());
  EXPECT_TRUE(lines.Tick());
  EXPECT_EQ(shown(), u"a");
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(lines.Tick());
  EXPECT_EQ(shown(), u"a");
}

TEST(CaptionLines, ScreenWithoutLineCountKeepsTheOldOne) {
  CaptionLines lines;
  lines.Set(Screen({Line(0, 1, 8, 0, u"old"), Line(0, 2, 2, 0, u"two")}));
  const CaptionScreen before = lines.Lines();
  lines.Set(CaptionScreen{});
  EXPECT_EQ(std::memcmp(&before, &lines.Lines(), sizeof before), 0);
  // A shorter screen replaces only its own records; the first record's count says how many are shown.
  lines.Set(Screen({Line(0, 1, 3, 0, u"new")}));
  EXPECT_EQ(lines.Lines()[0].lineCount, 1);
  EXPECT_TRUE(std::u16string(lines.Lines()[1].text) == u"two");
  EXPECT_EQ(Arrive(Screen({Line(0, 1, 3, 0, u"new")}), 300).pieces.size(), 1u);
  lines.Clear();
  EXPECT_TRUE(LayOutCaption(lines.Lines(), 300, kTwelve).pieces.empty());
}

// ---- strip ticks

TEST(TickerState, Lifetimes) {
  struct Case {
    int ticks;
    int clearedOn;  // the tick that empties the text; 0: never within 1000
  } cases[] = {{0, 1}, {1, 2}, {100, 101}, {-1, 0}};
  for (const Case& c : cases) {
    TickerState s;
    s.SetText("status", false);
    s.StartScroll(true, c.ticks);
    int cleared = 0;
    for (int tick = 1; tick <= 1000 && cleared == 0; ++tick) {
      EXPECT_TRUE(s.Tick(36, 200));
      if (s.Text().isEmpty()) cleared = tick;
    }
    EXPECT_EQ(cleared, c.clearedOn) << c.ticks;
  }
}

TEST(TickerState, ScrollsAPixelATickAndReentersFromTheRight) {
  TickerState s;
  s.SetText("programme", true);
  s.StartScroll(true, -1);
  EXPECT_EQ(s.TextLeft(), 0);
  const int w = 54;  // the text's width
  const int client = 200;
  for (int tick = 1; tick <= w + 1; ++tick) {
    s.Tick(w, client);
    EXPECT_EQ(s.TextLeft(), -tick);
  }
  // Tick w + 1 drew it just out of sight; the next one brings it in at the right edge.
  s.Tick(w, client);
  EXPECT_EQ(s.TextLeft(), client - 1);
  s.Tick(w, client);
  EXPECT_EQ(s.TextLeft(), client - 2);

  // A new text goes on from where the old one was; a new run starts at the left edge.
  s.SetText("next", true);
  s.Tick(24, client);
  EXPECT_EQ(s.TextLeft(), client - 3);
  s.StartScroll(true, -1);
  EXPECT_EQ(s.TextLeft(), 0);
  s.Tick(24, client);
  EXPECT_EQ(s.TextLeft(), -1);
}

TEST(TickerState, FixedTextStaysAtTheLeftEdge) {
  TickerState s;
  s.SetText("チャンネル : ＮＨＫ総合", false);
  s.StartScroll(true, -1);
  for (int i = 0; i < 500; ++i) s.Tick(200, 150);
  EXPECT_EQ(s.TextLeft(), 0);
}

TEST(TickerState, StoppedRunTicksOnceMoreWithoutRearming) {
  TickerState s;
  s.SetText("programme", true);
  s.StartScroll(true, 5);
  s.Tick(54, 200);
  s.StartScroll(false, 0);
  EXPECT_FALSE(s.Tick(54, 200));
  EXPECT_EQ(s.Remaining(), 3);  // the count is left as it was
  EXPECT_EQ(s.TextLeft(), 0);
}

// ---- tracker

TEST(FrameTracker, HitTestZones) {
  CFrameTracker t;
  t.SetRect(100, 100, 300, 200);
  struct Case {
    int x, y;
    unsigned zone;
  } cases[] = {
      {100, 100, kZoneTopLeft},     {86, 86, kZoneTopLeft},
      {115, 115, kZoneTopLeft},     {85, 100, kZoneNone},
      {100, 85, kZoneNone},         {116, 116, kZoneWhole},
      {300, 100, kZoneTopRight},    {313, 86, kZoneTopRight},
      {314, 100, kZoneNone},        {300, 200, kZoneBottomRight},
      {313, 213, kZoneBottomRight}, {286, 186, kZoneBottomRight},
      {100, 200, kZoneBottomLeft},  {200, 100, kZoneTop},
      {186, 86, kZoneTop},          {216, 90, kZoneNone},
      {300, 150, kZoneRight},       {200, 200, kZoneBottom},
      {100, 150, kZoneLeft},        {200, 150, kZoneWhole},
      {250, 90, kZoneNone},         {0, 0, kZoneNone},
      {299, 199, kZoneBottomRight},
  };
  for (const Case& c : cases) EXPECT_EQ(t.HitTest({c.x, c.y}), c.zone) << c.x << "," << c.y;

  CFrameTracker empty;
  EXPECT_EQ(empty.HitTest({0, 0}), kZoneNone);
  empty.SetRect(100, 100, 100, 200);
  EXPECT_EQ(empty.HitTest({100, 150}), kZoneNone);
}

TEST(FrameTracker, MovesPerZone) {
  struct Case {
    unsigned zone;
    TrackerRect after;
  } cases[] = {
      {kZoneTopLeft, {110, 105, 300, 200}},     {kZoneTopRight, {100, 105, 310, 200}},
      {kZoneBottomRight, {100, 100, 310, 205}}, {kZoneBottomLeft, {110, 100, 300, 205}},
      {kZoneTop, {100, 105, 300, 200}},         {kZoneRight, {100, 100, 310, 200}},
      {kZoneBottom, {100, 100, 300, 205}},      {kZoneLeft, {110, 100, 300, 200}},
      {kZoneWhole, {110, 105, 310, 205}},       {kZoneNone, {100, 100, 300, 200}},
  };
  for (const Case& c : cases) {
    CFrameTracker t;
    t.SetRect(100, 100, 300, 200);
    t.BeginMove(c.zone, {500, 500});
    t.MoveTo({504, 502});
    t.MoveTo({510, 505});
    EXPECT_EQ(t.GetRect(), c.after) << c.zone;
    EXPECT_EQ(t.ActiveZone(), c.zone);
  }
}

TEST(FrameTracker, CrossedEdgesSwapAndTheZoneMirrors) {
  struct Case {
    unsigned zone;
    int dx, dy;
    TrackerRect after;
    unsigned zoneAfter;
  } cases[] = {
      {kZoneLeft, 250, 0, {300, 100, 350, 200}, kZoneRight},
      {kZoneRight, -250, 0, {50, 100, 100, 200}, kZoneLeft},
      {kZoneTop, 0, 150, {100, 200, 300, 250}, kZoneBottom},
      {kZoneBottom, 0, -150, {100, 50, 300, 100}, kZoneTop},
      {kZoneTopLeft, 250, 150, {300, 200, 350, 250}, kZoneBottomRight},
      {kZoneTopRight, -250, 0, {50, 100, 100, 200}, kZoneTopLeft},
      {kZoneBottomRight, 0, -150, {100, 50, 300, 100}, kZoneTopRight},
      {kZoneBottomLeft, 250, -150, {300, 50, 350, 100}, kZoneTopRight},
  };
  for (const Case& c : cases) {
    CFrameTracker t;
    t.SetRect(100, 100, 300, 200);
    t.BeginMove(c.zone, {0, 0});
    t.MoveTo({c.dx, c.dy});
    EXPECT_EQ(t.GetRect(), c.after) << c.zone;
    EXPECT_EQ(t.ActiveZone(), c.zoneAfter) << c.zone;
  }
  // The drag goes on with the mirrored zone: further right moves the right edge.
  CFrameTracker t;
  t.SetRect(100, 100, 300, 200);
  t.BeginMove(kZoneLeft, {0, 0});
  t.MoveTo({250, 0});
  t.MoveTo({260, 0});
  EXPECT_EQ(t.GetRect(), (TrackerRect{300, 100, 360, 200}));
}

}  // namespace
