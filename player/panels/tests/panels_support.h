// Helpers of the widget tests: synthetic skin bitmaps, pixel counts, pictures saved for people.
#pragma once

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "player/panels/skin_slider.h"

namespace panels_test {

// Pixels of exactly this colour within the rectangle.
int CountColour(const QImage& image, const QRect& area, const QColor& colour);
// Pixels that are not black within the rectangle.
int CountLit(const QImage& image, const QRect& area);
// The dark frame colour of the player's windows as the widget's background.
void PaintDark(QWidget& widget);
// Saves a composed picture beside the widgets' screenshots.
void SaveImage(const QImage& image, const QString& name);
// Runs the event loop until done() or about `ms` have passed; returns done().
bool WaitFor(const std::function<bool()>& done, int ms = 60000);

// Records the slider messages posted to it.
class SliderParent : public QWidget {
 public:
  struct Message {
    tevalo::win::UINT message;
    int controlId;
    int position;
  };
  std::vector<Message> messages;
  // Delivers what was posted and returns it, emptying the record.
  std::vector<Message> Take();

 protected:
  bool event(QEvent* e) override;
};

// The skin bitmaps the sliders load in these tests: track, active track and thumb of the playback
// panel's slider (411, 460, 412) and of the volume slider (457, 459, 458).
void RegisterSliderBitmaps();

}  // namespace panels_test
