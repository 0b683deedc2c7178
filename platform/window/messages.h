// Window message types and the message numbers the programs use, with their Windows values.
#pragma once

#include <cstdint>

namespace tevalo::win {

using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// A window's handle: a number that stays unused after the window is gone, so calls on a stale handle
// fail instead of reaching another window.
using HWND = struct WindowHandle*;

inline const HWND HWND_BROADCAST = reinterpret_cast<HWND>(uintptr_t{0xFFFF});

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_POWERBROADCAST = 0x0218;
constexpr UINT WM_WTSSESSION_CHANGE = 0x02B1;
constexpr UINT WM_HOTKEY = 0x0312;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

constexpr WPARAM SC_RESTORE = 0xF120;  // WM_SYSCOMMAND: restore a minimised window

// SendMessageTimeout flags. Without SMTO_BLOCK a thread that waits for its reply still handles
// messages sent to its own windows, so two threads sending to each other do not deadlock.
constexpr UINT SMTO_NORMAL = 0x0000;
constexpr UINT SMTO_BLOCK = 0x0001;
constexpr UINT SMTO_ABORTIFHUNG = 0x0002;

constexpr uint32_t INFINITE_TIMEOUT = 0xFFFFFFFFu;

// WM_COPYDATA's lParam points to one of these. `cbData` is carried as a value even without data (some
// senders put a process id there); only when `lpData` is set are cbData bytes copied to the receiver.
struct COPYDATASTRUCT {
  uintptr_t dwData;
  uint32_t cbData;
  void* lpData;
};

// The most bytes one WM_COPYDATA may carry; a larger message is refused.
constexpr uint32_t kMaxCopyDataBytes = 1u << 20;

}  // namespace tevalo::win
