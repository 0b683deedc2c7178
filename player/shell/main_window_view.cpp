#include "player/shell/main_window_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <utility>

#include "controls/hover_button.h"
#include "controls/resources.h"
#include "player/panels/blink_label.h"
#include "player/panels/caption_window.h"
#include "player/panels/frame_tracker.h"
#include "player/panels/skin_slider.h"
#include "player/panels/ticker_static.h"
#include "player/resources/context_menu.h"

namespace tevalo::shell {

using panels::CBlinkLabel;
using panels::CCaptionWnd;
using panels::CFrameTracker;
using panels::CSkinSlider;
using panels::CTickerStatic;

namespace {
QRect Q(const Rect& r) { return {r.x, r.y, r.w, r.h}; }
}  // namespace

const QImage& CMainFrameCache::Frame(Size client) {
  if (!m_frame.isNull() && m_size == client) return m_frame;
  m_size = client;
  ++m_builds;
  m_frame = QImage(client.w, client.h, QImage::Format_RGB32);
  m_frame.fill(Qt::black);
  QPainter p(&m_frame);
  // Edges are one-pixel rows or columns: stretched without smoothing they stay crisp.
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  for (const FramePiece& piece : SkinFramePieces(client, false)) {
    QImage bmp = LoadBitmapResource(piece.bitmap);
    if (bmp.isNull() || piece.rect.w <= 0 || piece.rect.h <= 0) continue;
    // The bottom panel and the title keep their own size (the panel runs past the bottom edge);
    // corners and edges fill their rectangles.
    if (piece.bitmap == 454 || piece.bitmap == 499)
      p.drawImage(QPoint(piece.rect.x, piece.rect.y), bmp);
    else
      p.drawImage(Q(piece.rect), bmp);
  }
  return m_frame;
}

void FillContextMenu(QMenu& menu, const std::map<uint32_t, bool>& ticks) {
  menu.clear();
  for (const MenuPopup& popup : ContextMenuPopups()) {
    QMenu* sub = menu.addMenu(QString::fromUtf8(popup.title.data(), static_cast<int>(popup.title.size())));
    for (const MenuCommand& c : popup.commands) {
      QAction* a = sub->addAction(QString::fromUtf8(c.text.data(), static_cast<int>(c.text.size())));
      a->setData(c.id);
      auto tick = ticks.find(c.id);
      if (tick != ticks.end()) {
        a->setCheckable(true);
        a->setChecked(tick->second);
      }
    }
  }
}

CMainWindowView::CMainWindowView(Callbacks callbacks, QWidget* parent)
    : QWidget(parent), m_cb(std::move(callbacks)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setWindowFlag(Qt::FramelessWindowHint);
  setMouseTracking(true);
  for (const MainButton& b : kMainButtons) {
    auto* button = new CHoverButton(this, b.id);
    button->LoadBitmapW(b.bitmap);
    if (b.tooltip[0]) button->SetToolTipText(QString::fromStdU16String(b.tooltip));
    connect(button, &QAbstractButton::clicked, this, [this, id = b.id] {
      if (m_cb.command) m_cb.command(id);
    });
    m_buttons[b.id] = button;
  }
  auto* channel = new CTickerStatic(this);
  auto* programme = new CTickerStatic(this);
  auto* status = new CTickerStatic(this);
  channel->SetIndex(0);
  programme->SetIndex(1);
  status->SetIndex(2);
  m_places[Place::kChannelStrip] = channel;
  m_places[Place::kProgrammeStrip] = programme;
  m_places[Place::kStatusStrip] = status;
  m_places[Place::kCaptionWindow] = new CCaptionWnd(this);
  m_recIndicator = new CBlinkLabel(this, 1064);
  m_recIndicator->hide();
  m_volume = new CSkinSlider(this, static_cast<int>(Place::kVolumeSlider));
  m_volume->SetTrackBitmaps(59, 457, 459, false, 0, 0, 0);
  m_volume->SetThumbBitmaps(458, 458, false, 0, 0, 0);
  m_volume->SetRange(0, 900);
  m_volume->SetPos(900);
  m_places[Place::kVolumeSlider] = m_volume;
  resize(kNormalViewSize.w, kNormalViewSize.h);
  Relayout();
}

CMainWindowView::~CMainWindowView() = default;

ControlState WithView(ControlState state, const CViewState& view) {
  state.compact = view.Compact();
  state.fullScreen = view.FullScreen();
  state.captionShown = view.CaptionShown();
  return state;
}

QWidget* CMainWindowView::PlaceWidget(Place place) const {
  auto it = m_places.find(place);
  return it == m_places.end() ? nullptr : it->second;
}

void CMainWindowView::SetControlState(const ControlState& state) {
  m_state = state;
  Relayout();
  update();
}

void CMainWindowView::ShowLevelBars(int bars) {
  if (bars == m_bars) return;
  m_bars = bars;
  update(Q(LevelBarsRect(ClientSize())));
}

void CMainWindowView::SetRecording(bool recording) {
  if (recording != m_recording) m_recIndicator->SetBlink(recording, QStringLiteral("REC"));
  m_recording = recording;
  m_state.recording = recording;
  Relayout();
}

void CMainWindowView::ShowCaption(const CaptionScreen& lines) {
  static_cast<CCaptionWnd*>(m_places[Place::kCaptionWindow])->SetCaption(lines);
}

void CMainWindowView::SetVolumeSlider(int position) { m_volume->SetPos(position); }

void CMainWindowView::SetMuteLook(bool muted) {
  m_volume->EnableSlider(!muted);
  m_state.muted = muted;
  Relayout();
}

QWidget* CMainWindowView::RecordingIndicator() const { return m_recIndicator; }

bool CMainWindowView::event(QEvent* e) {
  if (e->type() == panels::SkinSliderEvent::Type()) {
    auto* moved = static_cast<panels::SkinSliderEvent*>(e);
    if (moved->message == panels::WM_SKINSLIDER_MOVING && m_cb.volumeMoving)
      m_cb.volumeMoving(moved->position);
    return true;
  }
  return QWidget::event(e);
}

void CMainWindowView::SetPicture(const QImage& picture) {
  m_picture = picture;
  update(Q(VideoArea()));
}

void CMainWindowView::SetVideoHidden(bool hidden) {
  if (m_videoHidden == hidden) return;
  m_videoHidden = hidden;
  update(Q(VideoArea()));
}

void CMainWindowView::SetStrip(Place strip, const QString& text) {
  if (auto* t = qobject_cast<CTickerStatic*>(m_places[strip])) t->SetText(text, 0);
}

void CMainWindowView::SetRecordingClock(const QString& text) { m_recIndicator->SetWindowText(text); }

Rect CMainWindowView::VideoArea() const {
  if (m_state.fullScreen) return FullScreenVideoRect(ClientSize());
  return VideoRect(ClientSize(), m_state.compact, m_state.captionShown);
}

QWidget* CMainWindowView::Button(int id) const {
  auto it = m_buttons.find(id);
  return it == m_buttons.end() ? nullptr : it->second;
}

void CMainWindowView::ApplyGeometry(Rect rect) {
  if (!m_state.fullScreen) setGeometry(rect.x, rect.y, rect.w, rect.h);
}

void CMainWindowView::SetFullScreen(bool on, Rect screen) {
  m_state.fullScreen = on;
  if (on) setGeometry(Q(screen));
  Relayout();
  update();
}

void CMainWindowView::SetTopmost(bool topmost) {
  const QRect keep = geometry();
  const bool shown = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
  setGeometry(keep);
  if (shown) show();
}

void CMainWindowView::Relayout() {
  const Size c = ClientSize();
  for (const ControlPlace& place : LayoutControls(c, m_state)) {
    QWidget* w = nullptr;
    if (auto b = m_buttons.find(place.id); b != m_buttons.end()) {
      w = b->second;
      if (place.id == 1073) b->second->setHideButton(place.hiddenLook);
    } else if (auto p = m_places.find(static_cast<Place>(place.id)); p != m_places.end()) {
      w = p->second;
    }
    if (!w) continue;
    w->setGeometry(Q(place.rect));
    w->setVisible(place.visible);
  }
  const bool framed = !m_state.compact && !m_state.fullScreen;
  m_recIndicator->setGeometry(Q(RecordingIndicatorRect(c)));
  m_recIndicator->setVisible(framed && m_recording);
  const WindowRegion region = RegionFor(c, m_state.compact, m_state.fullScreen);
  if (region.cornerDiameter > 0) {
    QPainterPath path;
    path.addRoundedRect(Q(region.rect), region.cornerDiameter / 2.0, region.cornerDiameter / 2.0);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
  } else {
    clearMask();
  }
}

void CMainWindowView::resizeEvent(QResizeEvent*) {
  Relayout();
  if (m_cb.framePainted) m_cb.framePainted();
}

void CMainWindowView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const Size c = ClientSize();
  const bool framed = !m_state.compact && !m_state.fullScreen;
  if (framed)
    p.drawImage(0, 0, m_cache.Frame(c));
  else
    p.fillRect(rect(), Qt::black);
  if (!m_picture.isNull() && !m_videoHidden) {
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.drawImage(Q(VideoArea()), m_picture);
  }
  if (!framed) return;
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  QImage bars = LoadBitmapResource(309 + std::clamp(m_bars, 0, 4));
  if (!bars.isNull()) p.drawImage(Q(LevelBarsRect(c)), bars);
  QImage play = LoadBitmapResource(PlayIconBitmap(m_playIconState));
  if (!play.isNull()) p.drawImage(Q(PlayIconRect(c)), play);
  for (int i = 0; i < 2; ++i) {
    QImage icon = LoadBitmapResource(SmallIconBitmap(i, m_pressedSmallIcon == i ? 1 : 0));
    if (!icon.isNull()) p.drawImage(Q(SmallIconRect(c, i)), icon);
  }
}

