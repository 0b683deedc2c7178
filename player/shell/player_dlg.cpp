#include "player/shell/player_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QPalette>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <atomic>
#include <mutex>

#include "controls/hover_button.h"
#include "platform/registry/registry.h"
#include "player/panels/blink_label.h"
#include "player/panels/caption_window.h"
#include "player/panels/gif_static.h"
#include "player/panels/skin_slider.h"
#include "player/panels/ticker_static.h"
#include "player/resources/dialog_templates.h"
#include "player/resources/player_resources.h"
#include "player/shell/main_window_view.h"
#include "player/shell/screen_saver_inhibit.h"
#include "player/shell/seek_thumb.h"

Q_LOGGING_CATEGORY(lcPlayerWindow, "tevalo.startup", QtWarningMsg)

namespace tevalo::shell {
namespace {

constexpr int kNormalWidth = 346;
constexpr int kNormalHeight = 380;
constexpr int kTrayWaitMs = 2000;
constexpr int kCaptionId = 1049;
constexpr int kStripIds[3] = {1046, 1047, 1048};
constexpr int kAnimationId = 1104;
constexpr int kVolumeId = 1060;
constexpr int kVolumeTextId = 1064;
constexpr int kFullScreenToggleId = 1072;
constexpr char16_t kDualMonoMessage[] = u"C3F3B4AB-8C35-47ff-B75E-D7242E81D58E";
constexpr char16_t kWinlogonKey[] = u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

int StripIndex(StripKind kind) {
  switch (kind) {
    case StripKind::kChannel:
      return 0;
    case StripKind::kProgramme:
      return 1;
    case StripKind::kStatus:
      return 2;
    default:
      return -1;
  }
}

// Keeps the renderer's latest picture and has the GUI thread show it; the renderer never waits, and
// pictures that come faster than the window paints replace each other.
class CSkinVideoOutput final : public IVideoOutput {
 public:
  using Show = std::function<void(const QImage&)>;
  CSkinVideoOutput(QObject* context, Show show) : m_context(context), m_show(std::move(show)) {}
  void OnPicture(const uint8_t* bgrx, int width, int height, int stride, int64_t) override {
    {
      std::lock_guard lock(m_lock);
      m_latest = QImage(bgrx, width, height, stride, QImage::Format_RGB32).copy();
    }
    if (m_pending.exchange(true)) return;
    QMetaObject::invokeMethod(
        m_context,
        [this] {
          m_pending = false;
          QImage picture;
          {
            std::lock_guard lock(m_lock);
            picture = m_latest;
          }
          m_show(picture);
        },
        Qt::QueuedConnection);
  }
  void SetWindowPosition(int, int, int, int) override {}
  void SetVisible(bool) override {}

