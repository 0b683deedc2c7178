#include "filter/source/platform_host.h"

#include <unistd.h>

#include <vector>

#include "filter/source/halvik_ids.h"
#include "ipc/shared_memory_ipc.h"
#include "platform/kernel/sync.h"
#include "platform/registry/registry.h"
#include "platform/window/window.h"

namespace halvik {
namespace {

class PlatformChannel : public ChannelReader {
 public:
  explicit PlatformChannel(std::unique_ptr<CSharedMemoryIpc> ipc) : ipc_(std::move(ipc)) {}
  bool Connect() override { return ipc_->Connect() == 1; }
  bool Read(void* dst, uint32_t length, uint32_t offset, int mode, uint32_t wait_ms) override {
    return ipc_->Read(dst, length, offset, mode, wait_ms) == 1;
  }

 private:
  std::unique_ptr<CSharedMemoryIpc> ipc_;
};

class PlatformEvents : public FilterEvents {
 public:
  PlatformEvents()
      : wake_(tvk::CreateEvent(false, false, kFilterWakeEventName)),
        quit_(tvk::CreateEvent(false, false, kFilterQuitEventName)) {}
  void SetWake() override { tvk::SetEvent(wake_); }
  void ResetWake() override { tvk::ResetEvent(wake_); }
  void SetQuit() override { tvk::SetEvent(quit_); }
  void ResetQuit() override { tvk::ResetEvent(quit_); }
  Wait WaitWakeOrQuit(uint32_t ms) override {
    const uint32_t rc = tvk::WaitForMultipleObjects({wake_, quit_}, false, ms);
    if (rc == tvk::WAIT_OBJECT_0) return Wait::kWake;
    if (rc == tvk::WAIT_OBJECT_0 + 1) return Wait::kQuit;
    if (rc == tvk::WAIT_FAILED) {
      // Events that could not be made: wait like a timeout instead of spinning.
      usleep(ms == kInfinite ? 100000 : ms * 1000);
    }
    return Wait::kTimeout;
  }

 private:
  tvk::Handle wake_, quit_;
};

class PlatformHost : public FilterHost {
 public:
  PlatformHost() : dual_mono_message_(tevalo::win::RegisterWindowMessageW(kDualMonoMessageName)) {}

  std::unique_ptr<FilterEvents> OpenEvents() override { return std::make_unique<PlatformEvents>(); }

  std::unique_ptr<ChannelReader> CreateChannel() override {
    auto ipc = std::make_unique<CSharedMemoryIpc>(IpcRole::Filter, kIpcChannelName, kIpcPayloadSize);
    if (!ipc->Usable()) return nullptr;
    return std::make_unique<PlatformChannel>(std::move(ipc));
  }

  std::u16string ReadRecordingFolder() override {
    auto v = tevalo::registry::ReadString(tevalo::registry::kTevaloKey, u"rec_Dir");
    if (!v) return {};
    if (v->size() > 259) v->resize(259);
    return *v;
  }

  intptr_t FindPlayerWindow() override {
    return reinterpret_cast<intptr_t>(tevalo::win::FindWindowW(nullptr, kPlayerWindowTitle));
  }

  bool SendCopyData(intptr_t window, uint32_t code, uint32_t cb_data, const uint8_t* payload, size_t size,
                    bool block, uint32_t timeout_ms) override {
    if (window == 0) return false;
    std::vector<uint8_t> copy(payload ? payload : nullptr, payload ? payload + size : nullptr);
    tevalo::win::COPYDATASTRUCT cds{code, cb_data, payload ? copy.data() : nullptr};
    uintptr_t result = 0;
    return tevalo::win::SendMessageTimeoutW(
               reinterpret_cast<tevalo::win::HWND>(window), tevalo::win::WM_COPYDATA, 0,
               reinterpret_cast<tevalo::win::LPARAM>(&cds),
               block ? tevalo::win::SMTO_BLOCK : tevalo::win::SMTO_NORMAL, timeout_ms, &result) != 0;
  }

  void PostDualMonoNotify(int32_t value) override {
    if (dual_mono_message_ != 0)
      tevalo::win::BroadcastMessage(dual_mono_message_, 0, static_cast<tevalo::win::LPARAM>(value));
  }

  uint32_t ProcessId() override { return static_cast<uint32_t>(getpid()); }

 private:
  const tevalo::win::UINT dual_mono_message_;
};

}  // namespace

std::shared_ptr<FilterHost> MakePlatformHost() { return std::make_shared<PlatformHost>(); }

}  // namespace halvik
