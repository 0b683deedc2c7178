// The skinned vertical scroll bar of the player's lists: a sibling window beside a list whose own bar
// is switched off. The list windows' bars derive from it.
#pragma once

#include <QWidget>

class QAbstractScrollArea;

class CListScrollBar : public QWidget {
  Q_OBJECT
 public:
  static constexpr unsigned kTrackBitmap = 496;
  static constexpr unsigned kThumbBitmap = 497;

  explicit CListScrollBar(QWidget* parent = nullptr);
  ~CListScrollBar() override;

  void SetList(QAbstractScrollArea* list) { m_pList = list; }
  QAbstractScrollArea* List() const { return m_pList; }
  int ThumbTop() const { return m_nThumbTop; }
  bool IsDragging() const { return m_bDragging; }

  // The thumb follows the list's scroll position: (bar height - 26) / scroll limit x position,
  // clamped into the bar; repaints.
  virtual void UpdateThumb();

 protected:
  // Track 496 stretched over the bar, thumb 497 at the thumb's place.
  void paintEvent(QPaintEvent* event) override;

  QAbstractScrollArea* m_pList = nullptr;
  bool m_bLineUp = false;
  bool m_bLineDown = false;
  bool m_bDragging = false;
  int m_nThumbTop = 0;
  double m_dPixelsPerStep = 0;
};
