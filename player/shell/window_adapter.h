// The "Tevalo" window's messages as calls on the player core: WM_COPYDATA by its code (the filter
// contract's codes 2, 3, 4, 10, 14, 16) and WM_DEVICECHANGE. The program registers the one window
// and hands its messages here; the main window does the same with its own handler.
//
// Codes 2, 3, 4 and 14 run on the thread that sends them (HandlesOnSenderThread): the filter sends
// them from the start-up thread while it builds or stops a graph, and the sender's call must not
// wait for the GUI thread, which may itself be waiting for the start-up thread.
#pragma once

#include <memory>

#include "platform/window/window.h"
#include "player/shell/player_core.h"

namespace tevalo::shell {

class CWindowAdapter {
 public:
  explicit CWindowAdapter(CPlayerCore& core) : m_core(core) {}

  // The window procedure: messages it does not know get the default result.
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnCopyData(const win::COPYDATASTRUCT* data);
  // Messages handled on the sending thread.
  static bool HandlesOnSenderThread(UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  CPlayerCore& m_core;
};

// Registers the player's window ("Tevalo") on the calling thread with the adapter as its handler.
std::unique_ptr<win::Window> RegisterPlayerWindow(CWindowAdapter& adapter);

}  // namespace tevalo::shell
