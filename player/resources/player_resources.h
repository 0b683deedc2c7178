#pragma once
// The player's skin: every bitmap, animation, icon and the splash the windows load by resource
// identifier, drawn by tools/skingen and compiled in.
#include <QIcon>
#include "controls/skin_catalog.h"

inline constexpr unsigned kPlayerIconId = 114;

const SkinCatalog& PlayerSkin();
// Points the controls' bitmap and GIF resolvers at the player's skin (once, at start-up).
void InstallPlayerResources();
QIcon PlayerIcon();
