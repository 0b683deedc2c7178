// The channel list editor ("チャンネルリストの設定"): pick an area, tick the channels wanted and rename
// them; "適用" saves the list, OK saves it and searches the ticked channels while the dialog waits.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "player/channels/channel_list.h"
#include "player/panels/channel_list_editor.h"
#include "player/panels/panel_prompts.h"

class QComboBox;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// What the editor's OK asks of the player: the area taken, playback closed, the panel made and the
// listed channels searched off the GUI thread; done runs on the GUI thread when the search has
// ended (the player then fills the panel and tunes).
class IChannelSearchRunner {
 public:
  virtual ~IChannelSearchRunner() = default;
  virtual void SearchEditedList(int area, const tevalo::channels::SearchList& list,
                                std::function<void()> done) = 0;
};

class CChannelListDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kAreaCombo = 1101;
  static constexpr int kChannelList = 1102;
  static constexpr int kApplyButton = 6;
  static constexpr int kRows = tevalo::panels::CChannelListEditor::kRows;

  CChannelListDlg(tevalo::panels::IChannelListStore& store, tevalo::panels::IPanelPrompter& prompter,
                  IChannelSearchRunner* runner, QWidget* parent = nullptr);
  ~CChannelListDlg() override;

  // The caller sets the area before running the dialog and reads it back after OK.
  void SetAreaIndex(int area) { m_nArea = area; }
  int AreaIndex() const { return m_nArea; }
  // QDialog::Accepted after OK, Rejected after Cancel.
  int DoModal();
  bool OnInitDialog();

  const tevalo::panels::CChannelListEditor& Editor() const { return m_editor; }
  QComboBox* AreaCombo() const { return m_pCombo; }
  QTableWidget* ChannelList() const { return m_pList; }
  QPushButton* Button(int id) const;
  bool Searching() const { return m_searching; }

 public slots:
  void Apply();
  void OnOK();
  void OnAreaChange(int comboIndex);
  // Cancel; ignored while the dialog waits for its search.
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class LabelDelegate;
  void FillRows();
  void OnItemChanged(QTableWidgetItem* item);
  void OnLabelEdited(int row, const QString& text);

  tevalo::panels::CChannelListEditor m_editor;
  tevalo::panels::IPanelPrompter& m_prompter;
  IChannelSearchRunner* m_runner;
  QComboBox* m_pCombo = nullptr;
  QTableWidget* m_pList = nullptr;
  QPushButton* m_pOk = nullptr;
  QPushButton* m_pApply = nullptr;
  QPushButton* m_pCancel = nullptr;
  int m_nArea = 7;
  int m_nCurrentRow = 0;
  bool m_filling = false;
  bool m_searching = false;
};
