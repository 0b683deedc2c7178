// Starting the updater program beside the player.
#pragma once

#include <string>

namespace tevalo::shell {

// Starts installDir + "tevalo-update" as a program of its own (no shell reads the folder's name)
// and does not wait for it; false when it cannot be started.
bool StartUpdater(const std::u16string& installDir);

}  // namespace tevalo::shell
