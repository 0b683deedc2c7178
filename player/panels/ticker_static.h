// The main window's one-line text strips (station name, programme text, status line): white text on
// black, fixed at the left edge or scrolling left one pixel a tick (20 ms), with an optional lifetime
// in ticks after which the text is emptied.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace tevalo::panels {

inline constexpr int kTickerTimerBase = 10012;  // + the strip's index
inline constexpr int kTickerTickMs = 20;
// A still text is drawn narrower, down to this share of its width, rather than cut at the strip's
// edge; only a text wider still is cut.
inline constexpr double kTickerMinCondense = 0.8;

// The horizontal scale a still text of textWidth is drawn at in a strip of clientWidth.
double CondenseToFit(int textWidth, int clientWidth);

// What a strip shows from tick to tick.
class TickerState {
 public:
  void SetText(const QString& text, bool scrolling);
  // run: (re)starts at the left edge with `ticks` to live (-1: for ever). !run: the pending tick is the
  // last.
  void StartScroll(bool run, int ticks);
  // One tick. textWidth is the current text's width and clientWidth the strip's width, in pixels.
  // Returns true when the timer is to be armed again.
  bool Tick(int textWidth, int clientWidth);

  const QString& Text() const { return m_text; }
  bool Scrolling() const { return m_scrolling; }
  bool Running() const { return m_running; }
  int Remaining() const { return m_remaining; }
  // Where the text's left edge is drawn.
  int TextLeft() const { return m_running && m_scrolling ? m_shownOffset : 0; }

 private:
  QString m_text;
  bool m_scrolling = false;
  bool m_running = false;
  int m_remaining = 0;
  int m_offset = 50;       // where the next tick moves from
  int m_shownOffset = 50;  // where the last tick drew; a text that left on the left re-enters next tick
};

class CTickerStatic : public QWidget {
  Q_OBJECT
 public:
  explicit CTickerStatic(QWidget* parent = nullptr, int controlId = 0);

  // Once, before the first StartScroll: the timer is 10012 + index.
  void SetIndex(int index) { m_index = index; }
  int TimerId() const { return kTickerTimerBase + m_index; }
  // mode 0: fixed at the left edge; 1: scrolling. Shown by the next tick or paint.
  void SetText(const QString& text, int mode);
  void StartScroll(bool run, int ticks);
  // The strip's tick (called by its timer; tests call it directly).
  void OnTimer();

  const TickerState& State() const { return m_state; }
  bool TimerArmed() const { return m_timer.isActive(); }
  int GetDlgCtrlID() const { return m_controlId; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TickerState m_state;
  QFont m_font;
  QPixmap m_image;  // the text as last drawn
  QString m_imageText;
  int m_imageTextWidth = 0;
  double m_imageScale = 1.0;
  QTimer m_timer;
  int m_index = 0;
  int m_controlId;
};

}  // namespace tevalo::panels
