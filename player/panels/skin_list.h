// The skinned list views: the playlist's list with its header and its own bar beside it, and the
// reservation pages' list whose first row turns red while a reserved recording runs.
#pragma once

#include <QHeaderView>
#include <QTreeWidget>
#include <functional>

#include "controls/colorref.h"

class CListScrollBar;

class CSkinHeaderCtrl : public QHeaderView {
  Q_OBJECT
 public:
  explicit CSkinHeaderCtrl(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The playlist's list: black, white text, selected rows black on the skin's grey-red.
class CSkinListCtrl : public QTreeWidget {
  Q_OBJECT
 public:
  static constexpr COLORREF kSelectedText = 0x000000;
  static constexpr COLORREF kSelectedBack = 0x73738A;

  explicit CSkinListCtrl(QWidget* parent = nullptr, int controlId = 0);
  ~CSkinListCtrl() override;

  // Switches the view's own bars off and puts the skinned bar beside it, in the list's parent.
  void InitScrollBars();
  void PlaceScrollBars();
  // Rows from the playlist's paths; the play order is rebuilt.
  void FillPlaylistRows();
  CListScrollBar* ScrollBar() const { return m_pScrollBar; }
  int PreviousPlayIndex() const { return m_nPreviousIndex; }
  int SelectionMark() const;
  int GetDlgCtrlID() const { return m_controlId; }

 signals:
  // A double click set the play index: the main window plays it (posted, never waited for).
  void PlaylistPlay();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  CSkinHeaderCtrl* m_pHeader = nullptr;
  CListScrollBar* m_pScrollBar = nullptr;
  int m_controlId = 0;
  int m_nPreviousIndex = 0;
};

// The reservation pages' list: row 0 red while the reserved-recording flag is set, else all black.
class CReserveListCtrl : public QTreeWidget {
  Q_OBJECT
 public:
  explicit CReserveListCtrl(QWidget* parent = nullptr);
  void SetReservedRecordingFlag(std::function<bool()> flag) { m_flag = std::move(flag); }
  bool ReservedRecording() const { return m_flag && m_flag(); }
  // The text colour a row is drawn in now.
  QColor RowTextColor(int row) const;

 private:
  std::function<bool()> m_flag;
};
