// The program's start: its argument, and handing a second start's argument to the running player.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tevalo::shell {

enum class StartKind {
  kNone,
  kTray,         // "+tray": waits 2 s before setting up
  kExit,         // "+x": ends without setting anything up
  kReservation,  // "+rsv": started by a reservation; closes after the recording
  kFile,         // anything else: an iEPG file
};

struct StartArgument {
  StartKind kind = StartKind::kNone;
  std::u16string text;  // the argument as given (empty for kNone)
};

// argv[1] (UTF-8) as the player reads it; paths starting with "/" are files too.
StartArgument ParseStartArgument(int argc, const char* const* argv);

// Code 16's payload: UTF-16LE with its terminating zero, (characters + 1) x 2 bytes.
std::vector<uint8_t> EncodeCopyDataText(const std::u16string& text);

// What a second start does, over the window calls so tests can stand in for them.
struct HandOverOps {
  // True when this start took the single-instance lock (the first one is gone): run as the first.
  std::function<bool()> tryTakeLock;
  // The running player's window, or null while it has none.
  std::function<bool()> findWindow;
  // Restores, raises and activates it.
  std::function<void()> restore;
  // Sends code 16 (blocking, at most 1000 ms); the result is not looked at.
  std::function<void(const std::vector<uint8_t>& payload)> sendArgument;
  // Waits one retry step.
  std::function<void()> waitStep;
};

enum class HandOverResult {
  kHandedOver,  // the running player was restored (and given the argument)
  kRunAsFirst,  // the lock came free: this start is the player
  kNoWindow,    // no window answered in all the attempts
};

// The first start names its window only after its splash, so a second start keeps looking (and
// keeps trying the lock) for `attempts` steps before it gives up.
HandOverResult HandOverToRunningPlayer(const StartArgument& argument, const HandOverOps& ops, int attempts);

}  // namespace tevalo::shell
