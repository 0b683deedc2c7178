// One application for the resource tests, with the font aliases loaded first and the player's skin
// installed behind the controls' resolvers.
#include <gtest/gtest.h>
#include <QApplication>
#include "controls/font_aliases.h"
#include "player/resources/player_resources.h"

namespace {
class ResourcesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(LoadFontAliases());
    static int argc = 1;
    static char name[] = "player_resources_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
    InstallPlayerResources();
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new ResourcesEnvironment);
}  // namespace
