// The playlist window: a small skinned window under the main window listing the playlist; a double
// click plays a row. Dragging it snaps it to the main window. GUI thread only.
#pragma once

#include <QImage>
#include <QRect>
#include <QStringList>

#include "controls/base_dialog.h"
#include "player/panels/snap_helper.h"

class CHoverButton;
class CSkinListCtrl;
class QLabel;

// What the window needs of the main window (faked in tests).
class IPlaylistHost {
 public:
  virtual ~IPlaylistHost() = default;
  virtual QRect MainWindowRect() const = 0;
  virtual void PlaylistShownChanged(bool shown) = 0;
  // The play request's main-window part: status area and display name cleared, the path opened as
  // the current media (timer 105), recording kept from starting.
  virtual void PlayPlaylistEntry(const std::u16string& path) = 0;
  virtual void DropFiles(const QStringList& paths) = 0;
};

class CPlaylistWnd : public COstrelBaseDialog {
  Q_OBJECT
 public:
  static constexpr unsigned kTemplate = 252;
  static constexpr int kWidth = 324;
  static constexpr int kHeight = 200;
  static constexpr int kListId = 1031;
  static constexpr int kCloseId = 1038;
  static constexpr COLORREF kRegionKey = 0xFF00FF;
  // Inside the frame's inner panel (17, 40)-(305, 181), clear of its rounded corners.
  static constexpr QRect kListPlace{17, 42, 276, 137};

  explicit CPlaylistWnd(IPlaylistHost& host, QWidget* parent = nullptr);
  ~CPlaylistWnd() override;

  void Refill(int hotIndex);
  void Toggle();
  bool IsShown() const { return m_bShown; }
  // The main window's play request (a double click's): plays the entry the play index names.
  void OnPlaylistPlay();
  // The next entry of the play order, played as a double click would; nothing after the last.
  void PlayNext();

  bool PlayRequest() const { return m_bPlayRequest; }
  CSkinListCtrl* List() const { return m_pList; }
  CHoverButton* CloseButton() const { return m_pClose; }

 protected:
  bool OnInitDialog() override;
  QPoint OnMoving(QPoint proposedTopLeft) override;
  void OnLButtonDown(Qt::KeyboardModifiers modifiers, QPoint point) override;
  void paintEvent(QPaintEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  IPlaylistHost& m_host;
  tevalo::panels::PanelDock m_dock;
  CSkinListCtrl* m_pList = nullptr;
  CHoverButton* m_pClose = nullptr;
  QLabel* m_pText = nullptr;
  bool m_bShown = false;
  bool m_bPlayRequest = true;
  QImage m_frame[8];
};
