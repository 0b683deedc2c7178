// What the filter needs from its surroundings: the message channel, the two named events, the
// player's window and the installation values. The plugin uses the platform layer; tests provide
// their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace halvik {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Reading end of the shared-memory message channel.
class ChannelReader {
 public:
  virtual ~ChannelReader() = default;
  virtual bool Connect() = 0;
  // mode 0: wait up to wait_ms for a message, then take the data lock and copy;
  // mode 1: copy only; mode 2: copy, release the data lock and acknowledge the message.
  // `dst` may be null when `length` is 0. False when mode 0 found no message.
  virtual bool Read(void* dst, uint32_t length, uint32_t offset, int mode, uint32_t wait_ms) = 0;
};

// The wake and quit events shared with the player.
class FilterEvents {
 public:
  virtual ~FilterEvents() = default;
  virtual void SetWake() = 0;
  virtual void ResetWake() = 0;
  virtual void SetQuit() = 0;
  virtual void ResetQuit() = 0;
  enum class Wait { kWake, kQuit, kTimeout };
  virtual Wait WaitWakeOrQuit(uint32_t ms) = 0;  // kInfinite waits without limit
};

class FilterHost {
 public:
  virtual ~FilterHost() = default;
  virtual std::unique_ptr<FilterEvents> OpenEvents() = 0;
  // Creates the reading end of the channel; null when the channel cannot be created.
  virtual std::unique_ptr<ChannelReader> CreateChannel() = 0;
  // HKLM "SOFTWARE\Tevalo" "rec_Dir", read-only; empty when missing.
  virtual std::u16string ReadRecordingFolder() = 0;
  // Finds the window titled "Tevalo"; 0 when there is none.
  virtual intptr_t FindPlayerWindow() = 0;
  // WM_COPYDATA to `window`: `code` as dwData, `cb_data` as cbData, with `payload` copied when
  // not null. `block`: SMTO_BLOCK, else SMTO_NORMAL. The result is not examined by the filter.
  virtual bool SendCopyData(intptr_t window, uint32_t code, uint32_t cb_data, const uint8_t* payload,
                            size_t payload_size, bool block, uint32_t timeout_ms) = 0;
  // Posts the registered dual-mono message to every registered window.
  virtual void PostDualMonoNotify(int32_t value) = 0;
  virtual uint32_t ProcessId() = 0;
};

// The host every new filter instance uses. Set before elements are made (tests); the plugin sets
// the platform host when it loads.
void SetFilterHost(std::shared_ptr<FilterHost> host);
std::shared_ptr<FilterHost> GetFilterHost();

}  // namespace halvik
