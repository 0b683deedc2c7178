// OstrelDMB: the tuner as the player sees it. Owns the stick's device object, turns its packets into
// 1128-byte blocks on a block thread, searches channels and names them from the station table.
//
// Results are 1 for success and 0 for failure. The scan tables are public: the player reads and
// writes them directly.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "tuner/device/isdbt_dll.h"
#include "tuner/device/usb_pipe.h"
#include "tuner/wrapper/block_queue.h"

#define OSTRELDMB_API __attribute__((visibility("default")))

inline constexpr int kChannelCount = 50;  // channel index i is UHF channel i + 13
inline constexpr int kNameLength = 16;    // UTF-16 field, terminator included

struct OSTRELDMB_API ChannelInform {
  std::int32_t m_bFound = 0;
  std::int32_t m_nChannelIndex = -1;  // -1 until a scan fills the record
};

struct OSTRELDMB_API ChannelState {
  ChannelState() = default;
  ChannelState(const ChannelState& other) : m_nSignalLevel(other.m_nSignalLevel.load()) {}
  ChannelState& operator=(const ChannelState& other) {
    m_nSignalLevel = other.m_nSignalLevel.load();
    return *this;
  }
  // 0 (strongest) to 100 (no signal).
  std::atomic<std::uint32_t> m_nSignalLevel{0};
};

struct OSTRELDMB_API CFICInformation {
  std::int32_t m_bFound = 0;
  char16_t m_szLabel[kNameLength] = {};
  std::uint32_t m_dwServiceWord = 0;
  char16_t m_szStationName[kNameLength] = {};
  std::int32_t m_nScanOrder = 0;
  std::int32_t m_bValid = 0;
};

// Shows the tuner's one message to the user (text and caption in UTF-8, top-most over owner). The
// player injects one that opens a message box, so the tuner libraries stay free of any GUI.
using TunerNotifier = std::function<void(void* owner, const std::string& text, const std::string& caption)>;

class OSTRELDMB_API CTDMBDll {
 public:
  static constexpr const char* kNoTunerText = "USBチューナーを挿入してください";
  static constexpr const char* kNoTunerCaption = "エラー";
  // A search that still answers "searching" after this long counts as nothing found.
  static constexpr int kSearchPollLimitMs = 3000;
  static constexpr int kSearchPollIntervalMs = 10;
  // Passes of the block thread without a block after which the level shows no signal.
  static constexpr int kMaxFailedPasses = 100;

  CTDMBDll();
  virtual ~CTDMBDll();
  CTDMBDll(const CTDMBDll&) = delete;
  CTDMBDll& operator=(const CTDMBDll&) = delete;

  void SetNotifier(TunerNotifier notifier);

  int Open(void* owner);
  int Close();
  int IsOpen() const;
  unsigned char IsUSB();
  int IsPNP() const;
  int SetChannel(int channelIndex, int, int, float);
  int GetTSStream(unsigned char* buffer, int* count);

  int ScanAllChannel(int area);
  int ScanAreaChannel(int area);
  int ScanArbitraryChannel(const int* channelIndices, const char16_t* const* names, int count,
                           const int* statuses);
  int ScanSingleChannel(int channelIndex);
  int ScanTable(int area);

  // out must hold kNameLength characters.
  int GetChannelString(char16_t* out, int area, int i) const;
  int GetChannelIndex(int area) const;

  // Body of the block thread.
  void StateThread();

  // Blocks dropped because nobody took them (the queue is bounded).
  std::uint64_t DroppedBlocks() const { return m_blocks.Dropped(); }

  CFICInformation m_FICInformation[kChannelCount];
  ChannelInform m_ChannelInform[kChannelCount];
  ChannelState m_ChannelState;
  std::atomic<std::int32_t> m_nScanIndex{0};
  std::atomic<std::int32_t> m_bScanStop{0};
  std::atomic<std::int32_t> m_nChannelCount{0};

 protected:
  void InitVariables() {}
  void Remove_DrvData();

 private:
  void StopBlockThread();
  void FillRecords(int channel, int scanOrder, std::u16string_view name);
  void SetFound(int channel, bool found);
  // One search of one channel with the bounded status poll; true when found.
  bool SearchChannel(int channel, int scanOrder, std::u16string_view name);
  // What every scan on the stick does first (the stick lock held): the block thread stops, the
  // level reads no signal, an earlier stop request is forgotten and, unless `single`, the channel
  // count is set. False without a device object: the scan then ends at once.
  bool BeginScan(bool single = false);

  std::unique_ptr<CISDBTDll> m_pDevice;
  CTsBlockQueue m_blocks;
  std::atomic<std::int32_t> m_bThreadStop{0};
  std::thread m_thread;
  quonda::WakeEvent m_threadWake;
  // Only one caller at a time talks to the stick.
  std::mutex m_stickLock;
  TunerNotifier m_notifier;  // guarded by m_stickLock
};
