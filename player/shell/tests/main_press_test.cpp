#include "player/shell/main_press.h"

#include <gtest/gtest.h>

namespace tevalo::shell {
namespace {

constexpr Size kClient{346, 380};
struct Spot {
  const char* name;
  int x, y;
};
constexpr Spot kVideo{"video", 170, 150};
constexpr Spot kPlay{"play icon", 20, 350};
constexpr Spot kSmall0{"small icon 0", 120, 362};
constexpr Spot kSmall1{"small icon 1", 150, 362};
constexpr Spot kThumb{"seek thumb", 20, 328};
constexpr Spot kBar{"seek bar", 200, 325};

PressInput At(Spot spot) {
  PressInput in;
  in.client = kClient;
  in.x = spot.x;
  in.y = spot.y;
  in.hasGraph = true;
  in.positionKnown = true;
  return in;
}

TEST(MainPress, WhatAPressDoesWhereItLands) {
  using A = PressAction;
  struct Case {
    Spot spot;
    bool positionKnown, corner;
    A expected;
  } cases[] = {
      {kVideo, true, false, A::kDrag},        {kVideo, true, true, A::kResize},
      {kPlay, true, false, A::kPlayIcon},     {kSmall0, true, false, A::kSmallIcon0},
      {kSmall1, true, false, A::kSmallIcon1}, {kThumb, true, false, A::kTakeSeekThumb},
      {kThumb, false, false, A::kNone},       {kBar, true, false, A::kDrag},
      {kBar, false, false, A::kNone},         {kVideo, false, false, A::kDrag},
  };
  for (const auto& c : cases) {
    PressInput in = At(c.spot);
    in.positionKnown = c.positionKnown;
    in.onResizeCorner = c.corner;
    EXPECT_EQ(DecidePress(in), c.expected)
        << c.spot.name << (c.positionKnown ? "" : ", no position") << (c.corner ? ", corner" : "");
  }
}

// Building a graph or searching: no drag, no resize, no icon, no seek, no menu, whatever is pressed.
TEST(MainPress, BusyOrSearchingSwallowsEveryPress) {
  for (bool busy : {true, false})
    for (Spot spot : {kVideo, kPlay, kSmall0, kSmall1, kThumb, kBar})
      for (bool corner : {false, true}) {
        PressInput in = At(spot);
        in.busy = busy;
        in.searching = !busy;
        in.onResizeCorner = corner;
        EXPECT_EQ(DecidePress(in), PressAction::kNone) << spot.name << (busy ? " busy" : " searching");
        in.button = PressButton::kRight;
        EXPECT_EQ(DecidePress(in), PressAction::kNone) << spot.name << " right";
      }
}

TEST(MainPress, RightButtonOpensTheMenuAndOtherButtonsNothing) {
  PressInput in = At(kVideo);
  in.button = PressButton::kRight;
  EXPECT_EQ(DecidePress(in), PressAction::kContextMenu);
  in.fullScreen = true;
  EXPECT_EQ(DecidePress(in), PressAction::kContextMenu);
  in.button = PressButton::kOther;
  EXPECT_EQ(DecidePress(in), PressAction::kNone);
}

// Full screen has no frame to press: only the vertical drag's start, kept even while busy so the
// next move measures from the pointer, not from an old press.
TEST(MainPress, FullScreenMarksTheVerticalDragOnlyWithAGraph) {
  struct Case {
    bool graph, busy, searching;
    PressAction expected;
  } cases[] = {
      {true, false, false, PressAction::kMarkVerticalDrag},
      {true, true, false, PressAction::kMarkVerticalDrag},
      {true, false, true, PressAction::kMarkVerticalDrag},
      {false, false, false, PressAction::kNone},
  };
  for (const auto& c : cases) {
    PressInput in = At(kPlay);  // an icon's place in the framed view means nothing here
    in.fullScreen = true;
    in.hasGraph = c.graph;
    in.busy = c.busy;
    in.searching = c.searching;
    in.onResizeCorner = true;
    EXPECT_EQ(DecidePress(in), c.expected) << c.graph << c.busy << c.searching;
  }
}

}  // namespace
}  // namespace tevalo::shell
