// The main window's keys: what a key-down on the window or its panels does. Key-downs the table
// does not name are swallowed (F1 passes, as do key-ups and system keys it does not name); modal
// dialogs never see this table.
#pragma once

#include <cstdint>

namespace tevalo::shell {

// Keys by their own names; letters and digits as their upper-case ASCII code.
enum class Key : int {
  kEscape = 0x1000,
  kEnter,
  kLeft,
  kRight,
  kUp,
  kDown,
  kF1,
  kOther,
};
constexpr Key KeyOf(char c) { return static_cast<Key>(c); }

struct KeyPress {
  Key key = Key::kOther;
  bool ctrl = false;
  bool alt = false;  // a system key (Alt held)
};

// Named actions that are not rows of the command table.
enum class KeyAction : int {
  kNone,
  kLeaveFullScreen,  // Esc, only in full screen
  kChannelUpDirect,  // the channel panel's step, without the recording test
  kChannelDownDirect,
  kFullSearch,  // through the channel panel (kind 0)
  kListSearch,
  kReceptionToggle,
  kTimeshiftPlayOrStart,
};

struct KeyOutcome {
  enum class Kind { kPass, kSwallow, kCommand, kPanelCommand, kAction };
  Kind kind = Kind::kSwallow;
  uint32_t id = 0;  // kCommand: a command id; kPanelCommand: the playback panel's command
  KeyAction action = KeyAction::kNone;
  // kPanelCommand: only while a recording file plays.
  bool needsRecordingFile = false;
  friend bool operator==(const KeyOutcome&, const KeyOutcome&) = default;
};

KeyOutcome TranslateKey(const KeyPress& press, bool fullScreen);

}  // namespace tevalo::shell
