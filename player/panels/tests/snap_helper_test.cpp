#include "player/panels/snap_helper.h"

#include <gtest/gtest.h>

namespace tevalo::panels {
namespace {

constexpr int W = 346, H = 175;                // the channel panel
constexpr SnapRect kMain{100, 100, 446, 480};  // 346 x 380

SnapRect PanelAt(int x, int y) { return RectAt({x, y}, W, H); }

TEST(SnapHelper, EdgesAndSnappedPlaces) {
  const CSnapHelper snap;
  struct Case {
    const char* what;
    SnapRect q;
    int edge;
    SnapPoint at;
  } cases[] = {
      {"9 above the top, lefts aligned", PanelAt(100, 100 - H - 9), kSnapAbove, {100, 100 - H}},
      {"10 above the top does not snap", PanelAt(100, 100 - H - 10), kSnapNone, {100, 100 - H - 10}},
      {"above, right edges within 10 (inclusive)", PanelAt(110, 100 - H - 3), kSnapAbove, {100, 100 - H}},
      {"above, neither edge near", PanelAt(200, 100 - H + 4), kSnapAbove, {200, 100 - H}},
      {"below, right edges 10 apart are not near", PanelAt(110, 483), kSnapBelow, {110, 480}},
      {"below, lefts near", PanelAt(95, 476), kSnapBelow, {100, 480}},
      {"right of it, tops within 10", PanelAt(451, 110), kSnapRight, {446, 100}},
      {"right of it, bottoms within 10", PanelAt(440, 480 - H + 8), kSnapRight, {446, 480 - H}},
      {"left of it, tops far apart", PanelAt(100 - W + 5, 250), kSnapLeft, {100 - W, 250}},
      // Near the right edge and the top at once: the right edge wins, the tops align.
      {"right beats above", PanelAt(440, 100 - H + 5), kSnapRight, {446, 100 - H + 5}},
      {"far away", PanelAt(700, 700), kSnapNone, {700, 700}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(snap.GetSnapEdge(kMain, c.q), c.edge) << c.what;
    EXPECT_EQ(snap.SnapToMainWindow(kMain, c.q), c.at) << c.what;
  }
  // Ranges that only touch overlap.
  EXPECT_TRUE(CSnapHelper::OverlapsHorizontally({0, 0, 10, 10}, {10, 50, 20, 60}));
  EXPECT_FALSE(CSnapHelper::OverlapsHorizontally({0, 0, 10, 10}, {11, 50, 20, 60}));
  EXPECT_TRUE(CSnapHelper::OverlapsVertically({0, 0, 10, 10}, {50, 10, 60, 20}));
  EXPECT_FALSE(CSnapHelper::OverlapsVertically({0, 0, 10, 10}, {50, 11, 60, 20}));
}

// Drags a panel step by step: each proposal is the current place moved by the mouse's step.
struct Dragger {
  PanelDock dock;
  SnapPoint at;
  SnapPoint Pull(int dx, int dy, OtherPanel other = {}) {
    at = DragSnap(dock, kMain, PanelAt(at.x + dx, at.y + dy), other);
    return at;
  }
};

TEST(SnapHelper, ASnappedPanelHoldsUntilThePullExceedsTen) {
  Dragger d;
  d.at = {470, 300};
  EXPECT_EQ(d.Pull(-15, -195), (SnapPoint{446, 100})) << "snaps onto the right edge, tops aligned";
  EXPECT_TRUE(d.dock.docked);
  EXPECT_EQ(d.dock.edgeToMain, kSnapRight);
  EXPECT_EQ(d.dock.mainTopLeft, (SnapPoint{100, 100}));
  EXPECT_EQ(d.dock.pullMain, (SnapPoint{9, 5}));
  d.dock.pullMain = {};

  EXPECT_EQ(d.Pull(5, 0), (SnapPoint{446, 100})) << "a pull of 5 holds";
  EXPECT_EQ(d.Pull(3, 0), (SnapPoint{446, 100})) << "8 holds";
  EXPECT_EQ(d.Pull(3, 0), (SnapPoint{457, 100})) << "11 releases: it follows the whole pull";
  EXPECT_FALSE(d.dock.docked);
  EXPECT_EQ(d.dock.pullMain, (SnapPoint{0, 0}));
  EXPECT_EQ(d.Pull(2, 0), (SnapPoint{459, 100})) << "free now";
  EXPECT_EQ(d.dock.edgeToMain, kSnapNone);
  EXPECT_EQ(d.dock.position, (SnapPoint{459, 100}));
  EXPECT_EQ(d.Pull(-10, 0), (SnapPoint{446, 100})) << "and snaps again";
}

TEST(SnapHelper, TwoPartnersMergeTheirPlaces) {
  // The other panel hangs below the main window; this one sits at both right edges.
  struct Case {
    const char* what;
    SnapRect other;
    SnapPoint proposed;
    SnapPoint want;
  } cases[] = {
      {"main moves x only: y from the other", {100, 480, 458, 637}, {452, 470}, {446, 480}},
      {"main moves nothing, same x: the other's y", {100, 480, 446, 637}, {446, 470}, {446, 480}},
      {"main moves nothing, other x: the other's x", {100, 480, 450, 637}, {446, 470}, {450, 470}},
  };
  for (const auto& c : cases) {
    PanelDock other{.edgeToMain = kSnapBelow, .docked = true};
    PanelDock self;
    const SnapPoint at = DragSnap(self, kMain, PanelAt(c.proposed.x, c.proposed.y), {&other, c.other, true});
    EXPECT_EQ(at, c.want) << c.what;
    EXPECT_EQ(self.edgeToMain, kSnapRight) << c.what;
    EXPECT_EQ(self.edgeToOther, kSnapRight) << c.what;
    EXPECT_TRUE(self.docked) << c.what;
    EXPECT_EQ(self.pullMain, (SnapPoint{})) << "the both-partners pull is used";
  }
}

TEST(SnapHelper, TheOtherPanelDocksThroughThisOneAndLetsGoWithIt) {
  // This panel is docked below the main window; the other hangs below this one only.
  const SnapRect here = PanelAt(100, 480);
  PanelDock other;
  const SnapRect otherRect = RectAt({100, 660}, 358, 157);
  PanelDock self{.edgeToMain = kSnapBelow, .docked = true};
  SnapPoint at = DragSnap(other, kMain, RectAt({104, 658}, 358, 157), {&self, here, true});
  EXPECT_EQ(at, (SnapPoint{100, 655}));
  EXPECT_EQ(other.edgeToOther, kSnapBelow);
  EXPECT_TRUE(other.docked) << "docked through a docked partner";

  // This panel moves away from the other: the other no longer counts as docked.
  self.docked = true;
  at = DragSnap(self, kMain, PanelAt(700, 700), {&other, otherRect, true});
  EXPECT_EQ(at, (SnapPoint{700, 700}));
  EXPECT_FALSE(self.docked);
  EXPECT_FALSE(other.docked);
  EXPECT_EQ(other.edgeToOther, kSnapNone);

  // A hidden partner is not snapped to.
  PanelDock lone;
  DragSnap(lone, kMain, PanelAt(104, 658), {&self, here, false});
  EXPECT_EQ(lone.edgeToOther, kSnapNone);
}

TEST(SnapHelper, HidingShowingAndFollowingTheMainWindow) {
  PanelDock dock{.docked = true, .position = {446, 100}, .mainTopLeft = {100, 100}};
  HidePanel(dock, {});
  EXPECT_EQ(dock.offset, (SnapPoint{346, 0}));
  // The main window moved while the panel was hidden: it comes back beside it.
  EXPECT_EQ(ShowPosition(dock, {300, 50}, 1920, 1080, {100, 100}), (SnapPoint{646, 50}));
  EXPECT_EQ(dock.mainTopLeft, (SnapPoint{300, 50}));
  AfterShow(dock, {300, 50, 646, 430}, PanelAt(646, 50), {});
  EXPECT_TRUE(dock.docked);
  EXPECT_EQ(dock.edgeToMain, kSnapRight);
  EXPECT_EQ(CarryAlong(dock, {320, 40}), (SnapPoint{666, 40}));

  struct Case {
    SnapPoint stored;
    SnapPoint want;
  } cases[] = {
      {{2000, 100}, {100, 100}}, {{1919, 1029}, {1919, 1029}}, {{100, 1030}, {100, 100}},
      {{-1, 100}, {100, 100}},   {{100, -1}, {100, 100}},
  };
  for (const auto& c : cases) {
    PanelDock loose{.position = c.stored};
    EXPECT_EQ(ShowPosition(loose, {0, 0}, 1920, 1080, {100, 100}), c.want) << c.stored.x << "," << c.stored.y;
  }
  PanelDock loose{.position = {700, 700}};
  AfterShow(loose, kMain, PanelAt(700, 700), {});
  EXPECT_FALSE(loose.docked);
  EXPECT_EQ(CarryAlong(loose, {0, 0}), (SnapPoint{700, 700})) << "an undocked panel stays";

  // Hiding a panel that the other one hangs on undocks the other.
  PanelDock other{.edgeToOther = kSnapBelow, .docked = true};
  PanelDock self{.docked = false};
  HidePanel(self, {&other, {}, true});
  EXPECT_FALSE(other.docked);
}

}  // namespace
}  // namespace tevalo::panels
