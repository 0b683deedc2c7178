// A recording that cannot start reaches the player as a warning on the live element's bus.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

  auto host = std::make_shared<testhost::Host>();
  halvik::SetFilterHost(host);
  halvik::SetRecorderFactory(halvik::MakeRecorderFactory());
  {
    testgraph::Graph live(false);
    halvik::SetRecorderFactory(nullptr);
    ChannelWriter writer(host->box, &host->wake);
    g_object_set(live.src, "location", "x-dmb://27141", nullptr);
    live.Set(GST_STATE_PLAYING);
    writer.Write(ChannelWriter::Control(264, 12, 1));
    GstBus* bus = gst_element_get_bus(live.pipe);
    GstMessage* msg = gst_bus_timed_pop_filtered(bus, 3 * GST_SECOND, GST_MESSAGE_WARNING);
    ASSERT_TRUE(msg);
    EXPECT_EQ(GST_MESSAGE_SRC(msg), GST_OBJECT(live.src));
    GError* err = nullptr;
    gst_message_parse_warning(msg, &err, nullptr);
    EXPECT_TRUE(g_error_matches(err, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_WRITE));
    EXPECT_NE(std::string(err->message).find(target), std::string::npos) << err->message;
    g_error_free(err);
    gst_message_unref(msg);
    gst_object_unref(bus);
    live.Set(GST_STATE_NULL);
  }
  halvik::SetFilterHost(nullptr);
  unsetenv("TEVALO_REGISTRY");
  EXPECT_FALSE(fs::exists(dir / "no-such-folder"));
}

}  // namespace