 private:
  QObject* m_context;
  Show m_show;
  std::mutex m_lock;
  QImage m_latest;
  std::atomic<bool> m_pending{false};
};

void WaitInEventLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

CPlayerDlg::CPlayerDlg(Options options, QWidget* parent)
    : COstrelBaseDialog(103, parent),
      m_options(std::move(options)),
      m_configOverride(m_options.core.configPath) {
  LoadPaths();
  m_options.core.configPath = m_paths.configPath;
  if (!m_options.core.video) {
    m_pictures = std::make_unique<CSkinVideoOutput>(this, [this](const QImage& picture) {
      if (m_view) m_view->SetPicture(picture);
    });
    m_options.core.video = m_pictures.get();
  }
  m_core = std::make_unique<CPlayerCore>(*this, m_options.core);
  m_adapter = std::make_unique<CWindowAdapter>(*m_core);
  m_core->GetHooks().readIepgFile = [this](const std::u16string& path) {
    qCInfo(lcPlayerWindow) << "iEPG file:" << QString::fromStdU16String(path);
    if (m_hooks.readIepgFile) m_hooks.readIepgFile(path);
  };
  m_bCloseAfterRecording = m_options.argument.kind == StartKind::kReservation ? 1 : 0;
}

CPlayerDlg::~CPlayerDlg() {
  // A window that never closed (set-up failed, "+x", or the program ends) still stops every thread.
  if (!m_closed) {
    m_closing = true;
    for (CloseStep step : CloseSteps()) RunCloseStep(step);
    m_closed = true;
  }
}

void CPlayerDlg::Trace(std::string_view step) const {
  if (m_options.trace) m_options.trace(step);
}

void CPlayerDlg::DoDataExchange() {
  if (!m_controls.empty()) return;
  const DialogTemplate* layout = FindTemplate(PlayerDialogTemplates(), 103);
  if (!layout) return;
  for (const TemplateControl& c : layout->controls) {
    QWidget* w = nullptr;
    if (c.id == kCaptionId) {
      w = m_caption = new CCaptionWnd(this);
    } else if (c.id == kAnimationId) {
      w = m_animation = new CGifStatic(this, c.id);
    } else if (c.id == kVolumeId) {
      w = m_volume = new CSkinSlider(this, c.id);
    } else if (c.id == kVolumeTextId) {
      w = m_volumeText = new QLabel(this);
    } else if (c.kind == ControlKind::OwnerDrawButton) {
      auto* button = new CHoverButton(this, c.id);
      connect(button, &QAbstractButton::clicked, this, [this, id = c.id] { OnCommand(id); });
      w = button;
    } else {
      for (int i = 0; i < 3; ++i)
        if (c.id == kStripIds[i]) {
          auto* strip = new CTickerStatic(this, c.id);
          strip->SetIndex(i);
          w = m_strips[i] = strip;
        }
    }
    if (!w) continue;
    w->setObjectName(QStringLiteral("control%1").arg(c.id));
    // Hidden until the layout code places and shows it; the animation has its own place.
    if (w != m_animation) w->hide();
    m_controls.emplace(c.id, w);
  }
  if (m_options.skin) {
    HostView();
  } else {
    m_recIndicator = new CBlinkLabel(this);
    m_recIndicator->hide();
  }
  // The video area's black until the skin paints the frame.
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
}

// The skin's own buttons, strips, caption and slider become the window's controls, so one widget
// stands for each id and the skin's layout places it.
void CPlayerDlg::HostView() {
  CMainWindowView::Callbacks cb;
  cb.command = [this](uint32_t id) { OnCommand(id); };
  cb.doubleClick = [this] { OnCommand(kFullScreenToggleId); };
  cb.contextMenu = [this](QPoint global) {
    if (m_hooks.contextMenu) m_hooks.contextMenu(global);
  };
  cb.volumeMoving = [this](int position) {
    if (m_hooks.volumeMoving) m_hooks.volumeMoving(position);
  };
  cb.positionKnown = [this] { return SeekThumbTakable(*m_core); };
  cb.seekThumbDropped = [this](int thumbX, int width) { SeekToThumb(*m_core, thumbX, width); };
  cb.hasGraph = [this] { return m_core->MediaGraph() != nullptr; };
  cb.busy = [this] { return m_core->State().busy; };
  cb.searching = [this] { return m_core->State().searching; };
  m_view = new CMainWindowView(std::move(cb), this);
  m_view->setObjectName(QStringLiteral("skin"));
  m_view->setGeometry(rect());
  m_view->lower();
  auto adopt = [this](int id, QWidget* skin) {
    if (!skin) return;
    if (auto it = m_controls.find(id); it != m_controls.end()) delete it->second;
    m_controls[id] = skin;
  };
  for (auto& [id, widget] : std::map<int, QWidget*>(m_controls))
    if (QWidget* button = m_view->Button(id)) adopt(id, button);
  const Place strips[3] = {Place::kChannelStrip, Place::kProgrammeStrip, Place::kStatusStrip};
  for (int i = 0; i < 3; ++i) {
    m_strips[i] = static_cast<CTickerStatic*>(m_view->PlaceWidget(strips[i]));
    adopt(kStripIds[i], m_strips[i]);
  }
  m_caption = static_cast<CCaptionWnd*>(m_view->PlaceWidget(Place::kCaptionWindow));
  adopt(kCaptionId, m_caption);
  m_volume = static_cast<CSkinSlider*>(m_view->PlaceWidget(Place::kVolumeSlider));
  adopt(kVolumeId, m_volume);
  m_recIndicator = static_cast<CBlinkLabel*>(m_view->RecordingIndicator());
  // What the skin has not (the animation, the volume text) stays above it.
  for (auto& [id, widget] : m_controls)
    if (widget->parentWidget() == this) widget->raise();
}

void CPlayerDlg::resizeEvent(QResizeEvent* event) {
  COstrelBaseDialog::resizeEvent(event);
  if (m_view) m_view->setGeometry(rect());
}

QWidget* CPlayerDlg::Control(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : it->second;
}

CTickerStatic* CPlayerDlg::Strip(StripKind kind) const {
  const int i = StripIndex(kind);
  return i < 0 ? nullptr : m_strips[i];
}

CHoverButton* CPlayerDlg::Button(int id) const { return qobject_cast<CHoverButton*>(Control(id)); }

win::HWND CPlayerDlg::WindowHandle() const { return m_window ? m_window->hwnd() : nullptr; }

// ---- set-up ----

bool CPlayerDlg::OnInitDialog() {
  for (InitStep step : InitSteps(m_options.argument.kind)) {
    Trace(StepName(step));
    if (!RunInitStep(step)) return false;
  }
  m_initDone = true;
  if (m_closeRequested) {
    if (m_promptCloser) m_promptCloser->stop();
    PostQuit();  // runs once the dialog's own loop does
  }
  return true;
}

namespace {

void RejectModalPrompts(const QWidget* mainWindow) {
  // Bounded: a prompt that refuses to close must not spin here.
  for (int i = 0; i < 8; ++i) {
    QWidget* prompt = QApplication::activeModalWidget();
    if (!prompt || prompt == mainWindow) return;
    if (auto* dialog = qobject_cast<QDialog*>(prompt))
      dialog->reject();
    else
      prompt->close();
  }
}

}  // namespace

void CPlayerDlg::RequestClose() {
  m_closeRequested = true;
  RejectModalPrompts(this);
  if (m_initDone) {
    PostQuit();
    return;
  }
  // Start-up may still open prompts of its own (the area dialog, error messages); each is answered
  // as cancelled until start-up ends and the close can run.
  if (!m_promptCloser) {
    m_promptCloser = new QTimer(this);
    connect(m_promptCloser, &QTimer::timeout, this, [this] { RejectModalPrompts(this); });
    m_promptCloser->start(100);
  }
}

void CPlayerDlg::Fail(const QString& text) {
  qCWarning(lcPlayerWindow) << text;
  emit StartFailed(text);
  if (IPrompter* prompter = m_options.core.prompter)
    prompter->Ask({text.toStdU16String(), u"Tevalo", Prompt::Buttons::kOk});
}

bool CPlayerDlg::RunInitStep(InitStep step) {
  switch (step) {
    case InitStep::kBaseInit:
      setWindowFlag(Qt::WindowSystemMenuHint);
      setWindowFlag(Qt::WindowMinimizeButtonHint);
      setWindowFlag(Qt::WindowMaximizeButtonHint);
      return COstrelBaseDialog::OnInitDialog();
    case InitStep::kTrayWait:
      WaitInEventLoop(kTrayWaitMs);
      return true;
    case InitStep::kQuit:
      // Ends the start here: the window never shows and nothing is written.
      qCInfo(lcPlayerWindow) << "quit";
      return false;
    case InitStep::kClearMedia:
      return true;
    case InitStep::kCheckScreen:
      if (QGuiApplication::primaryScreen()) return true;
      Fail(QStringLiteral("No screen to show the player on."));
      return false;
    case InitStep::kSetIcon:
      setWindowIcon(PlayerIcon());
      return true;
    case InitStep::kStartStartupThread:
      if (m_core->StartStartupThread()) return true;
      Fail(QStringLiteral("The player's start-up thread could not be started."));
      return false;
    case InitStep::kCreatePlaylistWindow:
      if (m_hooks.createPlaylistWindow) m_hooks.createPlaylistWindow();
      hide();
      return true;
    case InitStep::kRegisterWindow:
      setWindowTitle(QString::fromUtf16(kPlayerWindowTitle));
      if (m_options.registerWindow) {
        m_window = std::make_unique<win::Window>(
            kPlayerWindowTitle, [this](UINT msg, WPARAM w, LPARAM l) { return WindowProc(msg, w, l); },
            &CWindowAdapter::HandlesOnSenderThread);
        m_core->AttachWindow(m_window->hwnd());
        m_core->StartDeviceWatcher();
        qCInfo(lcPlayerWindow) << "window registered";
      }
      return true;
    case InitStep::kResetBottomBar:
      if (m_hooks.resetBottomBar) m_hooks.resetBottomBar();
      return true;
    case InitStep::kLoadPaths:
      LoadPaths();
      hide();
      return true;
    case InitStep::kCreateReservationSheet:
      if (m_hooks.createReservationSheet) m_hooks.createReservationSheet();
      return true;
    case InitStep::kLoadSkinButtons:
      if (m_hooks.loadSkinButtons) m_hooks.loadSkinButtons();
      hide();
      return true;
    case InitStep::kClearStrips:
      for (CTickerStatic* strip : m_strips)
        if (strip) strip->SetText(QString(), 0);
      return true;
    case InitStep::kPlaceWindow:
    case InitStep::kPlaceWindowAgain:
      PlaceWindow(true);
      return true;
    case InitStep::kPlaceWindowLast:
      PlaceWindow(true);
      qCInfo(lcPlayerWindow) << "window shown";
      return true;
    case InitStep::kLoadSettings:
      LoadSettings();
      return true;
    case InitStep::kShowSearchAnimation:
      ShowAnimation(Animation::kSearching);
      return true;
    case InitStep::kApplyStartView:
      if (const int view = m_settings.StartView(); (view == 1 || view == 2) && m_hooks.applyStartView)
        m_hooks.applyStartView(view);
      return true;
    case InitStep::kApplyVolume:
      if (m_volume) {
        m_volume->SetRange(0, kVolumeMax);
        m_volume->SetPos(m_settings.volume);
      }
      if (m_hooks.applyVolume) m_hooks.applyVolume(m_settings.volume, m_settings.muted != 0);
      return true;
    case InitStep::kFollowWindow:
      if (m_hooks.followWindow) m_hooks.followWindow();
      return true;
    case InitStep::kDropExpiredReservations:
      if (m_hooks.dropExpiredReservations) m_hooks.dropExpiredReservations();
      return true;
    case InitStep::kReadIepgArgument:
      m_core->OnIepgFile(m_options.argument.text);
      return true;
    case InitStep::kStartTuner:
      m_core->StartTuner();
      return true;
    case InitStep::kLoadReservations:
      if (m_hooks.loadReservations) m_hooks.loadReservations();
      return true;
    case InitStep::kInhibitScreenSaver:
      if (m_options.useSessionBus) {
        m_inhibitor = std::make_unique<CScreenSaverInhibitor>();
        m_inhibitor->Inhibit(QStringLiteral("Watching television"));
      }
      return true;
    case InitStep::kBindCloseShortcut: {
      // This window's own shortcut: other programs keep their Alt+F4.
      auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
      shortcut->setContext(Qt::WindowShortcut);
      connect(shortcut, &QShortcut::activated, this, &CPlayerDlg::OnClose);
      return true;
    }
    case InitStep::kRegisterDualMonoMessage:
      m_nDualMonoMessage = static_cast<int>(win::RegisterWindowMessageW(kDualMonoMessage));
      return true;
  }
  return true;
}

void CPlayerDlg::PlaceWindow(bool show) {
  // Topmost only when asked for: the base class's topmost does not outlive the set-up.
  setWindowFlag(Qt::WindowStaysOnTopHint, m_settings.always != 0);
  // The normal view's size until the layout code places the window itself.
  if (!m_placed) resize(kNormalWidth, kNormalHeight);
  m_placed = true;
  if (show) this->show();
  m_rcWindow = geometry();
}

// ---- commands ----

DispatchResult CPlayerDlg::OnCommand(CommandId id) { return m_commands.Dispatch(id); }

// ---- the "Tevalo" window ----

LRESULT CPlayerDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case win::WM_CLOSE:
      if (!m_closing && m_hooks.confirmClose && !m_hooks.confirmClose()) return 0;
      OnClose();
      return 0;
    case win::WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == win::SC_RESTORE) {
        qCInfo(lcPlayerWindow) << "restored";
        if (!m_closing) {
          showNormal();
          raise();
          activateWindow();
        }
      }
      return 0;
    case win::WM_SETFOCUS:
    case win::WM_KILLFOCUS:
      return 0;
    default:
      return m_adapter->WindowProc(msg, wParam, lParam);
  }
}

