// The live road under test: a Qt application on the test's main thread (the GUI thread), the
// installation values for the two source elements, the stick stand-in serving fixture streams,
// and a view that records what the core shows.
#pragma once

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/path/utf.h"
#include "platform/profile/profile.h"
#include "player/shell/player_core.h"
#include "player/shell/window_adapter.h"
#include "recording_view.h"
#include "sim_client.h"

namespace tevalo::shell::test {

struct QtApp : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "shell_test";
    static char* argv[] = {name, nullptr};
    app = new QCoreApplication(argc, argv);
    gst_init(nullptr, nullptr);
  }
  void TearDown() override { delete app; }
  QCoreApplication* app = nullptr;
};

inline std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

inline std::string Fixture(const std::string& rel) { return Env("TEVALO_FIXTURES") + "/" + rel; }

// Writes the installation values (folders and the two source registrations) into the test's
// runtime folder and points the registry there.
inline std::string WriteInstallation() {
  const std::string dir = Env("XDG_RUNTIME_DIR");
  const std::string user = dir + "/user/";
  std::filesystem::create_directories(user);
  std::filesystem::create_directories(dir + "/rec");
  const std::string path = dir + "/registry.ini";
  std::ofstream out(path, std::ios::trunc);
  out << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo]\n\"User_Dir\"=\"" << user << "\"\n\"rec_Dir\"=\"" << dir
      << "/rec\"\n\"Install_Dir\"=\"" << dir << "/\"\n";
  out << "[HKEY_CLASSES_ROOT\\x-dmb]\n\"Source Filter\"=\"halviksrc\"\n";
  out << "[HKEY_CLASSES_ROOT\\Media Type\\Extensions\\.rec]\n\"Source Filter\"=\"halvikfsrc\"\n";
  out.close();
  ::setenv("TEVALO_REGISTRY", path.c_str(), 1);
  // A fresh installation: no settings, and no channel list a previous run saved beside them.
  std::filesystem::remove(user + "config.ini");
  std::filesystem::remove(user + "chlist.ini");
  return user + "config.ini";
}

// Runs the GUI thread's events until done() or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

inline void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

// The core with the "Tevalo" window the program registers, started in the main window's order.
struct LiveCore {
  LiveCore(IPlayerView& view, CPlayerCore::Options options, bool watchDevices = true)
      : core(std::make_unique<CPlayerCore>(view, std::move(options))), adapter(*core) {
    EXPECT_TRUE(core->StartStartupThread());
    window = RegisterPlayerWindow(adapter);
    core->AttachWindow(window->hwnd());
    if (watchDevices) {
      EXPECT_TRUE(core->StartDeviceWatcher());
    }
  }
  ~LiveCore() {
    core->Shutdown();
    window.reset();
  }
  CPlayerCore* operator->() { return core.get(); }
  std::unique_ptr<CPlayerCore> core;
  CWindowAdapter adapter;
  std::unique_ptr<win::Window> window;
};

// The sample broadcast's three stations (area 7, UHF 25..27), or other streams on those channels.
inline std::unique_ptr<tunersim::SimProcess> StartSim(const std::vector<std::string>& channels) {
  tunersim::SimProcess::Options o;
  for (const auto& c : channels) {
    o.args.push_back("--channel");
    o.args.push_back(c);
  }
  return std::make_unique<tunersim::SimProcess>(o);
}

inline std::vector<std::string> SampleChannels() {
  return {"27=" + Fixture("sample/ch27/stream.ts") + ",level=1",
          "26=" + Fixture("sample/ch26/stream.ts") + ",level=2",
          "25=" + Fixture("sample/ch25/stream.ts") + ",level=3"};
}

inline int CountEntries(const char* folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

}  // namespace tevalo::shell::test
