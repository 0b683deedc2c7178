#include "player/panels/skin_list.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyledItemDelegate>
#include <algorithm>

#include "controls/resources.h"
#include "player/panels/list_scroll_bar.h"
#include "player/panels/playlist.h"

namespace {

QString FromU16(const std::u16string& s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

// Colours a row as the skin wants, so the style's highlight never shows.
class SkinRowDelegate : public QStyledItemDelegate {
 public:
  using ColorOf = std::function<void(const QModelIndex&, bool selected, QColor& text, QColor& back)>;
  SkinRowDelegate(QObject* parent, ColorOf colors)
      : QStyledItemDelegate(parent), m_colors(std::move(colors)) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool selected = opt.state & QStyle::State_Selected;
    QColor text, back;
    m_colors(index, selected, text, back);
    if (back.isValid()) painter->fillRect(opt.rect, back);
    painter->save();
    painter->setPen(text);
    painter->setFont(opt.font);
    const QRect r = opt.rect.adjusted(4, 0, -2, 0);
    painter->drawText(r, Qt::AlignVCenter | Qt::AlignLeft,
                      opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, r.width()));
    painter->restore();
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), 20};
  }

 private:
  ColorOf m_colors;
};

// The focused row gets the list control's thin dotted outline instead of the style's tinted fill,
// which would read as a second selection colour on the black rows.
class SkinFocusStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element != PE_FrameFocusRect) {
      QProxyStyle::drawPrimitive(element, option, painter, widget);
      return;
    }
    painter->save();
    painter->setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
  }
};

void SetUpReportView(QTreeWidget* view) {
  view->setRootIsDecorated(false);
  view->setUniformRowHeights(true);
  view->setItemsExpandable(false);
  view->setAllColumnsShowFocus(true);
}

}  // namespace

// ---- header

CSkinHeaderCtrl::CSkinHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsMovable(true);
  setFixedHeight(22);
}

void CSkinHeaderCtrl::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  const QImage fill = LoadBitmapResource(268);
  const QImage first = LoadBitmapResource(259);
  const QImage edge = LoadBitmapResource(156);
  const int w = viewport()->width();
  p.fillRect(viewport()->rect(), Qt::black);
  if (!fill.isNull()) p.drawImage(QRect(0, 0, w, 22), fill, QRect(0, 0, 1, std::min(fill.height(), 20)));
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(12);
  p.setFont(font);
  for (int visual = 0; visual < count(); ++visual) {
    const int logical = logicalIndex(visual);
    if (isSectionHidden(logical)) continue;
    const int x = sectionViewportPosition(logical);
    const int width = sectionSize(logical);
    if (visual == 0) {
      if (!first.isNull())
        p.drawImage(QRect(x, 0, 1, 20), first, QRect(0, 0, 1, std::min(first.height(), 20)));
    } else {
      p.fillRect(QRect(x - 1, 0, 2, 20), QColor(0, 0, 0));
      if (!fill.isNull())
        p.drawImage(QRect(x + 1, 0, 1, 20), fill, QRect(0, 0, 1, std::min(fill.height(), 20)));
    }
    if (!fill.isNull() && width > 2) p.drawImage(QRect(x + 2, 0, width - 2, 12), fill, QRect(0, 0, 1, 12));
    if (!edge.isNull()) p.drawImage(QPoint(x + width - 2, 0), edge, QRect(0, 0, 2, 12));
    const QString text = model() ? model()->headerData(logical, orientation()).toString() : QString();
    const QRect r = QRect(x, 0, width, 20).adjusted(2, 2, -2, -2);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine,
               p.fontMetrics().elidedText(text, Qt::ElideRight, r.width()));
  }
}

// ---- playlist list

CSkinListCtrl::CSkinListCtrl(QWidget* parent, int controlId) : QTreeWidget(parent), m_controlId(controlId) {
  SetUpReportView(this);
  m_pHeader = new CSkinHeaderCtrl(this);
  setHeader(m_pHeader);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setFrameShape(QFrame::NoFrame);
  QPalette pal = palette();
  pal.setColor(QPalette::Base, Qt::black);
  pal.setColor(QPalette::Window, QColor(0x26, 0x26, 0x26));
  pal.setColor(QPalette::Text, Qt::white);
  setPalette(pal);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(12);
  setFont(font);
  auto* style = new SkinFocusStyle(QStyleFactory::create(QApplication::style()->name()));
  style->setParent(this);
  setStyle(style);
  setItemDelegate(
      new SkinRowDelegate(this, [](const QModelIndex&, bool selected, QColor& text, QColor& back) {
        text = selected ? ColorFromColorRef(kSelectedText) : QColor(Qt::white);
        back = selected ? ColorFromColorRef(kSelectedBack) : QColor(Qt::black);
      }));
}

