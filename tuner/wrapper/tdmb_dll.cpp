#include "tuner/wrapper/tdmb_dll.h"

#include <chrono>
#include <cstdio>

#include "tuner/device/thread_priority.h"
#include "tuner/wrapper/station_table.h"

namespace {

constexpr std::uint32_t kNoSignal = 100;
constexpr std::uint32_t kServiceWord = 0xF1E00000;
constexpr std::u16string_view kTestLabel = u"test channel";
constexpr int kBlockPassMs = 5;
constexpr unsigned long kBlockBytes = CTsBlockQueue::kBlockSize;

bool IsChannel(int c) { return c >= 0 && c < kChannelCount; }

void CopyName(char16_t (&field)[kNameLength], std::u16string_view name) {
  std::size_t n = name.size() < kNameLength - 1 ? name.size() : kNameLength - 1;
  for (std::size_t i = 0; i < n; ++i) field[i] = name[i];
  for (std::size_t i = n; i < kNameLength; ++i) field[i] = 0;
}

std::u16string_view View(const char16_t* s) {
  if (!s) return {};
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return {s, n};
}

// "CH13" .. "CH62".
std::u16string FallbackName(int channel) {
  std::u16string name = u"CH";
  for (char digit : std::to_string(channel + 13)) name += static_cast<char16_t>(digit);
  return name;
}

}  // namespace

CTDMBDll::CTDMBDll() : m_pDevice(std::make_unique<CISDBTDll>()) {}

CTDMBDll::~CTDMBDll() {
  // The block thread uses the device and the queue: it ends before they do.
  std::lock_guard lock(m_stickLock);
  StopBlockThread();
}

void CTDMBDll::SetNotifier(TunerNotifier notifier) {
  std::lock_guard lock(m_stickLock);
  m_notifier = std::move(notifier);
}

void CTDMBDll::StopBlockThread() {
  m_bThreadStop = 1;
  if (m_thread.joinable()) {
    m_threadWake.Set();
    m_thread.join();
    m_threadWake.Clear();
  }
  // Whatever happened on the way out, the next channel starts with an empty queue.
  Remove_DrvData();
}

void CTDMBDll::Remove_DrvData() { m_blocks.Clear(); }

int CTDMBDll::Open(void* owner) {
  TunerNotifier notifier;
  {
    std::lock_guard lock(m_stickLock);
    StopBlockThread();
    m_bThreadStop = 0;
    m_nScanIndex = 0;
    if (!m_pDevice) return 0;
    if (m_pDevice->Ostrel_IsUSB() == 0) {
      m_pDevice->Ostrel_Open();
      m_pDevice->Ostrel_Init();
      m_pDevice->Ostrel_Reset();
      return 1;
    }
    notifier = m_notifier;
  }
  // Outside the lock: a message box runs a nested event loop, and what it dispatches may call us.
  if (notifier)
    notifier(owner, kNoTunerText, kNoTunerCaption);
  else
    std::fprintf(stderr, "%s: %s\n", kNoTunerCaption, kNoTunerText);
  return 0;
}

int CTDMBDll::Close() {
  std::lock_guard lock(m_stickLock);
  StopBlockThread();
  if (m_pDevice) m_pDevice->Ostrel_Close();
  return 1;
}

int CTDMBDll::IsOpen() const { return m_pDevice ? 1 : 0; }

// The presence test only looks at the device folder, so it does not wait for a running scan.
unsigned char CTDMBDll::IsUSB() { return m_pDevice && m_pDevice->Ostrel_IsUSB() == 0 ? 1 : 0; }

int CTDMBDll::IsPNP() const { return 1; }

