// What a mouse press on the main window does, decided from the player's state and where it lands,
// before the window acts on it. While a graph is being built or a search runs the press is
// swallowed: a drag or a command then would race the open or the search.
#pragma once

#include "player/shell/main_geometry.h"

namespace tevalo::shell {

enum class PressButton { kLeft, kRight, kOther };

enum class PressAction {
  kNone,              // swallowed, or nothing to do there
  kMarkVerticalDrag,  // full screen with a graph: the vertical drag measures from here
  kPlayIcon,          // pressed; the release on it plays or pauses
  kSmallIcon0,        // pressed; the release on it opens a file
  kSmallIcon1,        // pressed; the release on it steps the playlist
  kTakeSeekThumb,     // the thumb follows the pointer until the release seeks
  kResize,            // the resize corner's tracker
  kDrag,              // the window follows the pointer
  kContextMenu,
};

struct PressInput {
  PressButton button = PressButton::kLeft;
  bool busy = false;  // a graph is being built
  bool searching = false;
  bool fullScreen = false;
  bool hasGraph = false;
  bool positionKnown = false;  // the graph reports its position
  bool onResizeCorner = false;
  Size client;
  int thumbX = 0;  // the seek thumb's offset on its track
  int x = 0;
  int y = 0;
};

PressAction DecidePress(const PressInput& in);

}  // namespace tevalo::shell
