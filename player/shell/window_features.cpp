#include "player/shell/window_features.h"

namespace tevalo::shell {

void BindCloseCommands(CPlayerDlg& dlg) {
  dlg.Commands().Set({1042, 32829}, [&dlg] { dlg.OnClose(); });
}

void AttachWindowFeatures(CPlayerDlg& dlg) { BindCloseCommands(dlg); }

}  // namespace tevalo::shell