// ---- closing ----

void CPlayerDlg::closeEvent(QCloseEvent* event) {
  if (!m_closing && m_hooks.confirmClose && !m_hooks.confirmClose()) {
    event->ignore();
    return;
  }
  OnClose();
  event->accept();
}

void CPlayerDlg::keyPressEvent(QKeyEvent* event) {
  if (m_hooks.keyPressed && m_hooks.keyPressed(event)) {
    event->accept();
    return;
  }
  COstrelBaseDialog::keyPressEvent(event);
}

// Escape does not end the player; closing goes through OnClose only.
void CPlayerDlg::reject() {
  if (m_closed) QDialog::reject();
}

void CPlayerDlg::OnClose() {
  if (m_closing) return;
  m_closing = true;
  for (CloseStep step : CloseSteps()) {
    Trace(StepName(step));
    RunCloseStep(step);
  }
  m_closed = true;
  done(QDialog::Accepted);
}

void CPlayerDlg::RunCloseStep(CloseStep step) {
  switch (step) {
    case CloseStep::kBeginClose:
      m_core->BeginClose();
      hide();
      break;
    case CloseStep::kStopStartupThread:
      m_core->StopStartupThread();
      break;
    case CloseStep::kStopChannelSearch:
      m_core->StopChannelSearch();
      break;
    case CloseStep::kCloseMediaGraph:
      m_core->CloseMediaGraph();
      break;
    case CloseStep::kCloseStreamChannel:
      m_core->CloseStreamChannel();
      break;
    case CloseStep::kClearChannelEntries:
      m_core->ClearChannelEntries();
      break;
    case CloseStep::kSaveSettings:
      // Only what was loaded is written back: a start that ended early keeps the stored values.
      if (m_settingsLoaded) SaveSettings();
      break;
    case CloseStep::kStopPlayback:
      m_core->StopPlayback();
      break;
    case CloseStep::kDestroyPanels:
      if (m_hooks.destroyPanels) m_hooks.destroyPanels();
      break;
    case CloseStep::kCloseTuner:
      m_core->CloseTuner();
      break;
    case CloseStep::kReleaseScreenSaver:
      if (m_inhibitor) m_inhibitor->Release();
      break;
    case CloseStep::kEndClose:
      m_core->Shutdown();  // the steps above already ran; this marks the core closed
      m_window.reset();
      break;
  }
}