bool CMainWindowView::OnResizeCorner(QPoint local) const {
  if (m_state.fullScreen) return false;
  CFrameTracker tracker;
  tracker.SetRect(0, 0, width(), height());
  return tracker.HitTest(local) == panels::kZoneBottomRight;
}

void CMainWindowView::mousePressEvent(QMouseEvent* e) {
  const QPoint local = e->position().toPoint();
  PressInput in;
  in.button = e->button() == Qt::LeftButton    ? PressButton::kLeft
              : e->button() == Qt::RightButton ? PressButton::kRight
                                               : PressButton::kOther;
  in.busy = Asks(m_cb.busy);
  in.searching = Asks(m_cb.searching);
  in.fullScreen = m_state.fullScreen;
  in.hasGraph = Asks(m_cb.hasGraph);
  in.positionKnown = Asks(m_cb.positionKnown);
  in.onResizeCorner = OnResizeCorner(local);
  in.client = ClientSize();
  in.thumbX = m_thumbX;
  in.x = local.x();
  in.y = local.y();
  // Hosted in the dialog the skin is a child: drag and resize act on the window it fills.
  QWidget* frame = window();
  const PressAction action = DecidePress(in);
  switch (action) {
    case PressAction::kNone:
      break;
    case PressAction::kContextMenu:
      if (m_cb.contextMenu) m_cb.contextMenu(e->globalPosition().toPoint());
      break;
    case PressAction::kMarkVerticalDrag:
      m_verticalDrag.Press(local.y());
      break;
    case PressAction::kPlayIcon:
      m_playIconState = 1;
      update(Q(PlayIconRect(in.client)));
      break;
    case PressAction::kSmallIcon0:
    case PressAction::kSmallIcon1:
      m_pressedSmallIcon = action == PressAction::kSmallIcon0 ? 0 : 1;
      update(Q(SmallIconRect(in.client, m_pressedSmallIcon)));
      break;
    case PressAction::kTakeSeekThumb:
      m_seekDrag = true;
      m_thumbAtPress = m_thumbX;
      m_seekPressX = local.x();
      break;
    case PressAction::kResize: {
      // The corner only resizes: the tracker's bottom-right zone, then the view's least size.
      CFrameTracker tracker;
      const QRect g = frame->geometry();
      tracker.SetRect(g.left(), g.top(), g.right() + 1, g.bottom() + 1);
      tracker.Track(this, e->globalPosition().toPoint());
      QRect r = tracker.GetRect().ToQRect();
      Rect clamped =
          ClampTrackedRect({r.x(), r.y(), r.width(), r.height()}, m_state.compact, m_state.captionShown);
      frame->setGeometry(Q(clamped));
      break;
    }
    case PressAction::kDrag:
      m_dragging = true;
      m_dragOffset = e->globalPosition().toPoint() - frame->frameGeometry().topLeft();
      break;
  }
}

