// The main window over a fake graph and a clock the test moves, in a folder of its own.
#pragma once

#include <stdlib.h>

#include <QApplication>
#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controls/font_aliases.h"
#include "platform/path/utf.h"
#include "player/pipeline/graph/fake_media_graph.h"
#include "player/resources/player_resources.h"
#include "player/shell/player_dlg.h"

namespace tevalo::shell::test {

inline bool PumpUntil(const std::function<bool()>& done, int ms = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

struct GuiApp : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "shell_window_test";
    static char* argv[] = {name, nullptr};
    // No installation values: the tests give every path themselves.
    ::setenv("TEVALO_REGISTRY", "/nonexistent/tevalo-registry", 1);
    LoadFontAliases();
    app = new QApplication(argc, argv);
    InstallPlayerResources();
  }
  void TearDown() override { delete app; }
  QApplication* app = nullptr;
};

// Everything the window did, in order: its steps and the hooks it called.
struct WindowUnderTest {
  explicit WindowUnderTest(const std::string& folderName, StartArgument argument = {}) {
    folder = std::filesystem::temp_directory_path() / (folderName + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    options.argument = std::move(argument);
    options.core.clock = &clock;
    options.core.prompter = &prompter;
    options.core.configPath = text::ToUtf16((folder / "config.ini").string());
    options.core.makeGraph = [this](IMediaGraphOwner* owner, IVideoOutput* video) {
      auto g = std::make_shared<CFakeMediaGraph>(owner, video, script);
      std::lock_guard lock(m);
      graphs.push_back(g);
      return g;
    };
    options.useSessionBus = false;  // the screen-saver test brings its own bus
#if defined(__SANITIZE_THREAD__)
    options.skin = false;
#endif
    options.trace = [this](std::string_view step) { Log(std::string(step)); };
  }
  ~WindowUnderTest() {
    dlg.reset();
    std::filesystem::remove_all(folder);
  }
  void Log(std::string entry) {
    std::lock_guard lock(m);
    log.push_back(std::move(entry));
  }
  std::vector<std::string> Log() {
    std::lock_guard lock(m);
    return log;
  }
  // Makes the window with every hook recording its call.
  CPlayerDlg& Make() {
    dlg = std::make_unique<CPlayerDlg>(options);
    auto& h = dlg->GetHooks();
    h.createPlaylistWindow = [this] { Log("hook:playlist"); };
    h.loadSkinButtons = [this] { Log("hook:skin"); };
    h.readIepgFile = [this](const std::u16string& p) { Log("hook:iepg " + text::ToUtf8(p)); };
    h.loadReservations = [this] { Log("hook:reservations"); };
    h.askArea = [this](int pre) -> std::optional<int> {
      Log("hook:askArea " + std::to_string(pre));
      return areaAnswer;
    };
    h.loadChannelList = [this](int area) {
      Log("hook:list " + std::to_string(area));
      return listHasChannels;
    };
    h.destroyPanels = [this] { Log("hook:panels"); };
    return *dlg;
  }
  bool Has(const std::string& config) const { return std::filesystem::exists(folder / config); }
  std::filesystem::path folder;
  CPlayerDlg::Options options;
  CManualTimerClock clock;
  CScriptedPrompter prompter;
  CFakeMediaGraph::Script script;
  std::mutex m;
  std::vector<std::string> log;
  std::vector<std::shared_ptr<CFakeMediaGraph>> graphs;
  std::optional<int> areaAnswer;
  bool listHasChannels = false;
  std::unique_ptr<CPlayerDlg> dlg;
};

// Where a test's screenshots go: build folder/screenshots/<sub>.
inline std::filesystem::path ScreenshotDir(const char* sub) {
  const char* bin = std::getenv("TEVALO_BINARY_DIR");
  auto dir = std::filesystem::path(bin ? bin : ".") / "screenshots" / sub;
  std::filesystem::create_directories(dir);
  return dir;
}

inline ptrdiff_t Position(const std::vector<std::string>& log, const std::string& entry) {
  auto it = std::find(log.begin(), log.end(), entry);
  return it == log.end() ? -1 : it - log.begin();
}

}  // namespace tevalo::shell::test