// ---- settings store ----

void CPlayerDlg::LoadPaths() {
  m_paths = tevalo::shell::LoadPaths();
  if (!m_configOverride.empty()) m_paths.configPath = m_configOverride;
}

void CPlayerDlg::LoadSettings() {
  const bool noAutoLogonUser = registry::ReadString(kWinlogonKey, u"DefaultUserName").value_or(u"").empty();
  m_settings = ReadSettings(m_paths.configPath, noAutoLogonUser);
  m_nSavedVolume = m_settings.volume;
  std::function<std::optional<int>(int)> askArea;
  if (m_hooks.askArea) {
    askArea = [this](int preselected) {
      qCInfo(lcPlayerWindow) << "asking for the area";
      return m_hooks.askArea(preselected);
    };
  }
  const StartSearch search = DecideStartSearch(m_settings.areaIndex, askArea, m_hooks.loadChannelList);
  m_settings.areaIndex = search.areaIndex;
  m_bAreaChosen = search.areaChosen ? 1 : 0;
  m_core->SetStartSearch(search.kind, search.areaIndex, search.areaChosen);
  m_settingsLoaded = true;
  PlaceWindow(true);
}

void CPlayerDlg::SaveSettings() {
  WriteSettings(m_paths.configPath, m_settings, m_nSavedVolume);
  if (m_hooks.saveLists) m_hooks.saveLists();
  SaveChannelLocks();
}

