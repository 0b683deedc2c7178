// The playback panel: the floating, skinned window that opens, plays, pauses, stops and steps through
// a recording, with its position slider, file name and play time. It presents and forwards: the
// decisions are CPlaybackPanelLogic's, the main window is reached through IPlaybackPanelHost.
// GUI thread only.
#pragma once

#include <QImage>
#include <QString>

#include "controls/base_dialog.h"
#include "player/panels/playback_panel_logic.h"

class CHoverButton;
namespace tevalo::panels {
class CSkinSlider;
}
class QLabel;

class CPlaybackPanel : public COstrelBaseDialog {
  Q_OBJECT
 public:
  static constexpr unsigned kTemplate = 401;
  static constexpr unsigned kBackgroundBitmap = 404;
  static constexpr unsigned kTitleBitmap = 503;
  static constexpr COLORREF kRegionKey = 0x00FF00;
  static constexpr int kSliderId = 1090;
  static constexpr int kFileNameId = 1091;
  static constexpr int kPlayTimeId = 1092;

  explicit CPlaybackPanel(tevalo::panels::IPlaybackPanelHost& host, QWidget* parent = nullptr);
  ~CPlaybackPanel() override;

  void ShowPanel(bool show);
  bool IsShown() const { return m_logic.Shown(); }
  // The panel's commands by control id; false for ids that are not the panel's.
  bool OnCommand(int id);

  // What the main window shows through the panel.
  void Reset();
  void ClearTexts();
  void SetFileName(const QString& name);
  void SetPlayTime(int positionTenths, int durationTenths);
  // Range 0..duration (never empty) and position, unless the user drags the slider.
  void SetSlider(int positionTenths, int durationTenths);
  void PlayStarted();
  bool IsDragging() const;
  // The main window moved: a docked panel moves with it.
  void FollowMainWindow(QPoint mainTopLeft);

  tevalo::panels::CPlaybackPanelLogic& Logic() { return m_logic; }
  CHoverButton* Button(int id) const;
  tevalo::panels::CSkinSlider* Slider() const { return m_pSlider; }
  QString FileNameText() const;
  QString PlayTimeText() const;

 protected:
  bool OnInitDialog() override;
  QPoint OnMoving(QPoint proposedTopLeft) override;
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  CHoverButton* MakeButton(int id, unsigned bitmap, const QString& tip, QRect place);
  void SyncView();

  tevalo::panels::CPlaybackPanelLogic m_logic;
  CHoverButton* m_pOpen = nullptr;
  CHoverButton* m_pPrevious = nullptr;
  CHoverButton* m_pPlay = nullptr;
  CHoverButton* m_pPause = nullptr;
  CHoverButton* m_pStop = nullptr;
  CHoverButton* m_pNext = nullptr;
  CHoverButton* m_pClose = nullptr;
  tevalo::panels::CSkinSlider* m_pSlider = nullptr;
  QLabel* m_pFileName = nullptr;
  QLabel* m_pPlayTime = nullptr;
  QImage m_background;
  QImage m_title;
};