int CTDMBDll::SetChannel(int channelIndex, int, int, float) {
  if (!IsChannel(channelIndex)) return 0;
  std::lock_guard lock(m_stickLock);
  StopBlockThread();
  m_ChannelState.m_nSignalLevel = kNoSignal;
  if (!m_pDevice) return 0;
  if (m_pDevice->Ostrel_SelectChannel(static_cast<unsigned char>(channelIndex)) != 0) {
    std::fprintf(stderr, "ostreldmb: the stick did not tune to channel %d\n", channelIndex);
    return 0;
  }
  m_bThreadStop = 0;
  m_thread = std::thread([this] {
    pthread_setname_np(pthread_self(), "tuner-blocks");
    quonda::RaiseToTimeCritical();
    StateThread();
  });
  return 1;
}

void CTDMBDll::StateThread() {
  int failedPasses = 0;
  if (m_pDevice->Ostrel_StartTS() != 0) {
    std::fprintf(stderr, "ostreldmb: the stick did not start its stream\n");
    return;
  }
  std::uint8_t block[kBlockBytes];
  while (m_bThreadStop == 0) {
    if (m_threadWake.Wait(kBlockPassMs)) break;
    unsigned long got = 0;
    if (m_pDevice->Ostrel_GetTS(block, kBlockBytes, &got, 0) == 0) {
      m_blocks.Push(block);
      failedPasses = 0;
    } else if (++failedPasses > kMaxFailedPasses) {
      m_ChannelState.m_nSignalLevel = kNoSignal;
      continue;
    }
    unsigned int level = 0;
    m_pDevice->Ostrel_GetRFLevel(&level);
    m_ChannelState.m_nSignalLevel = level;
  }
  m_pDevice->Ostrel_StopTS();
}

int CTDMBDll::GetTSStream(unsigned char* buffer, int* count) {
  const std::size_t queued = m_blocks.Size();
  if (count) *count = static_cast<int>(queued);
  if (queued == 0 || !buffer) return 0;
  return m_blocks.Pop(buffer) ? 1 : 0;
}

void CTDMBDll::FillRecords(int channel, int scanOrder, std::u16string_view name) {
  CFICInformation& fic = m_FICInformation[channel];
  CopyName(fic.m_szLabel, kTestLabel);
  fic.m_dwServiceWord = kServiceWord;
  CopyName(fic.m_szStationName, name);
  fic.m_nScanOrder = scanOrder;
  fic.m_bValid = 1;
  m_ChannelInform[channel].m_nChannelIndex = channel;
}

void CTDMBDll::SetFound(int channel, bool found) {
  m_ChannelInform[channel].m_bFound = found ? 1 : 0;
  m_FICInformation[channel].m_bFound = found ? 1 : 0;
}

bool CTDMBDll::SearchChannel(int channel, int scanOrder, std::u16string_view name) {
  using Clock = std::chrono::steady_clock;
  const auto giveUp = Clock::now() + std::chrono::milliseconds(kSearchPollLimitMs);
  const auto c = static_cast<unsigned char>(channel);
  m_pDevice->Ostrel_SearchChannel(c);
  unsigned char status = 0;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kSearchPollIntervalMs));
    m_pDevice->Ostrel_ReadChannelStatus(c, &status);
    FillRecords(channel, scanOrder, name);
    if (status == 1 || status == 0) break;
    m_nScanIndex = scanOrder;
    if (m_bScanStop != 0 || Clock::now() >= giveUp) {
      status = 0;
      break;
    }
  }
  SetFound(channel, status == 1);
  return status == 1;
}

bool CTDMBDll::BeginScan(bool single) {
  StopBlockThread();
  m_ChannelState.m_nSignalLevel = kNoSignal;
  m_bScanStop = 0;
  if (!single) m_nChannelCount = kChannelCount;
  return m_pDevice != nullptr;
}

int CTDMBDll::ScanAllChannel(int area) {
  if (!StationTable::IsArea(area)) return 0;
  std::lock_guard lock(m_stickLock);
  if (!BeginScan()) return 1;
  for (int c = 0; c < kChannelCount && m_bScanStop == 0; ++c)
    m_pDevice->Ostrel_SearchChannel(static_cast<unsigned char>(c));
  for (int c = 0; c < kChannelCount && m_bScanStop == 0; ++c) {
    int entry = StationTable::FindEntry(area, c);
    std::u16string fallback;
    std::u16string_view name;
    if (entry >= 0) {
      name = StationTable::kStationName[entry];
    } else {
      fallback = FallbackName(c);
      name = fallback;
    }
    SearchChannel(c, c, name);
  }
  return 1;
}

