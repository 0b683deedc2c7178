// The channel panel's list: owner-drawn rows of 21 pixels in the skin's colours, six visible at a
// time, beside its own narrow bitmap scroll bar. Rows carry their channel index and availability,
// never a pointer into the found-channel records.
#pragma once

#include <QListWidget>
#include <QStyledItemDelegate>
#include <functional>

#include "player/panels/list_box_scroll.h"
#include "player/panels/list_scroll_bar.h"

class CChannelListBox;

class CListBoxScrollBar : public CListScrollBar {
  Q_OBJECT
 public:
  explicit CListBoxScrollBar(QWidget* parent = nullptr);
  void SetListBox(CChannelListBox* list);

  // Keeps the thumb inside and, with more than six rows, sizes it from the row count; draws.
  void UpdateScrollBar();
  // A wheel delta over the list (120 a notch).
  void ScrollByWheel(int delta);
  // The list scrolled by itself (a selection, a refill): the thumb follows its top row.
  void FollowList();
  // Back to the top, as after a refill.
  void Reset();

  const tevalo::panels::ListBoxScroll& Geometry() const { return m_scroll; }
  void UpdateThumb() override { FollowList(); }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Sync();
  void ApplyTop();

  tevalo::panels::ListBoxScroll m_scroll;
  CChannelListBox* m_pListBox = nullptr;
  bool m_applying = false;  // the list scrolls because the bar told it to
};

class CChannelListBox : public QListWidget {
  Q_OBJECT
 public:
  static constexpr int kRowHeight = 21;
  static constexpr int kChannelRole = Qt::UserRole;
  static constexpr int kAvailabilityRole = Qt::UserRole + 1;

  explicit CChannelListBox(QWidget* parent = nullptr, int controlId = 1002);
  ~CChannelListBox() override;

  // Creates the bar beside the list (hidden) and places it.
  void InitScrollBar();
  // The bar at the list's right edge, 9 x 126.
  void PlaceScrollBar();
  CListBoxScrollBar* ScrollBar() const { return m_pScrollBar; }

  // Clicks do nothing while this says the player is busy.
  void SetBusyTest(std::function<bool()> busy) { m_isBusy = std::move(busy); }

  // Rows change without telling anyone.
  void ClearRows();
  void AddRow(const QString& text, int channelIndex, int availability);
  // Selects a row (or none with -1) without telling anyone: only the user's picks tune.
  void SelectRow(int row);
  // A lock mark changed: the rows of that channel repaint with the new availability.
  void SetAvailability(int channelIndex, int availability);
  int TopIndex() const;
  void SetTopIndex(int top);
  int GetDlgCtrlID() const { return m_controlId; }

 signals:
  // The user picked a row (a click or a drag over the rows).
  void SelectionChangedByUser(int row);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int m_controlId;
  CListBoxScrollBar* m_pScrollBar = nullptr;
  std::function<bool()> m_isBusy;
  bool m_selecting = false;
};

// Paints one row: selection fill, text colour by state, the separator line.
class CChannelRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
