#include "player/resources/player_resources.h"

namespace {
constexpr SkinResource kTable[] = {
#include "player/resources/skin_table.inc"
};
}  // namespace

const SkinCatalog& PlayerSkin() {
  static const SkinCatalog catalog(kTable, QStringLiteral(":/skin/player"));
  return catalog;
}

void InstallPlayerResources() { PlayerSkin().InstallResolvers(); }

QIcon PlayerIcon() { return PlayerSkin().Icon(kPlayerIconId); }
