// The channel panel: a floating, skinned window beside the main window that lists the channels the
// last search found, tunes the one the user picks, steps up and down, keeps the visit history, starts
// searches, and snaps to and docks on the main window and the playback panel.
//
// It presents and forwards: the player's state comes from its host, and tuning and searching go back
// to it. GUI thread only.
#pragma once

#include <QImage>
#include <memory>
#include <vector>

#include "controls/base_dialog.h"
#include "player/channels/channel_entry.h"
#include "player/panels/channel_panel_model.h"
#include "player/panels/panel_prompts.h"
#include "player/panels/snap_helper.h"

class CChannelListBox;
class CHoverButton;

// What the panel needs of the main window and the player core.
class IChannelPanelHost {
 public:
  virtual ~IChannelPanelHost() = default;
  virtual tevalo::panels::PlayerState State() const = 0;
  virtual bool IsSearching() const = 0;
  // Tunes a channel code (the main window's ChangeChannel without updating the panel).
  virtual void ChangeChannel(const std::u16string& code) = 0;
  virtual void ResetTimeshiftCounter() = 0;
  // The running recording is to stop for the search the user agreed to.
  virtual void StopRecordingForSearch() = 0;
  // The main window's part of a search, then StopReception and StartChannelSearch(kind).
  virtual void RunSearch(int kind, const tevalo::panels::SearchSteps& steps) = 0;
  // A key pressed in the panel, for the main window's key table.
  virtual void ForwardKey(QKeyEvent* event) = 0;
  virtual QRect MainWindowRect() const = 0;
  virtual tevalo::panels::OtherPanel PlaybackPanel() = 0;
  // The application's shown flag follows the panel.
  virtual void PanelShownChanged(bool shown) = 0;
  // The close button hid the panel: the main window's panel button shows its plain bitmap again.
  virtual void PanelClosedByButton() = 0;
};

class CChannelPanel : public COstrelBaseDialog {
  Q_OBJECT
 public:
  static constexpr unsigned kTemplate = 329;
  static constexpr int kWidth = 346;
  static constexpr int kHeight = 175;
  static constexpr int kListId = 1002;
  enum Command : int {
    kClose = 1005,
    kChannelUp = 1013,
    kChannelDown = 1014,
    kSingleSearch = 1092,
    kFullSearch = 1093,
    kListSearch = 1094,
  };

  CChannelPanel(IChannelPanelHost& host, tevalo::panels::IPanelPrompter& prompter, QWidget* parent = nullptr);
  ~CChannelPanel() override;

  // Rebuilds the records and the list from a search's entries and selects the current channel's row.
  void FillChannelList(const std::vector<tevalo::channels::ChannelEntry>& entries,
                       const std::u16string& currentChannel);
  // The code to tune after a search (the stored one when listed, else the first available row, else
  // the first row).
  std::u16string GetCurrentChannelCode(const std::u16string& stored,
                                       const std::function<bool(int)>& available) const;
  void ToggleShow();
  // The last row of the channel index; the other two arguments are not used.
  void SelectChannel(int channelIndex, int = 0, int = 0);
  void ChannelUp();
  void ChannelDown();
  void TuneSelected();
  void OnSelChangeList();
  void HistoryBack();
  void HistoryForward();
  void PushHistory(const std::u16string& code);
  void RetuneCurrent();
  void ResetHistory();
  void EnableControls(bool enable);
  // 0 full, 1 area, 2 single, 3 channel list; other kinds do nothing.
  void StartSearch(int kind);
  // The panel's commands by control id; false for ids that are not the panel's.
  bool OnCommand(int id);
  // A lock mark of a channel changed: its record and row show it.
  void SetChannelLock(int channelIndex, int value);
  // The main window moved: a docked panel moves with it.
  void FollowMainWindow(QPoint mainTopLeft);
  // The cursor shows an hourglass while the player is busy.
  void RefreshBusy();

  bool IsShown() const { return m_bShown; }
  tevalo::panels::PanelDock& Dock() { return m_dock; }
  const tevalo::panels::CChannelPanelModel& Model() const { return m_model; }
  CChannelListBox* ListBox() const { return m_pList; }
  CHoverButton* Button(int id) const;

 protected:
  bool OnInitDialog() override;
  QPoint OnMoving(QPoint proposedTopLeft) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Show();
  void Hide();
  void CloseButton();
  void Tune(const std::u16string& code);
  // The user's pick (selectionChange) or the panel's own step.
  void TuneRow(bool selectionChange);
  void RefuseWhileRecording();
  bool RefuseStepWhileRecording();
  void Step(bool previous);
  void FillRows();
  void ApplyHistoryStep(const std::optional<tevalo::panels::CChannelPanelModel::HistoryStep>& step);
  CHoverButton* MakeButton(int id, unsigned bitmap, const char* tip, QRect place);

  IChannelPanelHost& m_host;
  tevalo::panels::IPanelPrompter& m_prompter;
  tevalo::panels::PanelDock m_dock;
  tevalo::panels::CSnapHelper m_snap;
  tevalo::panels::CChannelPanelModel m_model;
  std::vector<tevalo::channels::ChannelEntry> m_entries;
  CHoverButton* m_pDown = nullptr;
  CHoverButton* m_pUp = nullptr;
  CHoverButton* m_pFullSearch = nullptr;
  CHoverButton* m_pListSearch = nullptr;
  CHoverButton* m_pClose = nullptr;
  CChannelListBox* m_pList = nullptr;
  bool m_bShown = false;
  bool m_firstShow = true;
  QImage m_background;
  QImage m_title;
  int m_nBackgroundWidth = 0;
  int m_nBackgroundHeight = 0;
};
