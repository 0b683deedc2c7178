#pragma once
// Control tables of the player's dialog templates: the main window (103; its places come from the
// layout code), the about and splash window (349), the channel panel (329), the playback panel (401),
// the playlist window (252), the channel list editor (466), the area choice (475) and the reservation
// pages and edit dialog (known by name).
#include <span>
#include "controls/dialog_template.h"

std::span<const DialogTemplate> PlayerDialogTemplates();

// Identifiers of the playlist window's two picture buttons (step back, step on), which the template
// numbers itself.
inline constexpr int kPlaylistBackButton = 1032;
inline constexpr int kPlaylistNextButton = 1033;