int CTDMBDll::ScanAreaChannel(int area) {
  if (!StationTable::IsArea(area)) return 0;
  std::lock_guard lock(m_stickLock);
  if (!BeginScan()) return 1;
  const int count = StationTable::StationCount(area);
  for (int j = 0; j < count && m_bScanStop == 0; ++j)
    m_pDevice->Ostrel_SearchChannel(
        static_cast<unsigned char>(StationTable::kChannelIndex[StationTable::Entry(area, j)]));
  for (int j = 0; j < count && m_bScanStop == 0; ++j) {
    const int entry = StationTable::Entry(area, j);
    SearchChannel(StationTable::kChannelIndex[entry], j, StationTable::kStationName[entry]);
  }
  return 1;
}

int CTDMBDll::ScanArbitraryChannel(const int* channelIndices, const char16_t* const* names, int count,
                                   const int* statuses) {
  std::lock_guard lock(m_stickLock);
  if (BeginScan() && channelIndices && count > 0) {
    for (int j = 0; j < count && m_bScanStop == 0; ++j) {
      const int c = channelIndices[j];
      if (!IsChannel(c)) continue;
      std::u16string fallback;
      std::u16string_view name = names ? View(names[j]) : std::u16string_view{};
      if (!names || !names[j]) {
        fallback = FallbackName(c);
        name = fallback;
      }
      if (!statuses) {
        SearchChannel(c, j, name);
        continue;
      }
      const auto status = static_cast<std::uint8_t>(statuses[j] & 0xFF);
      FillRecords(c, j, name);
      if (status == 1 || status == 0)
        SetFound(c, status == 1);
      else
        m_nScanIndex = j;
    }
  }
  m_bScanStop = 1;
  return 1;
}

int CTDMBDll::ScanSingleChannel(int channelIndex) {
  if (!IsChannel(channelIndex)) return 0;
  std::lock_guard lock(m_stickLock);
  if (!BeginScan(true)) return 1;
  // The channel to search is the one an earlier scan stored; a record never filled names none.
  const int stored = m_ChannelInform[channelIndex].m_nChannelIndex;
  if (!IsChannel(stored)) return 0;
  const auto c = static_cast<unsigned char>(stored);
  m_pDevice->Ostrel_SearchChannel(c);
  std::this_thread::sleep_for(std::chrono::milliseconds(kSearchPollIntervalMs));
  unsigned char status = 0;
  m_pDevice->Ostrel_ReadChannelStatus(c, &status);
  SetFound(channelIndex, status == 1);
  return 1;
}

int CTDMBDll::ScanTable(int area) {
  if (!StationTable::IsArea(area)) return 0;
  // Touches no stick, so it takes no stick lock.
  m_nChannelCount = kChannelCount;
  if (!m_pDevice) return 1;
  for (int j = 0; j < StationTable::StationCount(area) && m_bScanStop == 0; ++j) {
    const int entry = StationTable::Entry(area, j);
    const int c = StationTable::kChannelIndex[entry];
    FillRecords(c, j, StationTable::kStationName[entry]);
    SetFound(c, true);
    m_nScanIndex = j;
  }
  return 1;
}

int CTDMBDll::GetChannelString(char16_t* out, int area, int i) const {
  const int entry = StationTable::Entry(area, i);
  if (entry < 0 || !out) return 0;
  const std::u16string_view name = StationTable::kStationName[entry];
  std::size_t n = name.size() < kNameLength - 1 ? name.size() : kNameLength - 1;
  for (std::size_t k = 0; k < n; ++k) out[k] = name[k];
  out[n] = 0;
  return 1;
}

int CTDMBDll::GetChannelIndex(int area) const { return StationTable::FirstEntry(area); }
