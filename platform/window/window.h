// Windows and window messages: a directory of windows by title, sent and posted messages that run
// on the window's own thread, registered message numbers, and WM_COPYDATA between processes.
//
// A window belongs to the thread that creates it; that thread must run a Qt event loop to receive
// messages from other threads, and must also be the one that destroys it. A titled window can also
// be reached from other processes of the same user through a local socket named after its title.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/window/messages.h"

namespace tevalo::win {

class Window {
 public:
  using Handler = std::function<LRESULT(UINT msg, WPARAM wParam, LPARAM lParam)>;
  // Picks the messages that run on the thread that sends them (see below).
  using SenderThreadFilter = std::function<bool(UINT msg, WPARAM wParam, LPARAM lParam)>;

  // Registers the window under `title` (empty: reachable only by its handle). `handler`, when given,
  // answers messages unless a subclass overrides WindowProc.
  //
  // A message that `onSenderThread` accepts, sent from another thread of this process, runs on the
  // sending thread at once instead of waiting for the window's thread: the sender is served while
  // the window's thread is busy, even while it waits for the sender. Posted messages and messages
  // from other processes still run on the window's thread. The handler must be safe to run on any
  // thread for the accepted messages; the window's destruction waits for such calls to end.
  explicit Window(std::u16string title = {}, Handler handler = {}, SenderThreadFilter onSenderThread = {});
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND hwnd() const;
  const std::u16string& title() const;
  // True when other processes can reach this window (its title's socket is ours).
  bool ReachableFromOtherProcesses() const;

  // Runs on the window's thread. For WM_COPYDATA, lParam points to a COPYDATASTRUCT whose data is a
  // private copy that lives until the call returns.
  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The first window with this title (compared without regard to case), in this process or else in
// another process of this user; null when there is none. The class name is not used.
HWND FindWindowW(const char16_t* className, const char16_t* title);
bool IsWindow(HWND hwnd);

// Runs the window's handler and returns its result: directly when called on the window's thread;
// otherwise queued to that thread and waited for. SendMessageTimeoutW waits at most timeoutMs
// (INFINITE_TIMEOUT: no limit) and returns nonzero with *result set when the message was handled, 0
// on timeout or failure; a message that timed out is still handled later. HWND_BROADCAST posts the
// message to every window of this process instead of waiting for each.
LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageTimeoutW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                            uintptr_t* result);

// Queues the message to the window's thread and returns at once. WM_COPYDATA cannot be posted.
bool PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Posts to every window of this process.
bool BroadcastMessage(UINT msg, WPARAM wParam, LPARAM lParam);

// A process-wide number in 0xC000..0xFFFF for a message name (compared without regard to case): the
// same name gives the same number; 0 for an empty name or when the range is used up.
UINT RegisterWindowMessageW(const char16_t* name);

inline LRESULT DefWindowProcW(HWND, UINT, WPARAM, LPARAM) { return 0; }

// The socket a window of this title listens on: the user's runtime folder, "tevalo-windows/" and
// the title. Exposed for tests and diagnostics.
std::string WindowSocketPath(std::u16string_view title);

}  // namespace tevalo::win
