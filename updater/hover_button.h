// The updater's skinned button: the library's hover button in its older form. Frames are drawn
// opaquely, a disabled button shows frame 0, and a click leaves the pressed frame until the mouse
// leaves the button (there is no release handling).
#pragma once

#include "controls/hover_button.h"

namespace tevalo::updater {

class CHoverButton : public ::CHoverButton {
  Q_OBJECT
 public:
  using ::CHoverButton::CHoverButton;

 protected:
  int ChooseFrame(bool selected) const override;
  bool TransparentFrames() const override { return false; }
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tevalo::updater
