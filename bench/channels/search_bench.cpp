// search_bench [rounds]: time from a search's start to the channel panel's refill on the stick
// stand-in with the sample broadcast (area 7), for an area search (the reference) and a start over
// the stored channel list, alternating in one process; prints medians and their ratio.
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/path/utf.h"
#include "player/shell/player_core.h"
#include "player/shell/window_adapter.h"
#include "sim_client.h"

using namespace tevalo::shell;

namespace {

class PanelView : public CNullPlayerView {
 public:
  void RefreshChannelPanel(const std::vector<ChannelEntry>& e) override {
    if (!e.empty()) ++refills;
  }
  std::atomic<int> refills{0};
};

bool PumpUntil(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// Milliseconds from BeginSearch to the panel's refill; -1 when it did not come.
double OneSearch(const std::string& config, SearchKind kind) {
  PanelView view;
  CPlayerCore::Options o;
  o.configPath = tevalo::text::ToUtf16(config);
  o.searchKind = kind;
  CPlayerCore controller(view, o);
  CWindowAdapter adapter(controller);
  controller.StartStartupThread();
  auto window = RegisterPlayerWindow(adapter);
  controller.AttachWindow(window->hwnd());
  const auto t0 = std::chrono::steady_clock::now();
  if (!controller.BeginSearch(kind)) return -1;
  if (!PumpUntil([&] { return view.refills > 0; }, 120000)) return -1;
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  controller.Shutdown();
  return ms;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char dirTemplate[] = "/tmp/tevalo-search-bench-XXXXXX";
  const std::string dir = mkdtemp(dirTemplate);
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  setenv("TEVALO_NAMESPACE", "search_bench", 1);
  {
    std::ofstream reg(dir + "/registry.ini");
    reg << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo]\n\"User_Dir\"=\"" << dir << "/\"\n";
  }
  setenv("TEVALO_REGISTRY", (dir + "/registry.ini").c_str(), 1);
  const std::string config = dir + "/config.ini";
  std::ofstream(config) << "[CHANNEL_LOCK]\n12_LOCK=1\n13_LOCK=1\n14_LOCK=1\n";
  QCoreApplication app(argc, argv);

  tunersim::SimProcess::Options so;
  const std::string fixtures = TEVALO_FIXTURE_DIR;
  for (int uhf : {27, 26, 25}) {
    so.args.push_back("--channel");
    so.args.push_back(std::to_string(uhf) + "=" + fixtures + "/sample/ch" + std::to_string(uhf) +
                      "/stream.ts");
  }
  tunersim::SimProcess sim(so);

  std::vector<double> area, stored;
  for (int r = 0; r < rounds; ++r) {
    area.push_back(OneSearch(config, SearchKind::kArea));
    stored.push_back(OneSearch(config, SearchKind::kStoredList));
  }
  const double a = Median(area), s = Median(stored);
  std::printf(
      "search start to filled panel, median of %d: area search %.1f ms, stored list %.1f ms, ratio %.3f\n",
      rounds, a, s, a > 0 ? s / a : -1.0);
  return a < 0 || s < 0 ? 1 : 0;
}
