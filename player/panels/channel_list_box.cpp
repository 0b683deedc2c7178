#include "player/panels/channel_list_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "controls/colorref.h"
#include "controls/font_aliases.h"
#include "controls/resources.h"

namespace {

constexpr COLORREF kSelectedFill = 0x00A9FF;
constexpr COLORREF kTextSelected = 0x000000;
constexpr COLORREF kTextSelectedMissing = 0x003232;
constexpr COLORREF kTextDisabled = 0x004632;
constexpr COLORREF kTextAvailable = 0x00FFC6;
constexpr COLORREF kTextMissing = 0x00503C;
constexpr COLORREF kSeparator = 0x002A33;

constexpr unsigned kUpperMark = 513, kLowerMark = 511;
constexpr unsigned kUpperMarkDragged = 512, kLowerMarkDragged = 514;
constexpr int kMark = 7;

using tevalo::panels::ListBoxScroll;

}  // namespace

// The bar ------------------------------------------------------------------------------------------

CListBoxScrollBar::CListBoxScrollBar(QWidget* parent) : CListScrollBar(parent) {
  resize(ListBoxScroll::kBarWidth, ListBoxScroll::kBarHeight);
}

void CListBoxScrollBar::SetListBox(CChannelListBox* list) {
  m_pListBox = list;
  SetList(list);
}

void CListBoxScrollBar::Sync() {
  m_nThumbTop = m_scroll.ThumbTop();
  m_bDragging = m_scroll.Dragging();
  update();
}

void CListBoxScrollBar::ApplyTop() {
  if (!m_pListBox) return;
  m_applying = true;
  m_pListBox->SetTopIndex(m_scroll.Top());
  m_applying = false;
}

void CListBoxScrollBar::UpdateScrollBar() {
  if (m_pListBox) m_scroll.SetRows(m_pListBox->count());
  m_scroll.Update();
  Sync();
}

void CListBoxScrollBar::ScrollByWheel(int delta) {
  if (m_pListBox) {
    m_scroll.SetRows(m_pListBox->count());
    m_scroll.SetTop(m_pListBox->TopIndex());
  }
  if (m_scroll.Wheel(delta)) ApplyTop();
  Sync();
}

void CListBoxScrollBar::FollowList() {
  if (!m_pListBox || m_applying || m_scroll.Dragging()) return;
  m_scroll.SetRows(m_pListBox->count());
  m_scroll.SetTop(m_pListBox->TopIndex());
  m_scroll.Layout();
  Sync();
}

void CListBoxScrollBar::Reset() {
  m_scroll = ListBoxScroll();
  if (m_pListBox) m_scroll.SetRows(m_pListBox->count());
  m_scroll.Update();
  Sync();
}

void CListBoxScrollBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (m_pListBox) {
    m_scroll.SetRows(m_pListBox->count());
    m_scroll.SetTop(m_pListBox->TopIndex());
  }
  const QPoint at = event->position().toPoint();
  m_scroll.Press(at.x(), at.y());
  Sync();
}

void CListBoxScrollBar::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  if (m_scroll.MoveTo(event->position().toPoint().y())) ApplyTop();
  Sync();
}

void CListBoxScrollBar::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  if (m_scroll.Release(at.x(), at.y())) ApplyTop();
  Sync();
}

void CListBoxScrollBar::paintEvent(QPaintEvent*) {
  if (!m_scroll.Scrollable()) return;
  const QImage track = LoadBitmapResource(kTrackBitmap);
  const QImage thumb = LoadBitmapResource(kThumbBitmap);
  const bool dragged = m_scroll.Dragging();
  const QImage upper = LoadBitmapResource(dragged ? kUpperMarkDragged : kUpperMark);
  const QImage lower = LoadBitmapResource(dragged ? kLowerMarkDragged : kLowerMark);
  // Composed off-screen and copied in one step.
  QPixmap buffer(size());
  buffer.fill(Qt::black);
  {
    QPainter p(&buffer);
    const int top = m_scroll.ThumbTop(), h = m_scroll.ThumbHeight();
    if (!track.isNull())
      p.drawImage(QRect(0, 0, ListBoxScroll::kBarWidth, ListBoxScroll::kBarHeight), track, QRect(0, 0, 9, 4));
    if (!thumb.isNull()) p.drawImage(QRect(1, top, 7, h), thumb, QRect(0, 0, 9, 15));
    if (!upper.isNull()) p.drawImage(QPoint(1, top + h / 4 - 3), upper, QRect(0, 0, kMark, kMark));
    if (!lower.isNull()) p.drawImage(QPoint(1, top + h / 4 * 3 - 2), lower, QRect(0, 0, kMark, kMark));
  }
  QPainter(this).drawPixmap(0, 0, buffer);
}

