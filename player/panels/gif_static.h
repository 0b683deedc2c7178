// The animation control: a still picture, or an animated GIF whose frames follow each other on a
// single-shot timer on the GUI thread.
#pragma once

#include <QByteArray>
#include <QTimer>
#include <QWidget>

#include "player/panels/gif_decoder.h"

namespace tevalo::panels {

inline constexpr QSize kAnimationSize{120, 75};

// Where the main window shows an animation: its client centre less (60, 67), 120 x 75.
QRect AnimationPlacement(QSize client);

class CGifStatic : public QWidget {
  Q_OBJECT
 public:
  explicit CGifStatic(QWidget* parent = nullptr, int controlId = 0);
  ~CGifStatic() override;

  // A "GIF" resource by identifier; false when it is missing or cannot be shown.
  bool LoadFromResource(unsigned id);
  // Stops and unloads what was there, then loads; the control takes the picture's size.
  bool Load(const QByteArray& data);
  // False when nothing is loaded, and for an animation, which starts (or starts again) running; a still
  // picture is drawn and true returned.
  bool Draw();
  // Ends the animation at once; the canvas keeps its picture.
  void Stop();
  void Unload();
  // The frame timer's step (called by the timer; tests call it directly).
  void OnFrameTimer();

  bool Animating() const { return m_timer.isActive(); }
  // The delay the running frame was armed with.
  int ArmedDelayMs() const { return m_timer.interval(); }
  const GifAnimation& Animation() const { return m_animation; }
  int GetDlgCtrlID() const { return m_controlId; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  GifAnimation m_animation;
  QTimer m_timer;
  int m_controlId;
};

}  // namespace tevalo::panels
