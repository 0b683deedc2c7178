// The screen size the panels' placement checks against; one replaceable function, so that tests can
// choose the screen.
#pragma once

#include <QSize>
#include <functional>

namespace tevalo::panels {

// The primary screen's size unless replaced.
QSize ScreenSize();
// Replaces the function; an empty one restores the primary screen's.
void SetScreenSizeFunction(std::function<QSize()> function);

}  // namespace tevalo::panels
