#include "player/shell/start_argument.h"

#include "platform/path/utf.h"

namespace tevalo::shell {

StartArgument ParseStartArgument(int argc, const char* const* argv) {
  StartArgument a;
  if (argc < 2 || !argv[1] || !*argv[1]) return a;
  a.text = text::ToUtf16(argv[1]);
  if (a.text == u"+tray")
    a.kind = StartKind::kTray;
  else if (a.text == u"+x")
    a.kind = StartKind::kExit;
  else if (a.text == u"+rsv")
    a.kind = StartKind::kReservation;
  else
    a.kind = StartKind::kFile;
  return a;
}

std::vector<uint8_t> EncodeCopyDataText(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  bytes.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

HandOverResult HandOverToRunningPlayer(const StartArgument& argument, const HandOverOps& ops, int attempts) {
  for (int i = 0; i < attempts; ++i) {
    if (ops.findWindow()) {
      ops.restore();
      if (!argument.text.empty()) ops.sendArgument(EncodeCopyDataText(argument.text));
      return HandOverResult::kHandedOver;
    }
    if (ops.tryTakeLock()) return HandOverResult::kRunAsFirst;
    if (i + 1 < attempts) ops.waitStep();
  }
  return HandOverResult::kNoWindow;
}

}  // namespace tevalo::shell