CSkinListCtrl::~CSkinListCtrl() = default;

void CSkinListCtrl::InitScrollBars() {
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  if (!m_pScrollBar) {
    m_pScrollBar = new CListScrollBar(parentWidget());
    m_pScrollBar->SetList(this);
    m_pScrollBar->show();
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, m_pScrollBar,
            [this] { m_pScrollBar->UpdateThumb(); });
  }
  PlaceScrollBars();
}

void CSkinListCtrl::PlaceScrollBars() {
  if (!m_pScrollBar) return;
  // Beside the rows, from under the header to the list's bottom: over the rows it would hide the
  // last column, and below them it would run into the window's frame.
  const QRect r = geometry();
  const int headerHeight = m_pHeader->height();
  m_pScrollBar->setGeometry(r.right() + 4, r.top() + headerHeight + 2, 5, r.height() - headerHeight - 4);
  m_pScrollBar->UpdateThumb();
}

void CSkinListCtrl::FillPlaylistRows() {
  setUpdatesEnabled(false);
  clear();
  auto& list = tevalo::panels::Playlist();
  QList<QTreeWidgetItem*> rows;
  for (const auto& path : list.Paths()) {
    const auto texts = tevalo::panels::RowTextsOf(path);
    rows.append(new QTreeWidgetItem(QStringList{FromU16(texts.name), FromU16(texts.ext)}));
  }
  addTopLevelItems(rows);
  list.BuildPlayOrder();
  setUpdatesEnabled(true);
  if (m_pScrollBar) m_pScrollBar->UpdateThumb();
}

int CSkinListCtrl::SelectionMark() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.row() : -1;
}

void CSkinListCtrl::keyPressEvent(QKeyEvent* event) {
  QTreeWidget::keyPressEvent(event);
  if (m_pScrollBar) m_pScrollBar->UpdateThumb();
}

void CSkinListCtrl::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && !event->isAutoRepeat()) {
    std::vector<std::int32_t> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    if (!rows.empty()) {
      tevalo::panels::Playlist().Remove(std::move(rows));
      FillPlaylistRows();
    }
  }
  if (m_pScrollBar) m_pScrollBar->UpdateThumb();
  QTreeWidget::keyReleaseEvent(event);
}

void CSkinListCtrl::wheelEvent(QWheelEvent* event) {
  QTreeWidget::wheelEvent(event);
  if (m_pScrollBar) m_pScrollBar->UpdateThumb();
}

void CSkinListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  auto& list = tevalo::panels::Playlist();
  m_nPreviousIndex = list.PlayIndex();
  std::vector<std::int32_t> rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
  const std::int32_t row = tevalo::panels::PlaylistRowToPlay(rows, SelectionMark());
  if (row >= 0) {
    list.SetPlayIndex(row);
    QMetaObject::invokeMethod(this, &CSkinListCtrl::PlaylistPlay, Qt::QueuedConnection);
  }
  QTreeWidget::mouseDoubleClickEvent(event);
}

void CSkinListCtrl::scrollContentsBy(int dx, int dy) {
  QTreeWidget::scrollContentsBy(dx, dy);
  if (m_pScrollBar) m_pScrollBar->UpdateThumb();
}

void CSkinListCtrl::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  PlaceScrollBars();
}

void CSkinListCtrl::moveEvent(QMoveEvent* event) {
  QTreeWidget::moveEvent(event);
  PlaceScrollBars();
}

// ---- reservation list

CReserveListCtrl::CReserveListCtrl(QWidget* parent) : QTreeWidget(parent) {
  SetUpReportView(this);
  setItemDelegate(
      new SkinRowDelegate(this, [this](const QModelIndex& index, bool selected, QColor& text, QColor& back) {
        text = RowTextColor(index.row());
        if (selected) back = palette().color(QPalette::Highlight).lighter(150);
      }));
}

QColor CReserveListCtrl::RowTextColor(int row) const {
  return ColorFromColorRef(row == 0 && ReservedRecording() ? 0x0000FF : 0x000000);
}
