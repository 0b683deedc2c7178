#include "player/shell/window_adapter.h"

namespace tevalo::shell {

bool CWindowAdapter::HandlesOnSenderThread(UINT msg, WPARAM, LPARAM lParam) {
  if (msg != win::WM_COPYDATA || !lParam) return false;
  const auto code = reinterpret_cast<const win::COPYDATASTRUCT*>(lParam)->dwData;
  return code == COPYDATA_FILTER_OPEN || code == COPYDATA_FILTER_RUN || code == COPYDATA_FILTER_STOP ||
         code == COPYDATA_GRAPH_CLOSE;
}

LRESULT CWindowAdapter::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case win::WM_COPYDATA:
      return OnCopyData(reinterpret_cast<const win::COPYDATASTRUCT*>(lParam));
    case WM_DEVICECHANGE:
      return m_core.OnDeviceChange(wParam, lParam);
    default:
      // The live filter's dual-mono report (a registered message, so not a case label).
      if (msg == DualMonoMessage()) m_core.OnDualMonoState(static_cast<int>(lParam));
      return 0;
  }
}

UINT CWindowAdapter::DualMonoMessage() {
  static const UINT message = win::RegisterWindowMessageW(kDualMonoMessageName);
  return message;
}

LRESULT CWindowAdapter::OnCopyData(const win::COPYDATASTRUCT* data) {
  if (!data) return 0;
  switch (data->dwData) {
    case COPYDATA_FILTER_OPEN: {
      const auto connect = DecodeFilterConnectData(data->lpData, data->cbData);
      return connect && m_core.OnFilterOpen(*connect) ? 1 : 0;
    }
    case COPYDATA_FILTER_RUN:
      return m_core.OnFilterRun(data->cbData) ? 1 : 0;
    case COPYDATA_FILTER_STOP:
      return m_core.OnFilterStop(data->cbData) ? 1 : 0;
    case COPYDATA_RECORD_TOGGLE:
      m_core.OnRecordToggle();
      return 1;
    case COPYDATA_GRAPH_CLOSE:
      m_core.OnGraphClose();
      return 1;
    case COPYDATA_RECORD_WRITING:
      m_core.OnRecordWriting(data->cbData != 0);
      return 1;
    case COPYDATA_IEPG_FILE:
      // UTF-16 text: a whole number of characters, at least the terminating zero.
      if (!data->lpData || data->cbData == 0 || data->cbData % 2 != 0) return 0;
      m_core.OnIepgFile(DecodeCopyDataText(data->lpData, data->cbData));
      return 1;
    default:
      return 0;
  }
}

std::unique_ptr<win::Window> RegisterPlayerWindow(CWindowAdapter& adapter) {
  return std::make_unique<win::Window>(
      kPlayerWindowTitle, [&adapter](UINT msg, WPARAM w, LPARAM l) { return adapter.WindowProc(msg, w, l); },
      &CWindowAdapter::HandlesOnSenderThread);
}

}  // namespace tevalo::shell
