#include "player/panels/channel_panel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/hover_button.h"
#include "controls/resources.h"
#include "controls/skin_mask.h"
#include "player/panels/channel_list_box.h"
#include "player/panels/screen_size.h"

namespace {

using tevalo::channels::ChannelIndexOfCode;
using tevalo::panels::PromptAnswer;
using tevalo::panels::PromptButtons;
using tevalo::panels::SnapPoint;
using tevalo::panels::SnapRect;
using tevalo::panels::TuneDecision;

constexpr unsigned kBackgroundBitmap = 413;
constexpr unsigned kTitleBitmap = 500;
constexpr COLORREF kRegionKey = 0x00FF00;
constexpr SnapPoint kOffScreenFallback{100, 100};

constexpr char kRecordingRefusal[] = "録画中にはチャンネルを変えることができません。";

SnapRect ToSnap(const QRect& r) { return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }

}  // namespace

CChannelPanel::CChannelPanel(IChannelPanelHost& host, tevalo::panels::IPanelPrompter& prompter,
                             QWidget* parent)
    : COstrelBaseDialog(kTemplate, parent), m_host(host), m_prompter(prompter) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  resize(kWidth, kHeight);
}

CChannelPanel::~CChannelPanel() = default;

CHoverButton* CChannelPanel::MakeButton(int id, unsigned bitmap, const char* tip, QRect place) {
  auto* button = new CHoverButton(this, id);
  button->LoadBitmapW(bitmap, false);
  button->SetToolTipText(QString::fromUtf8(tip), true);
  button->setGeometry(place);
  button->installEventFilter(this);
  connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
  return button;
}

bool CChannelPanel::OnInitDialog() {
  COstrelBaseDialog::OnInitDialog();
  // A panel beside the main window, not above every window.
  setWindowFlags(windowFlags() & ~Qt::WindowStaysOnTopHint);
  m_dock = {};
  m_background = LoadBitmapResource(kBackgroundBitmap);
  m_title = LoadBitmapResource(kTitleBitmap);
  m_pClose = MakeButton(kClose, 414, "閉じる", QRect(313, 6, 16, 16));
  m_pFullSearch = MakeButton(kFullSearch, 416, "フルサーチ", QRect(300, 69, 18, 18));
  m_pListSearch = MakeButton(kListSearch, 415, "エリアサーチ", QRect(300, 40, 18, 18));
  m_pUp = MakeButton(kChannelUp, 490, "チャンネルアップ", QRect(298, 102, 22, 22));
  m_pDown = MakeButton(kChannelDown, 491, "チャンネルダウン", QRect(298, 129, 22, 22));
  m_pList = new CChannelListBox(this, kListId);
  m_pList->setGeometry(15, 34, tevalo::panels::CChannelPanelModel::kWidthWithoutBar, 126);
  m_pList->SetBusyTest([this] { return m_host.State().busy; });
  m_pList->installEventFilter(this);
  // Handled once the click is over, so that a refusal's re-selection is the last word on the row.
  connect(
      m_pList, &CChannelListBox::SelectionChangedByUser, this,
      [this](int row) {
        m_model.Select(row);
        OnSelChangeList();
      },
      Qt::QueuedConnection);
  installEventFilter(this);
  setFixedSize(kWidth, kHeight);
  if (!m_background.isNull()) {
    m_nBackgroundWidth = m_background.width();
    m_nBackgroundHeight = m_background.height();
    setMask(RegionFromKeyColor(m_background, kRegionKey));
  }
  m_pList->InitScrollBar();
  m_pList->ScrollBar()->installEventFilter(this);
  hide();
  return true;
}

CHoverButton* CChannelPanel::Button(int id) const {
  switch (id) {
    case kClose:
      return m_pClose;
    case kChannelUp:
      return m_pUp;
    case kChannelDown:
      return m_pDown;
    case kFullSearch:
      return m_pFullSearch;
    case kListSearch:
      return m_pListSearch;
    default:
      return nullptr;
  }
}

bool CChannelPanel::OnCommand(int id) {
  switch (id) {
    case kClose:
      CloseButton();
      return true;
    case kChannelUp:
      if (!RefuseStepWhileRecording()) ChannelUp();
      return true;
    case kChannelDown:
      if (!RefuseStepWhileRecording()) ChannelDown();
      return true;
    case kSingleSearch:
      StartSearch(2);
      return true;
    case kFullSearch:
      StartSearch(0);
      return true;
    case kListSearch:
      StartSearch(3);
      return true;
    default:
      return false;
  }
}

void CChannelPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (m_background.isNull())
    p.fillRect(rect(), Qt::black);
  else
    p.drawImage(QPoint(0, 0), m_background, QRect(0, 0, kWidth, kHeight));
  if (!m_title.isNull()) p.drawImage(QPoint(13, 7), m_title, QRect(0, 0, 224, 16));
}

void CChannelPanel::mousePressEvent(QMouseEvent* event) {
  if (m_host.State().busy) {
    event->accept();
    return;
  }
  COstrelBaseDialog::mousePressEvent(event);
}

bool CChannelPanel::eventFilter(QObject* watched, QEvent* event) {
  // Keys pressed anywhere in the panel reach the main window's key table, once.
  if (event->type() == QEvent::KeyPress) {
    m_host.ForwardKey(static_cast<QKeyEvent*>(event));
    return true;
  }
  if (event->type() == QEvent::MouseButtonPress && watched != m_pList && m_host.State().busy) return true;
  return COstrelBaseDialog::eventFilter(watched, event);
}

void CChannelPanel::RefreshBusy() {
  if (m_host.State().busy)
    setCursor(Qt::WaitCursor);
  else
    setCursor(Qt::ArrowCursor);
}

// The list -----------------------------------------------------------------------------------------

void CChannelPanel::FillChannelList(const std::vector<tevalo::channels::ChannelEntry>& entries,
                                    const std::u16string& currentChannel) {
  m_entries = entries;
  m_model.Fill(entries, currentChannel);
  FillRows();
}

void CChannelPanel::FillRows() {
  if (!m_pList) return;
  m_pList->ClearRows();
  for (int row = 0; row < m_model.RowCount(); ++row) {
    const auto* record = m_model.RowRecord(row);
    m_pList->AddRow(QString::fromStdU16String(m_model.RowText(row)), record->channelIndex,
                    record->availability);
  }
  m_pList->SelectRow(m_model.Selected());
  const bool bar = m_model.NeedsScrollBar();
  m_pList->resize(m_model.ListWidth(), 126);
  CListBoxScrollBar* scroll = m_pList->ScrollBar();
  if (bar) {
    m_pList->PlaceScrollBar();
    scroll->Reset();
    scroll->FollowList();
    scroll->show();
  } else {
    scroll->hide();
  }
}

std::u16string CChannelPanel::GetCurrentChannelCode(const std::u16string& stored,
                                                    const std::function<bool(int)>& available) const {
  return tevalo::channels::ChooseChannelCode(stored, m_entries, available);
}

void CChannelPanel::SelectChannel(int channelIndex, int, int) {
  m_model.SelectChannel(channelIndex);
  if (m_pList) m_pList->SelectRow(m_model.Selected());
}

void CChannelPanel::SetChannelLock(int channelIndex, int value) {
  if (!m_model.SetAvailability(channelIndex, value ? 1 : 0)) return;
  for (auto& e : m_entries)
    if (e.index == channelIndex && e.availability != -1) e.availability = value ? 1 : 0;
  if (m_pList) m_pList->SetAvailability(channelIndex, value ? 1 : 0);
}

void CChannelPanel::EnableControls(bool enable) {
  if (m_pList) m_pList->setEnabled(enable);
  if (m_pListSearch) m_pListSearch->setEnabled(enable);
  if (m_pFullSearch) m_pFullSearch->setEnabled(enable);
}

// Tuning -------------------------------------------------------------------------------------------

void CChannelPanel::Tune(const std::u16string& code) {
  // The user's channel changes are what back and forward walk.
  m_host.ChangeChannel(code);
  m_model.PushHistory(code);
}

void CChannelPanel::RefuseWhileRecording() {
  m_prompter.Ask(QString::fromUtf8(kRecordingRefusal), QString::fromUtf8(tevalo::panels::kMessageTitle),
                 PromptButtons::Ok);
  SelectChannel(ChannelIndexOfCode(m_host.State().currentChannel));
}

bool CChannelPanel::RefuseStepWhileRecording() {
  if (!m_host.State().recording) return false;
  RefuseWhileRecording();
  return true;
}

void CChannelPanel::TuneRow(bool selectionChange) {
  switch (m_model.DecideTune(m_host.State(), selectionChange)) {
    case TuneDecision::Nothing:
      return;
    case TuneDecision::RefuseRecording:
      RefuseWhileRecording();
      return;
    case TuneDecision::Change:
      Tune(m_model.RowCode(m_model.Selected()));
      if (!selectionChange) m_host.ResetTimeshiftCounter();
      return;
  }
}

