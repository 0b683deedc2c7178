// tevalo-live: opens the tuner, searches the area, tunes the stored or first channel and plays it
// through the live filter. With a display the pictures appear in a plain window; without one they
// are counted. Ends when the window closes, on Ctrl-C, or after --seconds N. --record N records N
// seconds of the channel once its stream has started ("rec_Dir") and, without --seconds, ends then.
//
//   tevalo-live [--seconds N] [--area A] [--record N] [--headless]
#include <gst/gst.h>
#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/path/utf.h"
#include "player/shell/player_core.h"
#include "player/shell/window_adapter.h"

namespace {

using namespace tevalo::shell;

std::atomic<bool> g_stop{false};

std::string Utf8(const std::u16string& s) { return tevalo::text::ToUtf8(s); }

// Prints what the window would show.
class TerminalView : public CNullPlayerView {
 public:
  // Each strip's text once, when it changes (the station's name comes again with every table).
  void SetStripText(StripKind kind, const std::u16string& text, int) override {
    if (text.empty() || m_shown[kind] == text) return;
    m_shown[kind] = text;
    const char* name = kind == StripKind::kChannel  ? "channel"
                       : kind == StripKind::kStatus ? "status"
                                                    : "programme";
    std::printf("[%s] %s\n", name, Utf8(text).c_str());
    std::fflush(stdout);
  }
  void ClearStrip(StripKind kind) override { m_shown.erase(kind); }
  void RefreshChannelPanel(const std::vector<ChannelEntry>& entries) override {
    int found = 0;
    for (const auto& e : entries)
      if (e.availability == 1) {
        std::printf("  found UHF %d  %s\n", e.tunerIndex + 13, Utf8(e.name).c_str());
        ++found;
      }
    if (found) std::fflush(stdout);
  }
  void ShowRecording(bool on) override {
    std::printf("[recording] %s\n", on ? "on" : "off");
    std::fflush(stdout);
  }
  void ShowRecordWriting(bool writing) override {
    if (writing)
      std::printf("[recording] writing again\n");
    else
      std::printf("[recording] %s\n", Utf8(kTextRecordNotWriting).c_str());
    std::fflush(stdout);
  }
  void ShowNotice(const std::u16string& text, const std::u16string& title) override {
    std::printf("[%s] %s\n", Utf8(title).c_str(), Utf8(text).c_str());
    std::fflush(stdout);
  }
  void PostQuit() override { g_stop = true; }

 private:
  std::map<StripKind, std::u16string> m_shown;
};

// Keeps the latest picture; the window repaints it on its own thread. The renderer's thread never
// waits for the GUI thread.
class WindowVideoOutput : public QWidget, public IVideoOutput {
 public:
  WindowVideoOutput() {
    setWindowTitle("Tevalo (live)");
    resize(640, 360);
  }
  void OnPicture(const uint8_t* bgrx, int width, int height, int stride, int64_t ptsNs) override {
    m_counter.OnPicture(bgrx, width, height, stride, ptsNs);
    {
      std::lock_guard lock(m_lock);
      QImage image(bgrx, width, height, stride, QImage::Format_RGB32);
      m_image = image.copy();
    }
    QMetaObject::invokeMethod(
        this, [this] { update(); }, Qt::QueuedConnection);
  }
  void SetWindowPosition(int, int, int, int) override {}
  void SetVisible(bool) override {}
  CHeadlessVideoOutput& Counter() { return m_counter; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    std::lock_guard lock(m_lock);
    if (!m_image.isNull()) {
      const QSize size = m_image.size().scaled(this->size(), Qt::KeepAspectRatio);
      const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
      p.drawImage(target, m_image);
    }
  }

 private:
  std::mutex m_lock;
  QImage m_image;
  CHeadlessVideoOutput m_counter;
};

void OnSignal(int) { g_stop = true; }

}  // namespace

