#include "player/shell/key_table.h"

namespace tevalo::shell {

namespace {
using Kind = KeyOutcome::Kind;
KeyOutcome Command(uint32_t id) { return {Kind::kCommand, id}; }
KeyOutcome Action(KeyAction a) { return {Kind::kAction, 0, a}; }
KeyOutcome Panel(uint32_t id, bool needsFile = false) {
  return {Kind::kPanelCommand, id, KeyAction::kNone, needsFile};
}
KeyOutcome Swallow() { return {Kind::kSwallow}; }
KeyOutcome Pass() { return {Kind::kPass}; }
constexpr int K(Key k) { return static_cast<int>(k); }

KeyOutcome SystemKey(Key key) {
  switch (K(key)) {
    case K(Key::kEnter):
      return Command(32832);
    case K(Key::kLeft):
      return Panel(1083);
    case K(Key::kRight):
      return Panel(1087);
    case 'F':
      return Panel(1082);
    case 'P':
      return Panel(1086, true);
    case 'S':
      return Panel(1085, true);
    case '1':
      return Command(32830);
    case '2':
      return Command(32831);
    default:
      return Pass();
  }
}

KeyOutcome CtrlKey(Key key) {
  switch (K(key)) {
    case K(Key::kUp):
      return Command(32800);
    case K(Key::kDown):
      return Command(32838);
    case 'C':
      return Command(32810);
    case 'D':
      return Command(32867);
    case 'F':
      return Action(KeyAction::kFullSearch);
    case 'L':
      return Action(KeyAction::kListSearch);
    case 'Q':
      return Action(KeyAction::kReceptionToggle);
    case 'R':
      return Command(32877);
    case 'S':
      return Command(32799);
    case 'T':
      return Action(KeyAction::kTimeshiftPlayOrStart);
    case 'X':
      return Command(32829);
    case K(Key::kF1):
      return Pass();
    default:
      return Swallow();
  }
}
}  // namespace

KeyOutcome TranslateKey(const KeyPress& press, bool fullScreen) {
  if (press.alt) return SystemKey(press.key);
  if (press.ctrl) return CtrlKey(press.key);
  switch (K(press.key)) {
    case K(Key::kEscape):
      return fullScreen ? Action(KeyAction::kLeaveFullScreen) : Swallow();
    case K(Key::kLeft):
      return Command(1069);
    case K(Key::kRight):
      return Command(1070);
    case K(Key::kUp):
      return Action(KeyAction::kChannelUpDirect);
    case K(Key::kDown):
      return Action(KeyAction::kChannelDownDirect);
    case K(Key::kF1):
      return Pass();
    default:
      return Swallow();
  }
}

}  // namespace tevalo::shell