void CChannelPanel::OnSelChangeList() { TuneRow(true); }
void CChannelPanel::TuneSelected() { TuneRow(false); }

void CChannelPanel::Step(bool previous) {
  const auto state = m_host.State();
  if (state.busy) return;
  if (!m_model.SelectAdjacent(previous, state.currentChannel)) return;
  if (m_pList) m_pList->SelectRow(m_model.Selected());
  TuneSelected();
}

void CChannelPanel::ChannelUp() { Step(true); }
void CChannelPanel::ChannelDown() { Step(false); }

// History ------------------------------------------------------------------------------------------

void CChannelPanel::PushHistory(const std::u16string& code) { m_model.PushHistory(code); }

void CChannelPanel::ApplyHistoryStep(
    const std::optional<tevalo::panels::CChannelPanelModel::HistoryStep>& step) {
  if (!step) return;
  m_model.Select(step->row);
  if (m_pList) m_pList->SelectRow(step->row);
  m_host.ChangeChannel(step->code);
}

void CChannelPanel::HistoryBack() { ApplyHistoryStep(m_model.HistoryBack(m_host.State().currentChannel)); }
void CChannelPanel::HistoryForward() {
  ApplyHistoryStep(m_model.HistoryForward(m_host.State().currentChannel));
}

void CChannelPanel::RetuneCurrent() {
  const std::u16string current = m_host.State().currentChannel;
  if (!current.empty()) m_host.ChangeChannel(current);
}

void CChannelPanel::ResetHistory() { m_model.ResetHistory(); }

// Searches -----------------------------------------------------------------------------------------

void CChannelPanel::StartSearch(int kind) {
  const auto steps = tevalo::panels::StepsForSearch(kind);
  if (!steps || m_host.IsSearching()) return;
  if (m_host.State().recording) {
    const PromptAnswer answer =
        m_prompter.Ask(QString::fromUtf8(tevalo::panels::kSearchStopsRecording),
                       QString::fromUtf8(tevalo::panels::kMessageTitle), PromptButtons::YesNo);
    if (answer != PromptAnswer::Yes) return;
    m_host.StopRecordingForSearch();
  }
  if (steps->resetHistory) m_model.ResetHistory();
  if (steps->emptyList) {
    m_model.Clear();
    m_entries.clear();
    FillRows();
  }
  m_host.RunSearch(kind, *steps);
}

// Showing, hiding, snapping ------------------------------------------------------------------------

void CChannelPanel::ToggleShow() {
  if (m_bShown)
    Hide();
  else
    Show();
}

void CChannelPanel::Hide() {
  hide();
  m_bShown = false;
  m_host.PanelShownChanged(false);
  tevalo::panels::HidePanel(m_dock, m_host.PlaybackPanel());
}

void CChannelPanel::Show() {
  const QRect main = m_host.MainWindowRect();
  const SnapPoint mainTopLeft{main.x(), main.y()};
  if (m_firstShow) {
    // First showing: right of the main window, tops aligned, so docked.
    m_firstShow = false;
    m_dock.docked = true;
    m_dock.offset = {main.width(), 0};
  }
  const QSize screen = tevalo::panels::ScreenSize();
  const SnapPoint at =
      tevalo::panels::ShowPosition(m_dock, mainTopLeft, screen.width(), screen.height(), kOffScreenFallback);
  move(at.x, at.y);
  show();
  tevalo::panels::AfterShow(m_dock, ToSnap(main), tevalo::panels::RectAt(at, kWidth, kHeight),
                            m_host.PlaybackPanel());
  m_bShown = true;
  m_host.PanelShownChanged(true);
}

void CChannelPanel::CloseButton() {
  m_bShown = true;
  ToggleShow();
  m_host.PanelClosedByButton();
}

QPoint CChannelPanel::OnMoving(QPoint proposed) {
  const SnapRect q = tevalo::panels::RectAt({proposed.x(), proposed.y()}, kWidth, kHeight);
  const SnapPoint at =
      tevalo::panels::DragSnap(m_dock, ToSnap(m_host.MainWindowRect()), q, m_host.PlaybackPanel());
  return {at.x, at.y};
}

void CChannelPanel::FollowMainWindow(QPoint mainTopLeft) {
  if (!m_dock.docked) return;
  const SnapPoint at = tevalo::panels::CarryAlong(m_dock, {mainTopLeft.x(), mainTopLeft.y()});
  if (m_bShown) move(at.x, at.y);
}
