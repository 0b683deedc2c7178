#include <gtest/gtest.h>
#include "controls/dialog_template.h"
#include "controls/resources.h"
#include "player/resources/dialog_templates.h"
#include "player/resources/player_resources.h"
#include "skin_checks.h"

namespace {
constexpr COLORREF M = RGB(255, 0, 255);
constexpr COLORREF G = RGB(0, 255, 0);
constexpr COLORREF N = kNoKey;

// Every picture the player's windows load, with the size the windows draw it at.
constexpr ExpectedSkin kExpected[] = {
    // Main window frame, bottom panel, title.
    {424, 84, 52, 1, N},
    {419, 84, 52, 1, N},
    {427, 1, 52, 1, N},
    {423, 84, 1, 1, N},
    {426, 84, 1, 1, N},
    {422, 84, 94, 1, N},
    {425, 84, 94, 1, N},
    {420, 1, 94, 1, N},
    {454, 320, 124, 1, N},
    {499, 224, 16, 1, N},
    // Buttons of the main window.
    {436, 48, 16, 3, M},
    {435, 48, 16, 3, M},
    {434, 48, 16, 3, M},
    {510, 42, 14, 3, M},
    {487, 42, 14, 3, M},
    {433, 42, 14, 3, M},
    {456, 66, 22, 3, M},
    {455, 66, 22, 3, M},
    {431, 66, 22, 3, M},
    {430, 66, 22, 3, M},
    {442, 66, 22, 3, M},
    {439, 66, 22, 3, M},
    {443, 66, 22, 3, M},
    {429, 66, 22, 3, M},
    {489, 66, 22, 3, M},
    {488, 66, 22, 3, M},
    {468, 66, 22, 3, M},
    // Volume slider, level bars, play icon, small icons, icon, splash.
    {457, 59, 6, 1, N},
    {459, 59, 6, 1, N},
    {458, 6, 6, 1, N},
    {309, 22, 12, 1, N},
    {310, 22, 12, 1, N},
    {311, 22, 12, 1, N},
    {312, 22, 12, 1, N},
    {313, 22, 12, 1, N},
    {142, 31, 32, 1, N},
    {143, 31, 32, 1, N},
    {144, 31, 32, 1, N},
    {145, 31, 32, 1, N},
    {146, 31, 32, 1, N},
    {159, 24, 12, 1, N},
    {163, 24, 12, 1, N},
    {164, 24, 12, 1, N},
    {166, 24, 12, 1, N},
    {167, 24, 12, 1, N},
    {168, 24, 12, 1, N},
    {114, 256, 256, 1, M},
    {516, 640, 360, 1, N},
    // Channel panel and its list's scroll bar.
    {413, 346, 175, 1, G},
    {500, 224, 16, 1, N},
    {414, 48, 16, 3, M},
    {415, 54, 18, 3, M},
    {416, 54, 18, 3, M},
    {490, 66, 22, 3, M},
    {491, 66, 22, 3, M},
    {496, 9, 4, 1, N},
    {497, 9, 15, 1, N},
    {511, 7, 7, 1, N},
    {512, 7, 7, 1, N},
    {513, 7, 7, 1, N},
    {514, 7, 7, 1, N},
    // Playback panel.
    {404, 347, 133, 1, G},
    {503, 224, 16, 1, N},
    {504, 66, 22, 3, M},
    {408, 66, 22, 3, M},
    {407, 66, 22, 3, M},
    {406, 66, 22, 3, M},
    {409, 66, 22, 3, M},
    {405, 66, 22, 3, M},
    {403, 48, 16, 3, M},
    {411, 313, 11, 1, N},
    {460, 313, 11, 1, N},
    {412, 10, 9, 1, N},
    // Playlist window: shape, close, frame pieces, header, picture buttons.
    {396, 324, 200, 1, M},
    {292, 45, 15, 3, M},
    {339, 124, 65, 1, N},
    {152, 31, 65, 1, N},
    {148, 124, 19, 1, N},
    {154, 31, 19, 1, N},
    {338, 1, 65, 1, N},
    {337, 1, 19, 1, N},
    {150, 31, 1, 1, N},
    {336, 31, 1, 1, N},
    {268, 1, 20, 1, N},
    {259, 1, 20, 1, N},
    {156, 2, 12, 1, N},
    {382, 15, 15, 1, N},
    {379, 15, 15, 1, N},
    {380, 15, 15, 1, N},
    {381, 15, 15, 1, N},
    // Animations.
    {505, 120, 75, 2, N},
    {506, 120, 75, 6, N},
    {507, 120, 75, 12, N},
};

TEST(PlayerSkin, EveryResourceLoadsAtItsSize) { ExpectCatalogMatches(PlayerSkin(), kExpected); }

TEST(PlayerSkin, ResolversServeTheSkin) {
  EXPECT_EQ(LoadBitmapResource(424).size(), QSize(84, 52));
  EXPECT_TRUE(LoadBitmapResource(505).isNull());
  EXPECT_TRUE(LoadGifResource(505).startsWith("GIF89a"));
  EXPECT_TRUE(LoadGifResource(424).isEmpty());
  EXPECT_TRUE(LoadBitmapResource(355).isNull());  // loaded by the frame but never drawn: not made
  const QIcon icon = PlayerIcon();
  ASSERT_FALSE(icon.isNull());
  for (int size : {16, 32, 48, 256}) EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
  EXPECT_EQ(icon.pixmap(256).toImage().pixelColor(0, 0).alpha(), 0);  // the key is transparent
}

// Each floating window's shape holds every control the window places on it.
TEST(PlayerSkin, RegionsHoldTheirControls) {
  struct Case {
    unsigned bitmap;
    COLORREF key;
    unsigned dialog;
    bool title;  // the window draws a 224 x 16 title at (13, 7)
  } cases[] = {{413, G, 329, true}, {404, G, 401, true}, {396, M, 252, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("bitmap " + std::to_string(c.bitmap));
    const QImage shape = PlayerSkin().Bitmap(c.bitmap);
    const DialogTemplate* t = FindTemplate(PlayerDialogTemplates(), c.dialog);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(shape.size(), t->size);
    for (const TemplateControl& control : t->controls) {
      ASSERT_FALSE(control.place.isNull()) << control.id;
      EXPECT_EQ(KeyInside(shape, c.key, control.place), "") << "control " << control.id;
    }
    if (c.title) {
      EXPECT_EQ(KeyInside(shape, c.key, QRect(13, 7, 224, 16)), "");
    }
  }
}

// The about window writes "v1.000" in black at (560, 20)-(620, 40): the splash keeps that place light.
TEST(PlayerSkin, SplashLeavesTheVersionPlaceLight) {
  const QImage splash = PlayerSkin().Bitmap(516);
  for (int y = 20; y < 40; ++y)
    for (int x = 560; x < 620; ++x) {
      const QColor c = splash.pixelColor(x, y);
      ASSERT_GE(std::min({c.red(), c.green(), c.blue()}), 200) << x << ", " << y;
    }
}

}  // namespace
