// Where the main window's features attach: each binds its commands into the window's one table and
// fills its hooks here, before the window's modal run.
#pragma once

#include "player/shell/player_dlg.h"

namespace tevalo::shell {

// The close button and the close menu item end the player.
void BindCloseCommands(CPlayerDlg& dlg);

void AttachWindowFeatures(CPlayerDlg& dlg);

}  // namespace tevalo::shell
