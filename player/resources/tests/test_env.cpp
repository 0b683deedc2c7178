// One application for the resource tests, with the font aliases loaded first and the player's skin
// installed behind the controls' resolvers.
#include <gtest/gtest.h>
#include "player/resources/player_resources.h"
#include "skin_checks.h"

namespace {
class ResourcesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app_ = StartSkinTestApplication("player_resources_test");
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