void CPlayerDlg::LoadChannelLocks() { m_core->LoadChannelLocks(); }

void CPlayerDlg::SaveChannelLocks() { m_core->SaveChannelLocks(); }

std::u16string CPlayerDlg::ReadCurrentChannel() const { return m_core->ReadCurrentChannel(); }

// ---- what the window shows itself ----

void CPlayerDlg::SetStripText(StripKind kind, const std::u16string& text, int ticks) {
  if (kind == StripKind::kCaption) return;
  // The strip keeps its text as state and paints it on its own ticks: ask for the repaint here so a
  // new or cleared text shows at once.
  if (CTickerStatic* strip = Strip(kind)) {
    strip->SetText(QString::fromStdU16String(text), kind == StripKind::kProgramme ? 1 : 0);
    strip->StartScroll(true, ticks);
    strip->update();
  }
}

void CPlayerDlg::ClearStrip(StripKind kind) {
  if (kind == StripKind::kCaption) {
    if (m_caption) m_caption->ClearCaption();
  } else if (CTickerStatic* strip = Strip(kind)) {
    strip->SetText(QString(), 0);
    strip->update();
  }
}

void CPlayerDlg::ShowCaption(const CaptionScreen& screen) {
  if (m_caption) m_caption->SetCaption(screen);
}

