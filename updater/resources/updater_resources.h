#pragma once
// The updater's resources: its skin (background 129, button strips 130 and 131, icon 128) drawn by
// tools/skingen and compiled in, its string table and the control table of its dialog (102).
#include <QIcon>
#include <QString>
#include <span>
#include "controls/dialog_template.h"
#include "controls/skin_catalog.h"

inline constexpr unsigned kUpdaterIconId = 128;
inline constexpr unsigned kUpdateDialogId = 102;

const SkinCatalog& UpdaterSkin();
std::span<const StringResource> UpdaterStrings();
const DialogTemplate& UpdateDialogTemplate();

// Points the controls' bitmap, GIF and string resolvers at the updater's resources (once, at start).
void InstallUpdaterResources();
QIcon UpdaterIcon();
