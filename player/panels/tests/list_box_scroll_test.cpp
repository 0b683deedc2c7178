#include "player/panels/list_box_scroll.h"

#include <gtest/gtest.h>

namespace tevalo::panels {
namespace {

ListBoxScroll WithRows(int rows, int top = 0) {
  ListBoxScroll s;
  s.SetRows(rows);
  s.SetTop(top);
  s.Layout();
  return s;
}

TEST(ListBoxScroll, ThumbSizeAndPlace) {
  struct Case {
    int rows, top;
    int thumbHeight, thumbTop;
  } cases[] = {
      {6, 0, 22, 0},     // nothing to scroll: the thumb stays as it started
      {12, 0, 63, 0},    // 126 x 6 / 12
      {12, 3, 63, 31},   // (3 + 0.5) x 63 / 7
      {100, 0, 22, 0},   // 7 by the formula, 22 at least
      {20, 14, 37, 86},  // the last top row
      {20, 18, 37, 86},  // a top beyond the last is taken as the last before the thumb is placed
  };
  for (const auto& c : cases) {
    const ListBoxScroll s = WithRows(c.rows, c.top);
    EXPECT_EQ(s.ThumbHeight(), c.thumbHeight) << c.rows << " rows, top " << c.top;
    EXPECT_EQ(s.ThumbTop(), c.thumbTop) << c.rows << " rows, top " << c.top;
  }
  EXPECT_EQ(WithRows(20, 18).Top(), 14);
}

TEST(ListBoxScroll, PagesBesideTheThumb) {
  struct Case {
    int rows, top;
    int y;  // the click, at x 4
    int wantTop, wantThumbTop;
  } cases[] = {
      {20, 4, 0, 0, 0},       // above: 4 - 6 is below 0
      {20, 8, 0, 2, 12},      // above: 8 - 6, thumb 2 x 89 / 14
      {20, 12, 125, 14, 89},  // below: 18 passes n - 5 = 15, the last top row is 14, thumb at the bottom
      {20, 0, 125, 6, 38},    // below: 0 + 6
  };
  for (const auto& c : cases) {
    ListBoxScroll s = WithRows(c.rows, c.top);
    s.Press(4, c.y);
    EXPECT_FALSE(s.Dragging());
    EXPECT_TRUE(s.Release(4, c.y));
    EXPECT_EQ(s.Top(), c.wantTop) << "top " << c.top << " click at " << c.y;
    EXPECT_EQ(s.ThumbTop(), c.wantThumbTop) << "top " << c.top << " click at " << c.y;
  }
  // A release elsewhere than the press, or at x 8, pages nothing.
  ListBoxScroll s = WithRows(20, 12);
  s.Press(4, 125);
  EXPECT_FALSE(s.Release(4, 120));
  s.Press(8, 125);
  EXPECT_FALSE(s.Release(8, 125));
  EXPECT_EQ(s.Top(), 12);
}

TEST(ListBoxScroll, DraggingTheThumb) {
  ListBoxScroll s = WithRows(20, 0);
  s.Press(4, 5);
  ASSERT_TRUE(s.Dragging());
  EXPECT_TRUE(s.MoveTo(35));  // 30 pixels at 89 / 14 a row: row 5
  EXPECT_EQ(s.Top(), 5);
  EXPECT_EQ(s.ThumbTop(), 30);
  EXPECT_TRUE(s.MoveTo(500));  // beyond the end: the last top row, the thumb at the bottom
  EXPECT_EQ(s.Top(), 14);
  EXPECT_EQ(s.ThumbTop(), 89);
  EXPECT_TRUE(s.MoveTo(-300));
  EXPECT_EQ(s.Top(), 0);
  EXPECT_EQ(s.ThumbTop(), 0);
  s.Release(4, -300);
  EXPECT_FALSE(s.Dragging());
  EXPECT_FALSE(s.MoveTo(40)) << "no drag after the release";
}

TEST(ListBoxScroll, Wheel) {
  struct Case {
    int rows, top, delta;
    bool moved;
    int wantTop;
  } cases[] = {
      {20, 5, 120, true, 4},  {20, 5, 240, true, 3},     {20, 5, -240, true, 7},
      {20, 5, 360, false, 5}, {20, 5, 60, false, 5},     {20, 0, 120, false, 0},
      {20, 1, 240, true, 0},  {20, 14, -120, false, 14}, {20, 13, -240, true, 14},
  };
  for (const auto& c : cases) {
    ListBoxScroll s = WithRows(c.rows, c.top);
    EXPECT_EQ(s.Wheel(c.delta), c.moved) << "top " << c.top << " delta " << c.delta;
    EXPECT_EQ(s.Top(), c.wantTop) << "top " << c.top << " delta " << c.delta;
  }
}

TEST(ListBoxScroll, SixRowsOrFewerDoNotScroll) {
  for (int rows : {0, 1, 6}) {
    ListBoxScroll s = WithRows(rows, 0);
    EXPECT_FALSE(s.Scrollable());
    EXPECT_FALSE(s.Wheel(-120));
    s.Press(4, 5);
    EXPECT_FALSE(s.Dragging());
    EXPECT_FALSE(s.MoveTo(60));
    s.Press(4, 100);
    EXPECT_FALSE(s.Release(4, 100));
    EXPECT_EQ(s.Top(), 0);
    EXPECT_EQ(s.ThumbHeight(), ListBoxScroll::kMinThumb);
  }
}

}  // namespace
}  // namespace tevalo::panels
