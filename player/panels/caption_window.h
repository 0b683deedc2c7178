// The caption window: one caption screen at a time laid out as coloured text rows on black, centred,
// each line removed when its display time (in 100 ms ticks) runs out.
#pragma once

#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "controls/colorref.h"
#include "player/pipeline/text/text_types.h"

namespace tevalo::panels {

inline constexpr int kCaptionTimerId = 15050;
inline constexpr int kCaptionTickMs = 100;
inline constexpr int kCaptionRowHeight = 20;
inline constexpr int kCaptionMinWidth = 251;  // narrower windows show no caption

// Text colour of a caption colour code (1..8: black, red, green, yellow, blue, magenta, cyan, white);
// any other code is white.
COLORREF CaptionColour(int code);

// One piece of a caption line as drawn: from x to the window's right edge on its row.
struct CaptionPiece {
  int x = 0;
  int row = 0;
  int colour = 8;  // the line's colour code
  std::u16string text;
};

struct CaptionLayout {
  std::vector<CaptionPiece> pieces;
  int blockWidth = 0;
  int blockHeight = 0;
};

// Width in pixels of a text in the caption font.
using CaptionMeasure = std::function<int(std::u16string_view)>;

// Lays out the lines that are shown (display time not 0) into a window `clientWidth` pixels wide.
CaptionLayout LayOutCaption(const CaptionScreen& lines, int clientWidth, const CaptionMeasure& measure);

// The lines on screen and their countdown.
class CaptionLines {
 public:
  CaptionLines() : m_lines{} {}
  // Takes the records up to the first with no line count (at most 8; the others keep their contents),
  // each with its line-break flag and display time lowered by one. A screen whose first record has no
  // line count leaves the old lines.
  void Set(const CaptionScreen& lines);
  void Clear();
  // One 100 ms step; true when a line's time ran out (the layout changes).
  bool Tick();
  const CaptionScreen& Lines() const { return m_lines; }

 private:
  int Count() const;
  CaptionScreen m_lines;
};

class CCaptionWnd : public QWidget {
  Q_OBJECT
 public:
  explicit CCaptionWnd(QWidget* parent = nullptr);
  ~CCaptionWnd() override;

  void SetCaption(const CaptionScreen& lines);
  void ClearCaption();
  // Timer 15050's step (called by the timer; tests call it directly).
  void OnTimer();

  bool TimerActive() const { return m_timer.isActive(); }
  const CaptionLayout& Layout() const { return m_layout; }
  const CaptionLines& Lines() const { return m_lines; }
  const QFont& CaptionFont() const { return m_font; }
  // Where the block stands in the window.
  QRect BlockRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Relayout();

  CaptionLines m_lines;
  CaptionLayout m_layout;
  QFont m_font;
  QTimer m_timer;
};

}  // namespace tevalo::panels
