#include "player/panels/caption_window.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>

#include "player/panels/gui_thread.h"

namespace tevalo::panels {

namespace {
constexpr COLORREF kCaptionColours[8] = {
    RGB(0, 0, 0),   RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255), RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255),
};

std::u16string_view LineText(const CaptionLine& line) {
  const char16_t* end = std::find(std::begin(line.text), std::end(line.text), u'\0');
  return {line.text, static_cast<size_t>(end - line.text)};
}

void Lower(int32_t& v) {
  if (v > INT32_MIN) --v;
}
}  // namespace

COLORREF CaptionColour(int code) {
  return code >= 1 && code <= 8 ? kCaptionColours[code - 1] : RGB(255, 255, 255);
}

CaptionLayout LayOutCaption(const CaptionScreen& lines, int clientWidth, const CaptionMeasure& measure) {
  CaptionLayout out;
  const int n = std::clamp(lines[0].lineCount, 0, 8);
  if (n == 0 || clientWidth < kCaptionMinWidth) return out;
  const int width = clientWidth;
  // A decoded line-break flag is 0 or 1; anything else is kept within the window's rows.
  int row = std::clamp(lines[0].crFlag, 0, 8);
  int previousFlag = lines[0].crFlag;
  int x = 0;
  int widest = 0;
  for (int i = 0; i < n; ++i) {
    const CaptionLine& line = lines[size_t(i)];
    if (line.timeValue == 0) continue;  // its time ran out (a negative time is shown for ever)
    if (line.crFlag != previousFlag) {
      if (previousFlag < line.crFlag) x = 0;
      previousFlag = line.crFlag;
    }
    std::u16string_view text = LineText(line);
    int textWidth = measure(text);
    int left = x;
    bool wrapped = false;
    while (!text.empty()) {
      if (int64_t(left) + textWidth > width) {
        // Cut where the share of characters matches the share of width that is left.
        const float share = float(width - left) * float(text.size()) / float(textWidth);
        int64_t k = std::clamp<int64_t>(static_cast<int64_t>(std::trunc(share)), 0, int64_t(text.size()));
        if (k == 0 && left == 0) k = 1;  // a character wider than the window still moves on
        out.pieces.push_back({left, row++, line.colour, std::u16string(text.substr(0, size_t(k)))});
        text.remove_prefix(size_t(k));
        textWidth = measure(text);
        left = 0;
        wrapped = true;
      } else {
        out.pieces.push_back({left, row++, line.colour, std::u16string(text)});
        text = {};
      }
    }
    x = left + textWidth;  // after the last piece (the rest's width is 0 when a cut took everything)
    widest = std::max(widest, x);
    if (wrapped) widest = width;
  }
  out.blockWidth = widest;
  out.blockHeight = row * kCaptionRowHeight;
  return out;
}

int CaptionLines::Count() const { return std::clamp(m_lines[0].lineCount, 0, 8); }

void CaptionLines::Set(const CaptionScreen& lines) {
  for (size_t i = 0; i < lines.size() && lines[i].lineCount != 0; ++i) {
    m_lines[i] = lines[i];
    Lower(m_lines[i].crFlag);
    Lower(m_lines[i].timeValue);
  }
}

void CaptionLines::Clear() {
  for (CaptionLine& line : m_lines) line.lineCount = 0;
}

bool CaptionLines::Tick() {
  bool ranOut = false;
  for (int i = 0; i < Count(); ++i) {
    int32_t& time = m_lines[size_t(i)].timeValue;
    if (time > 0 && --time == 0) ranOut = true;
  }
  return ranOut;
}

CCaptionWnd::CCaptionWnd(QWidget* parent) : QWidget(parent) {
  m_font.setFamily(QStringLiteral("ＭＳ ゴシック"));
  m_font.setPixelSize(12);  // 9 points
  setAttribute(Qt::WA_OpaquePaintEvent);
  m_timer.setInterval(kCaptionTickMs);
  connect(&m_timer, &QTimer::timeout, this, &CCaptionWnd::OnTimer);
}

CCaptionWnd::~CCaptionWnd() { m_timer.stop(); }

void CCaptionWnd::SetCaption(const CaptionScreen& lines) {
  AssertGuiThread();
  m_timer.stop();
  m_lines.Set(lines);
  Relayout();
  m_timer.start();
  update();
}

void CCaptionWnd::ClearCaption() {
  AssertGuiThread();
  m_timer.stop();
  m_lines.Clear();
  Relayout();
  update();
}

void CCaptionWnd::OnTimer() {
  if (!m_lines.Tick()) return;
  Relayout();
  update();
}

void CCaptionWnd::Relayout() {
  const QFontMetrics metrics(m_font);
  m_layout = LayOutCaption(m_lines.Lines(), width(), [&metrics](std::u16string_view text) {
    return metrics.horizontalAdvance(QString::fromUtf16(text.data(), qsizetype(text.size())));
  });
}

QRect CCaptionWnd::BlockRect() const {
  return QRect((width() - m_layout.blockWidth) / 2, (height() - m_layout.blockHeight) / 2,
               m_layout.blockWidth, m_layout.blockHeight);
}

void CCaptionWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (m_layout.pieces.empty()) return;
  const QRect block = BlockRect();
  painter.translate(block.topLeft());
  // The block is composed at the size of the window: whatever lies outside either is not shown.
  painter.setClipRect(QRect(0, 0, std::min(block.width(), width()), std::min(block.height(), height())));
  painter.setFont(m_font);
  for (const CaptionPiece& piece : m_layout.pieces) {
    painter.setPen(ColorFromColorRef(CaptionColour(piece.colour)));
    const QRect cell(piece.x, piece.row * kCaptionRowHeight, width() - piece.x, kCaptionRowHeight);
    painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QString::fromUtf16(piece.text.data(), qsizetype(piece.text.size())));
  }
}

void CCaptionWnd::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Relayout();
  update();
}

void CCaptionWnd::closeEvent(QCloseEvent* event) {
  m_timer.stop();
  QWidget::closeEvent(event);
}

}  // namespace tevalo::panels