// The rows -----------------------------------------------------------------------------------------

void CChannelRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  if (!index.isValid()) return;
  const QRect r = option.rect;
  const bool selected = option.state & QStyle::State_Selected;
  const bool available = index.data(CChannelListBox::kAvailabilityRole).toInt() == 1;
  const bool enabled = option.state & QStyle::State_Enabled;
  QPixmap row(r.size());
  row.fill(ColorFromColorRef(selected ? kSelectedFill : 0x000000));
  {
    QPainter p(&row);
    COLORREF text = kTextMissing;
    if (selected)
      text = available ? kTextSelected : kTextSelectedMissing;
    else if (!enabled)
      text = kTextDisabled;
    else if (available)
      text = kTextAvailable;
    p.setPen(ColorFromColorRef(text));
    p.setFont(option.font);
    const QRect textRect = QRect(QPoint(0, 0), r.size()).adjusted(8, 4, -8, -4);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextExpandTabs,
               index.data(Qt::DisplayRole).toString());
    p.setPen(ColorFromColorRef(kSeparator));
    p.drawLine(0, r.height() - 1, r.width(), r.height() - 1);
  }
  painter->drawPixmap(r.topLeft(), row);
}

QSize CChannelRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return {option.rect.width(), CChannelListBox::kRowHeight};
}

// The list -----------------------------------------------------------------------------------------

CChannelListBox::CChannelListBox(QWidget* parent, int controlId)
    : QListWidget(parent), m_controlId(controlId) {
  setItemDelegate(new CChannelRowDelegate(this));
  setFont(PointFont(QStringLiteral("MS-Mincho"), 9));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  QPalette pal = palette();
  pal.setColor(QPalette::Base, Qt::black);
  setPalette(pal);
  viewport()->setAutoFillBackground(true);
  connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!m_selecting && row >= 0) emit SelectionChangedByUser(row);
  });
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    if (m_pScrollBar) m_pScrollBar->FollowList();
  });
}

CChannelListBox::~CChannelListBox() = default;

void CChannelListBox::InitScrollBar() {
  if (!m_pScrollBar) {
    m_pScrollBar = new CListBoxScrollBar(parentWidget());
    m_pScrollBar->SetListBox(this);
  }
  m_pScrollBar->hide();
  PlaceScrollBar();
}

void CChannelListBox::PlaceScrollBar() {
  if (!m_pScrollBar) return;
  const QRect g = geometry();
  m_pScrollBar->setGeometry(g.x() + g.width() - ListBoxScroll::kBarWidth, g.y(), ListBoxScroll::kBarWidth,
                            ListBoxScroll::kBarHeight);
  m_pScrollBar->UpdateScrollBar();
}

void CChannelListBox::ClearRows() {
  m_selecting = true;
  clear();
  m_selecting = false;
}

void CChannelListBox::AddRow(const QString& text, int channelIndex, int availability) {
  auto* item = new QListWidgetItem(text);
  item->setData(kChannelRole, channelIndex);
  item->setData(kAvailabilityRole, availability);
  item->setSizeHint(QSize(0, kRowHeight));
  m_selecting = true;
  addItem(item);
  m_selecting = false;
}

void CChannelListBox::SelectRow(int row) {
  m_selecting = true;
  if (row < 0 || row >= count()) {
    setCurrentRow(-1);
    clearSelection();
  } else {
    setCurrentRow(row);
  }
  m_selecting = false;
}

void CChannelListBox::SetAvailability(int channelIndex, int availability) {
  for (int row = 0; row < count(); ++row) {
    QListWidgetItem* it = item(row);
    if (it->data(kChannelRole).toInt() == channelIndex) it->setData(kAvailabilityRole, availability);
  }
}

int CChannelListBox::TopIndex() const { return verticalScrollBar()->value(); }

void CChannelListBox::SetTopIndex(int top) { verticalScrollBar()->setValue(top); }

void CChannelListBox::mousePressEvent(QMouseEvent* event) {
  if (m_isBusy && m_isBusy()) {
    event->accept();
    return;
  }
  const int before = currentRow();
  QListWidget::mousePressEvent(event);
  // A click on the row already selected is a pick too (it tunes while a recording file plays).
  const int row = indexAt(event->position().toPoint()).row();
  if (event->button() == Qt::LeftButton && row >= 0 && row == before && row == currentRow())
    emit SelectionChangedByUser(row);
}

void CChannelListBox::wheelEvent(QWheelEvent* event) {
  if (m_pScrollBar) m_pScrollBar->ScrollByWheel(event->angleDelta().y());
  event->accept();
}

void CChannelListBox::keyPressEvent(QKeyEvent* event) {
  // Keys belong to the main window (the panel hands them on); the list does not step by itself.
  event->ignore();
}