void CPlayerDlg::ShowAnimation(Animation id) {
  if (!m_animation) return;
  m_animation->setGeometry(panels::AnimationPlacement(size()));
  if (m_animation->LoadFromResource(static_cast<unsigned>(id))) m_animation->Draw();
  m_animation->show();
}

void CPlayerDlg::HideAnimation() {
  if (!m_animation) return;
  m_animation->Stop();
  m_animation->hide();
}

void CPlayerDlg::StateChanged(const CoreState& state) {
  // The programme strip belongs to live television: it steps aside while a file plays.
  if (!m_view) return;
  ControlState look = m_view->State();
  const bool filePlays = state.sourceMode == SourceMode::kRecording;
  if (look.filePlays == filePlays) return;
  look.filePlays = filePlays;
  m_view->SetControlState(look);
}

void CPlayerDlg::ShowLevelBars(int bars) {
  if (m_view) m_view->ShowLevelBars(bars);
}

void CPlayerDlg::ShowVideoArea(bool playing) {
  if (!m_view) return;
  // A graph that runs places its video visibly, even one opened under the no-signal pause; a graph
  // that closed or failed leaves no picture behind.
  if (playing)
    m_view->SetVideoHidden(false);
  else
    m_view->SetPicture(QImage());
}

void CPlayerDlg::ShowRecording(bool recording) {
  if (m_view) m_view->SetRecording(recording);
  if (!recording) ShowRecordWriting(true);
  if (m_hooks.recordingShown) m_hooks.recordingShown(recording);
}

// REC stays lit only while records reach the disk; the status strip says why it went out.
void CPlayerDlg::ShowRecordWriting(bool writing) {
  CTickerStatic* status = Strip(StripKind::kStatus);
  if (writing) {
    if (status && status->State().Text() == QString::fromUtf16(kTextRecordNotWriting))
      status->SetText(QString(), 0);
    if (m_view && m_core->IsRecording()) m_view->SetRecording(true);
    return;
  }
  if (m_view) m_view->SetRecording(false);
  if (status) status->SetText(QString::fromUtf16(kTextRecordNotWriting), 0);
}

void CPlayerDlg::RefillPlaylist(int hotIndex) {
  if (m_hooks.refillPlaylist) m_hooks.refillPlaylist(hotIndex);
}

void CPlayerDlg::ResetPlaybackPanel() {
  if (m_hooks.resetPlaybackPanel) m_hooks.resetPlaybackPanel();
}

void CPlayerDlg::ShowPlaybackFile(const std::u16string& fileName) {
  if (m_hooks.showPlaybackFile) m_hooks.showPlaybackFile(fileName);
}

void CPlayerDlg::RefreshChannelPanel(const std::vector<ChannelEntry>& entries) {
  if (m_hooks.refreshChannelPanel) m_hooks.refreshChannelPanel(entries);
}

void CPlayerDlg::HideChannelPanel() {
  if (m_hooks.hideChannelPanel) m_hooks.hideChannelPanel();
}

void CPlayerDlg::ChannelLockChanged(int index, bool locked) {
  if (m_hooks.channelLockChanged) m_hooks.channelLockChanged(index, locked);
}

void CPlayerDlg::PostQuit() { QTimer::singleShot(0, this, &CPlayerDlg::OnClose); }

}  // namespace tevalo::shell
