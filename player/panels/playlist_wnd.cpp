#include "player/panels/playlist_wnd.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>

#include "controls/hover_button.h"
#include "controls/resources.h"
#include "controls/skin_mask.h"
#include "player/panels/list_scroll_bar.h"
#include "player/panels/playlist.h"
#include "player/panels/skin_list.h"

namespace {

// Top-left, top-right, bottom-left, bottom-right, top edge, bottom edge, left edge, right edge.
constexpr unsigned kFrameBitmaps[8] = {339, 152, 148, 154, 338, 337, 150, 336};

}  // namespace

CPlaylistWnd::CPlaylistWnd(IPlaylistHost& host, QWidget* parent)
    : COstrelBaseDialog(kTemplate, parent), m_host(host) {}

CPlaylistWnd::~CPlaylistWnd() = default;

bool CPlaylistWnd::OnInitDialog() {
  COstrelBaseDialog::OnInitDialog();
  setWindowFlags(windowFlags() & ~Qt::WindowStaysOnTopHint);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAcceptDrops(true);
  for (int i = 0; i < 8; ++i) m_frame[i] = LoadBitmapResource(kFrameBitmaps[i]);
  setFixedSize(kWidth, kHeight);
  const QImage shape = LoadBitmapResource(396);
  if (!shape.isNull()) setMask(RegionFromKeyColor(shape, kRegionKey));

  m_pClose = new CHoverButton(this, kCloseId);
  m_pClose->LoadBitmapW(292, false);
  m_pClose->SetToolTipText(QStringLiteral("閉じる"), true);
  m_pClose->setGeometry(kWidth - 32, 9, 15, 15);
  connect(m_pClose, &QAbstractButton::clicked, this, [this] {
    m_bShown = false;
    m_host.PlaylistShownChanged(false);
    hide();
  });
  // Line 1036 and the two picture buttons are drawn but do nothing.
  m_pText = new QLabel(this);
  m_pText->setGeometry(23, 45, 200, 14);
  m_pText->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  const std::pair<unsigned, QRect> pictures[] = {{382, {252, 9, 15, 15}}, {380, {271, 9, 15, 15}}};
  for (const auto& [bitmap, place] : pictures) {
    auto* picture = new QLabel(this);
    picture->setGeometry(place);
    picture->setPixmap(QPixmap::fromImage(LoadBitmapResource(bitmap)));
  }

  m_pList = new CSkinListCtrl(this, kListId);
  m_pList->setColumnCount(2);
  m_pList->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Ext")});
  // The list fills the frame's inner panel, its right strip left to the bar; "Ext" takes what "Name"
  // leaves, so neither column runs under the bar.
  m_pList->setGeometry(kListPlace);
  m_pList->setColumnWidth(0, 215);
  m_pList->setColumnWidth(1, kListPlace.width() - 215);
  m_pList->InitScrollBars();
  connect(m_pList, &CSkinListCtrl::PlaylistPlay, this, &CPlaylistWnd::OnPlaylistPlay);
  m_bShown = false;
  m_host.PlaylistShownChanged(false);
  hide();
  return true;
}

void CPlaylistWnd::Refill(int hotIndex) {
  m_pList->FillPlaylistRows();
  if (auto* item = m_pList->topLevelItem(hotIndex)) m_pList->scrollToItem(item);
  m_pList->setCurrentIndex(m_pList->model()->index(0, 0));
  m_pList->clearSelection();
  m_bPlayRequest = true;
}

void CPlaylistWnd::Toggle() {
  if (m_bShown) {
    hide();
    m_bShown = false;
    m_host.PlaylistShownChanged(false);
    return;
  }
  const QRect main = m_host.MainWindowRect();
  move(main.left(), main.top() + main.height());
  show();
  m_bShown = true;
  m_host.PlaylistShownChanged(true);
  m_pList->setFocus();
}

void CPlaylistWnd::OnPlaylistPlay() {
  auto& list = tevalo::panels::Playlist();
  const std::u16string path = tevalo::panels::TakePlaylistPlay(list, m_bPlayRequest);
  if (path.empty()) return;
  m_host.PlayPlaylistEntry(path);
  Refill(list.PlayIndex());
}

void CPlaylistWnd::PlayNext() {
  auto& list = tevalo::panels::Playlist();
  const int next = list.NextPlayIndex();
  if (next < 0) return;
  list.SetPlayIndex(next);
  OnPlaylistPlay();
}

void CPlaylistWnd::OnLButtonDown(Qt::KeyboardModifiers modifiers, QPoint point) {
  m_bPlayRequest = false;
  COstrelBaseDialog::OnLButtonDown(modifiers, point);
}

QPoint CPlaylistWnd::OnMoving(QPoint proposed) {
  const QRect m = m_host.MainWindowRect();
  const tevalo::panels::SnapRect main{m.left(), m.top(), m.left() + m.width(), m.top() + m.height()};
  const auto at = tevalo::panels::DragSnap(
      m_dock, main, tevalo::panels::RectAt({proposed.x(), proposed.y()}, kWidth, kHeight), {});
  return {at.x, at.y};
}

void CPlaylistWnd::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = width(), h = height();
  p.fillRect(rect(), Qt::black);
  auto draw = [&](int i, int x, int y, QRect source) {
    if (!m_frame[i].isNull()) p.drawImage(QPoint(x, y), m_frame[i], source);
  };
  for (int x = 124; x < w - 31; ++x) {
    draw(4, x, 0, {0, 0, 1, 65});
    draw(5, x, h - 19, {0, 0, 1, 19});
  }
  for (int y = 65; y < h - 19; ++y) {
    draw(6, 0, y, {0, 0, 31, 1});
    draw(7, w - 31, y, {0, 0, 31, 1});
  }
  draw(0, 0, 0, {0, 0, 124, 65});
  draw(1, w - 31, 0, {0, 0, 31, 65});
  draw(2, 0, h - 19, {0, 0, 124, 19});
  draw(3, w - 31, h - 19, {0, 0, 31, 19});
}

void CPlaylistWnd::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CPlaylistWnd::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  if (!paths.isEmpty()) m_host.DropFiles(paths);
}
