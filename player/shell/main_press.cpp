#include "player/shell/main_press.h"

namespace tevalo::shell {

PressAction DecidePress(const PressInput& in) {
  const bool blocked = in.busy || in.searching;
  if (in.button == PressButton::kRight) return blocked ? PressAction::kNone : PressAction::kContextMenu;
  if (in.button != PressButton::kLeft) return PressAction::kNone;
  // The drag's starting point is kept even while blocked, so a later move does not jump from a stale
  // point; full screen has nothing else to press.
  if (in.fullScreen) return in.hasGraph ? PressAction::kMarkVerticalDrag : PressAction::kNone;
  if (blocked) return PressAction::kNone;
  if (HitPlayIcon(in.client, in.x, in.y)) return PressAction::kPlayIcon;
  switch (HitSmallIcon(in.client, in.x, in.y)) {
    case 0:
      return PressAction::kSmallIcon0;
    case 1:
      return PressAction::kSmallIcon1;
    default:
      break;
  }
  if (HitSeekThumb(in.client, in.thumbX, in.x, in.y))
    return in.positionKnown ? PressAction::kTakeSeekThumb : PressAction::kNone;
  if (HitSeekBar(in.client, in.x, in.y)) return in.positionKnown ? PressAction::kDrag : PressAction::kNone;
  return in.onResizeCorner ? PressAction::kResize : PressAction::kDrag;
}

}  // namespace tevalo::shell
