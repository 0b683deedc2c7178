// A recording that cannot start reaches the player as a warning on the live element's bus.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "filter/source/recorder.h"
#include "graph_util.h"

namespace {

namespace fs = std::filesystem;
using testhost::ChannelWriter;

TEST(RecorderNotice, AFileThatCannotBeMadeIsAWarningOfTheElement) {
  const fs::path dir = fs::path(std::getenv("XDG_RUNTIME_DIR")) / "notice";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "registry.ini") << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo]\n"
                                      << "\"User_Dir\"=\"" << dir.string() << "/\"\n";
  const std::string target = (dir / "no-such-folder" / "x.rec").string();
  std::ofstream(dir / "config.ini") << "[RECControl]\nFileName=" << target << "\n";
  setenv("TEVALO_REGISTRY", (dir / "registry.ini").c_str(), 1);

  struct Warning {
    std::mutex lock;
    std::condition_variable changed;
    bool seen = false;
    GstObject* source = nullptr;
    bool openWrite = false;
    std::string text;
  } warning;
  auto host = std::make_shared<testhost::Host>();
  halvik::SetFilterHost(host);
  halvik::SetRecorderFactory(halvik::MakeRecorderFactory());
  {
    testgraph::Graph live(false);
    halvik::SetRecorderFactory(nullptr);
    ChannelWriter writer(host->box, &host->wake);
    // Read on the posting thread: popping the message here would hand its text across GstBus's
    // lock-free queue, an order TSan cannot see in the uninstrumented GLib.
    GstBus* bus = gst_element_get_bus(live.pipe);
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* msg, gpointer data) {
          if (GST_MESSAGE_TYPE(msg) != GST_MESSAGE_WARNING) return GST_BUS_PASS;
          auto* w = static_cast<Warning*>(data);
          GError* err = nullptr;
          gst_message_parse_warning(msg, &err, nullptr);
          std::lock_guard lock(w->lock);
          w->seen = true;
          w->source = GST_MESSAGE_SRC(msg);
          w->openWrite = g_error_matches(err, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_WRITE);
          w->text = err ? err->message : "";
          g_clear_error(&err);
          w->changed.notify_all();
          return GST_BUS_PASS;
        },
        &warning, nullptr);
    g_object_set(live.src, "location", "x-dmb://27141", nullptr);
    live.Set(GST_STATE_PLAYING);
    writer.Write(ChannelWriter::Control(264, 12, 1));
    std::unique_lock lock(warning.lock);
    ASSERT_TRUE(warning.changed.wait_for(lock, std::chrono::seconds(10), [&] { return warning.seen; }));
    EXPECT_EQ(warning.source, GST_OBJECT(live.src));
    EXPECT_TRUE(warning.openWrite);
    EXPECT_NE(warning.text.find(target), std::string::npos) << warning.text;
    lock.unlock();
    live.Set(GST_STATE_NULL);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
  }
  halvik::SetFilterHost(nullptr);
  unsetenv("TEVALO_REGISTRY");
  EXPECT_FALSE(fs::exists(dir / "no-such-folder"));
}

}  // namespace
