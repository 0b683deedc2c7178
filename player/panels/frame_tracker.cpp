#include "player/panels/frame_tracker.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <utility>

#include "player/panels/gui_thread.h"

namespace tevalo::panels {

namespace {
constexpr int kReach = (CFrameTracker::kZoneSize - 1) / 2;  // how far a handle reaches out from its anchor
constexpr unsigned kZoneOrder[] = {kZoneTopLeft, kZoneTopRight, kZoneBottomRight, kZoneBottomLeft, kZoneTop,
                                   kZoneRight,   kZoneBottom,   kZoneLeft,        kZoneWhole};

unsigned Swap(unsigned zone, unsigned a, unsigned b) {
  if (zone == a) return b;
  if (zone == b) return a;
  return zone;
}
}  // namespace

TrackerRect CFrameTracker::ZoneRect(unsigned zone) const {
  const TrackerRect& r = m_rect;
  const int midX = (r.left + r.right) / 2;
  const int midY = (r.top + r.bottom) / 2;
  QPoint anchor;
  switch (zone) {
    case kZoneTopLeft:
      anchor = {r.left, r.top};
      break;
    case kZoneTopRight:
      anchor = {r.right, r.top};
      break;
    case kZoneBottomRight:
      anchor = {r.right, r.bottom};
      break;
    case kZoneBottomLeft:
      anchor = {r.left, r.bottom};
      break;
    case kZoneTop:
      anchor = {midX, r.top};
      break;
    case kZoneRight:
      anchor = {r.right, midY};
      break;
    case kZoneBottom:
      anchor = {midX, r.bottom};
      break;
    case kZoneLeft:
      anchor = {r.left, midY};
      break;
    case kZoneWhole:
      return r;
    default:
      return {};
  }
  const int x = anchor.x() - kReach;
  const int y = anchor.y() - kReach;
  return {x, y, x + kZoneSize, y + kZoneSize};
}

unsigned CFrameTracker::HitTest(QPoint screen) const {
  if (m_rect.Empty()) return kZoneNone;
  auto has = [this](unsigned zones) { return (m_zoneMask & zones) != 0; };
  TrackerRect outer = m_rect;
  if (has(kZoneTopLeft | kZoneBottomLeft | kZoneLeft)) outer.left -= kReach;
  if (has(kZoneTopLeft | kZoneTopRight | kZoneTop)) outer.top -= kReach;
  if (has(kZoneTopRight | kZoneBottomRight | kZoneRight)) outer.right += kReach;
  if (has(kZoneBottomRight | kZoneBottomLeft | kZoneBottom)) outer.bottom += kReach;
  if (!outer.Contains(screen)) return kZoneNone;
  for (unsigned zone : kZoneOrder)
    if (has(zone) && ZoneRect(zone).Contains(screen)) return zone;
  return kZoneNone;
}

void CFrameTracker::BeginMove(unsigned zone, QPoint at) {
  m_zone = zone;
  m_start = at;
  m_last = at;
}

void CFrameTracker::MoveTo(QPoint at) {
  const int dx = at.x() - m_last.x();
  const int dy = at.y() - m_last.y();
  TrackerRect& r = m_rect;
  switch (m_zone) {
    case kZoneTopLeft:
      r.top += dy, r.left += dx;
      break;
    case kZoneTopRight:
      r.top += dy, r.right += dx;
      break;
    case kZoneBottomRight:
      r.bottom += dy, r.right += dx;
      break;
    case kZoneBottomLeft:
      r.bottom += dy, r.left += dx;
      break;
    case kZoneTop:
      r.top += dy;
      break;
    case kZoneRight:
      r.right += dx;
      break;
    case kZoneBottom:
      r.bottom += dy;
      break;
    case kZoneLeft:
      r.left += dx;
      break;
    case kZoneWhole:
      r = {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
      break;
    default:
      break;
  }
  // An edge dragged across its opposite swaps with it and the drag goes on with the mirrored zone.
  if (r.right < r.left) {
    std::swap(r.left, r.right);
    m_zone = Swap(Swap(Swap(m_zone, kZoneTopLeft, kZoneTopRight), kZoneBottomRight, kZoneBottomLeft),
                  kZoneRight, kZoneLeft);
  }
  if (r.bottom < r.top) {
    std::swap(r.top, r.bottom);
    m_zone = Swap(Swap(Swap(m_zone, kZoneTopLeft, kZoneBottomLeft), kZoneTopRight, kZoneBottomRight),
                  kZoneTop, kZoneBottom);
  }
  m_last = at;
}

void CFrameTracker::ShowOutline() {
  if (!m_outline) return;
  if (m_rect.Empty()) {
    m_outline->hide();
    return;
  }
  m_outline->setGeometry(m_rect.ToQRect());
  m_outline->show();
}

// A 1-pixel outline readable on any background (dark line with a light one inside), shaped to the
// frame so whatever lies under the rectangle stays visible, with or without a compositor.
class CFrameTracker::OutlineWindow : public QWidget {
 public:
  OutlineWindow()
      : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                             Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void resizeEvent(QResizeEvent*) override {
    const QRegion all(rect());
    setMask(width() > 4 && height() > 4 ? all.subtracted(QRegion(rect().adjusted(2, 2, -2, -2))) : all);
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(0x10, 0x12, 0x16));
    p.setPen(QColor(0xf0, 0xf3, 0xf7));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
  }
};

// Sees every event of the application while a track runs: the pointer's moves and the end of the drag
// are taken from whichever object they are sent to, and go no further.
class CFrameTracker::Filter : public QObject {
 public:
  Filter(CFrameTracker& tracker, QWidget* owner, QEventLoop& loop)
      : m_tracker(tracker), m_owner(owner), m_loop(loop) {}

  bool done = false;

  void End(bool restore) {
    if (done) return;
    if (restore) m_tracker.MoveTo(m_tracker.m_start);
    done = true;
    m_loop.exit();
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (done) return false;
    if (!m_owner || QWidget::mouseGrabber() != m_owner) {
      End(true);
      return false;
    }
    switch (event->type()) {
      case QEvent::MouseMove:
        m_tracker.MoveTo(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        m_tracker.ShowOutline();
        return true;
      case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) End(false);
        return true;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
        return true;
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) End(true);
        return true;
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
        return true;
      default:
        return false;
    }
  }

 private:
  CFrameTracker& m_tracker;
  QPointer<QWidget> m_owner;
  QEventLoop& m_loop;
};

void CFrameTracker::Track(QWidget* owner, QPoint screen) {
  AssertGuiThread();
  if (m_tracking || !owner) return;
  BeginMove(HitTest(screen), screen);
  m_tracking = true;
  OutlineWindow outline;  // top-level: it may reach outside the owner
  m_outline = &outline;
  ShowOutline();

  QPointer<QWidget> guard(owner);
  const bool takeMouse = QWidget::mouseGrabber() != owner;
  if (takeMouse) owner->grabMouse();
  const bool takeKeyboard = QWidget::keyboardGrabber() != owner;
  if (takeKeyboard) owner->grabKeyboard();

  QEventLoop loop;
  Filter filter(*this, owner, loop);
  qApp->installEventFilter(&filter);
  loop.exec();
  qApp->removeEventFilter(&filter);

  if (guard) {
    if (takeKeyboard && QWidget::keyboardGrabber() == owner) owner->releaseKeyboard();
    if (takeMouse && QWidget::mouseGrabber() == owner) owner->releaseMouse();
  }
  m_outline = nullptr;
  m_tracking = false;
}

}  // namespace tevalo::panels