void CMainWindowView::PlaceVideo() {
  update(Q(VideoArea()));
  if (m_cb.videoPlaced) m_cb.videoPlaced();
}

void CMainWindowView::mouseMoveEvent(QMouseEvent* e) {
  const QPoint local = e->position().toPoint();
  setCursor(OnResizeCorner(local) ? Qt::SizeFDiagCursor : Qt::ArrowCursor);
  if (!(e->buttons() & Qt::LeftButton)) return;
  if (m_state.fullScreen) {
    if (Asks(m_cb.hasGraph) && m_verticalDrag.Move(local.y())) PlaceVideo();
    return;
  }
  if (m_seekDrag) {
    // The skin has no picture of its own for the thumb: its offset is what moves (and is hit).
    m_thumbX = DragSeekThumb(m_thumbAtPress, m_seekPressX, local.x(), width());
    return;
  }
  if (m_dragging) window()->move(e->globalPosition().toPoint() - m_dragOffset);
}

void CMainWindowView::mouseReleaseEvent(QMouseEvent* e) {
  m_dragging = false;
  // The drop seeks; the host knows whether a recording still plays with a position to seek in.
  if (std::exchange(m_seekDrag, false) && m_cb.seekThumbDropped) m_cb.seekThumbDropped(m_thumbX, width());
  if (m_playIconState == 1) {
    m_playIconState = 0;
    update(Q(PlayIconRect(ClientSize())));
    const QPoint local = e->position().toPoint();
    if (HitPlayIcon(ClientSize(), local.x(), local.y()) && m_cb.playbackCommand) m_cb.playbackCommand(1);
  }
  if (m_pressedSmallIcon >= 0) {
    const int icon = std::exchange(m_pressedSmallIcon, -1);
    update(Q(SmallIconRect(ClientSize(), icon)));
    // A release away from the pressed icon only redraws it.
    const QPoint local = e->position().toPoint();
    if (HitSmallIcon(ClientSize(), local.x(), local.y()) == icon && m_cb.playbackIcon)
      m_cb.playbackIcon(icon);
  }
}

void CMainWindowView::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && m_cb.doubleClick) m_cb.doubleClick();
}

}  // namespace tevalo::shell