int main(int argc, char** argv) {
  int seconds = 0, area = 7, record = 0;
  bool headless = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--area") && i + 1 < argc) {
      area = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--record") && i + 1 < argc) {
      record = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--headless")) {
      headless = true;
    } else {
      std::fprintf(stderr, "usage: tevalo-live [--seconds N] [--area A] [--record N] [--headless]\n");
      return 2;
    }
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  headless = headless || !((display && *display) || (wayland && *wayland));
  std::unique_ptr<QCoreApplication> app;
  if (headless)
    app = std::make_unique<QCoreApplication>(argc, argv);
  else
    app = std::make_unique<QApplication>(argc, argv);
  gst_init(nullptr, nullptr);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  TerminalView view;
  CHeadlessVideoOutput counter;
  std::unique_ptr<WindowVideoOutput> window;
  CPlayerCore::Options options;
  if (!headless) {
    window = std::make_unique<WindowVideoOutput>();
    window->show();
    options.video = window.get();
  } else {
    options.video = &counter;
  }
  CHeadlessVideoOutput& pictures = window ? window->Counter() : counter;
  options.areaIndex = area;
  options.searchKind = SearchKind::kArea;
  // The main window's start-up order: the start-up thread, the "Tevalo" window, the device watcher.
  auto core = std::make_unique<CPlayerCore>(view, options);
  CWindowAdapter adapter(*core);
  std::unique_ptr<tevalo::win::Window> playerWindow;
  if (core->StartStartupThread()) playerWindow = RegisterPlayerWindow(adapter);
  if (!playerWindow) {
    std::fprintf(stderr, "tevalo-live: cannot start the player\n");
    return 1;
  }
  core->AttachWindow(playerWindow->hwnd());
  core->StartDeviceWatcher();
  std::printf("tevalo-live: opening the tuner and searching area %d (%s)\n", area,
              headless ? "headless: pictures are counted" : "pictures in the window");
  std::fflush(stdout);
  core->StartTuner();

  // --record: starts once the channel's stream headers arrived, stops N seconds later.
  int recordedFor = -1;  // -1 not started
  bool recordingDone = false;
  auto stepRecording = [&] {
    if (record <= 0 || recordingDone) return;
    if (recordedFor < 0) {
      if (!core->State().streamFormatsKnown || !core->MediaGraph()) return;
      core->StartRecording();
      if (core->IsRecording()) recordedFor = 0;
      return;
    }
    if (++recordedFor < record) return;
    core->StopRecording(true);
    recordingDone = true;
    std::printf("tevalo-live: recorded %s\n", Utf8(core->RecordingPath()).c_str());
    std::fflush(stdout);
    if (seconds <= 0) g_stop = true;
  };

  // A recording without --seconds ends the run; one that cannot start gives up after a while.
  const int limit = seconds > 0 ? seconds : record > 0 ? record + 90 : 0;
  int elapsed = 0;
  uint64_t lastCount = 0;
  QTimer progress;
  QObject::connect(&progress, &QTimer::timeout, [&] {
    ++elapsed;
    const uint64_t n = pictures.Count();
    auto graph = core->MediaGraph();
    const auto last = pictures.Last();
    const auto counts = core->Counts();
    std::printf(
        "%4ds  channel %s  pictures %llu (+%llu)  %dx%d  rate %.2f fps  frames sent %llu video %llu audio\n",
        elapsed, Utf8(core->CurrentChannel()).c_str(), (unsigned long long)n,
        (unsigned long long)(n - lastCount), last.width, last.height,
        graph ? graph->GetFrameRate() / 100.0 : 0.0, (unsigned long long)counts.videoWritten,
        (unsigned long long)counts.audioWritten);
    std::fflush(stdout);
    lastCount = n;
    stepRecording();
    if (limit > 0 && elapsed >= limit) g_stop = true;
  });
  progress.start(1000);
  QTimer stopPoll;
  QObject::connect(&stopPoll, &QTimer::timeout, [&] {
    if (g_stop) app->quit();
  });
  stopPoll.start(100);
  if (window) QObject::connect(qApp, &QGuiApplication::lastWindowClosed, [&] { g_stop = true; });
  app->exec();
  std::printf("tevalo-live: stopping\n");
  core->Shutdown();
  playerWindow.reset();
  core.reset();
  window.reset();
  return record > 0 && !recordingDone ? 1 : 0;
}
