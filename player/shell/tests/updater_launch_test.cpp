// The updater starts as a program: a folder name with spaces and shell characters is only a name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/path/utf.h"
#include "player/shell/updater_launch.h"

namespace tevalo::shell {
namespace {

namespace fs = std::filesystem;

TEST(UpdaterLaunch, StartsTheProgramInTheInstallationFolder) {
  char tmpl[] = "/tmp/tevalo-upd-XXXXXX";
  const fs::path root = ::mkdtemp(tmpl);
  const fs::path dir = root / "my tools; touch injected";
  fs::create_directories(dir);
  const fs::path marker = root / "ran";
  {
    std::ofstream script(dir / "tevalo-update");
    script << "#!/bin/sh\necho ok > '" << marker.string() << "'\n";
  }
  ::chmod((dir / "tevalo-update").c_str(), 0755);

  ASSERT_TRUE(StartUpdater(tevalo::text::ToUtf16(dir.string())));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(marker) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(marker));
  EXPECT_FALSE(fs::exists("injected"));

  EXPECT_FALSE(StartUpdater(tevalo::text::ToUtf16((root / "missing").string())));
  fs::remove_all(root);
}

}  // namespace
}  // namespace tevalo::shell
