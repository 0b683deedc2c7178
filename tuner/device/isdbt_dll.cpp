#include "tuner/device/isdbt_dll.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tuner/device/device_paths.h"
#include "tuner/device/thread_priority.h"

namespace {

constexpr std::uint8_t kUhfOffset = 13;
constexpr std::size_t kUnitSize = 192;
constexpr std::size_t kUnitsPerRead = 6;
constexpr std::size_t kStreamReadSize = kUnitSize * kUnitsPerRead;  // 1152

enum Command : std::uint8_t {
  kCmdOpen = 0,
  kCmdClose = 1,
  kCmdInit = 2,
  kCmdReset = 3,
  kCmdSearch = 4,
  kCmdSelect = 5,
  kCmdStatus = 6,
  kCmdStartTs = 7,
  kCmdDataReady = 8,
  kCmdStopTs = 9,
  kCmdLevel = 10,
  kCmdSendData = 13,
};

enum Reply : std::uint8_t {
  kReplyInit = 16,
  kReplySearch = 19,
  kReplyStatus = 20,
  kReplySelect = 21,
  kReplyStartTs = 22,
  kReplyStopTs = 23,
  kReplyDataReady = 24,
  kReplyClose = 25,
  kReplyLevel = 26,
  kReplyReset = 27,
  kReplyOpen = 28,
};

// The code a command is answered with when all is well (none for stream data).
std::uint8_t ReplyFor(std::uint8_t command) {
  switch (command) {
    case kCmdOpen:
      return kReplyOpen;
    case kCmdClose:
      return kReplyClose;
    case kCmdInit:
      return kReplyInit;
    case kCmdReset:
      return kReplyReset;
    case kCmdSearch:
      return kReplySearch;
    case kCmdSelect:
      return kReplySelect;
    case kCmdStatus:
      return kReplyStatus;
    case kCmdStartTs:
      return kReplyStartTs;
    case kCmdDataReady:
      return kReplyDataReady;
    case kCmdStopTs:
      return kReplyStopTs;
    case kCmdLevel:
      return kReplyLevel;
    default:
      return 0;
  }
}

std::size_t AnswerBytes(std::uint8_t command) { return command == kCmdSendData ? kStreamReadSize : 6; }

}  // namespace

CISDBTDll::CISDBTDll() = default;

CISDBTDll::~CISDBTDll() {
  StopStreamThread();
  ClosePipes();
}

std::string CISDBTDll::FindDeviceInterface() {
  for (const std::string& path : quonda::ListInterfacePaths(quonda::InterfaceClassFolder())) {
    if (path.size() > quonda::kMaxDevicePath) continue;
    std::printf("Attempting to open %s\n", path.c_str());
    if (quonda::InterfaceAnswers(path)) {
      std::fflush(stdout);
      return path;
    }
    std::printf("FAILED to open %s\n", path.c_str());
  }
  std::fflush(stdout);
  return {};
}

int CISDBTDll::Ostrel_IsUSB() { return FindDeviceInterface().empty() ? 1 : 0; }

int CISDBTDll::DR_Get_Device(const char* pipeName) {
  // Only the path this search found is used: never one left from an earlier search.
  const std::string device = FindDeviceInterface();
  if (device.empty()) return -1;
  std::string path = device + "/" + pipeName;
  if (path.size() > quonda::kMaxDevicePath) return -1;
  const bool commands = std::strcmp(pipeName, quonda::kCommandPipe) == 0;
  int fd = ::open(path.c_str(), (commands ? O_WRONLY : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void CISDBTDll::ClosePipes() {
  if (m_replyPipe >= 0) ::close(m_replyPipe);
  if (m_commandPipe >= 0) ::close(m_commandPipe);
  m_replyPipe = -1;
  m_commandPipe = -1;
  m_owedBytes = 0;
  m_owedData = false;
}

bool CISDBTDll::USB_SendCommand(const THostCommand* command) {
  std::uint8_t bytes[6] = {command->code,        command->argument,    command->reserved[0],
                           command->reserved[1], command->reserved[2], command->reserved[3]};
  if (!quonda::WriteAll(m_commandPipe, bytes, sizeof bytes, kTransferTimeoutMs, &m_wake)) return false;
  m_owedBytes += AnswerBytes(command->code);
  m_owedFor = command->code;
  if (command->code == kCmdSendData) m_owedData = true;
  return true;
}

bool CISDBTDll::USB_ReadCommand(void* reply) { return ReadPipe(reply, 6); }

bool CISDBTDll::USB_ReadBuffer(void* buffer, unsigned int length) { return ReadPipe(buffer, length); }

bool CISDBTDll::ReadPipe(void* buffer, std::size_t length) {
  std::size_t got = 0;
  const bool ok =
      quonda::ReadExact(m_replyPipe, buffer, length, kTransferTimeoutMs, &m_wake, &got, &m_lastRead);
  m_owedBytes -= std::min(got, m_owedBytes);
  // Cut short by a stop, or a reply the stick was too slow for: the rest is still on its way (the
  // stick answers every command it took, in order), and the next exchange reads past it. A cut
  // stream batch is never completed and a vanished stick sends nothing more: given up.
  if (!ok &&
      (m_lastRead == quonda::ReadEnd::kGone || (m_lastRead == quonda::ReadEnd::kTimedOut && m_owedData)))
    m_owedBytes = 0;
  if (m_owedBytes == 0) m_owedData = false;
  return ok;
}

void CISDBTDll::DrainReplies() {
  const std::size_t drained = quonda::DrainStale(m_replyPipe);
  m_owedBytes -= std::min(drained, m_owedBytes);
  if (m_owedBytes == 0) m_owedData = false;
}

bool CISDBTDll::SettleOwed(std::size_t owed, std::uint8_t owedFor, std::uint8_t expected,
                           std::uint8_t* answer, bool* answered) {
  *answered = false;
  std::uint8_t scrap[kStreamReadSize];
  while (owed > 0) {
    // Replies one by one, so the answer wanted is seen wherever it comes; stream data in bulk, its
    // last six bytes on their own.
    const std::size_t part = !m_owedData ? std::min<std::size_t>(owed, 6)
                             : owed > 6  ? std::min(owed - 6, sizeof scrap)
                                         : owed;
    if (!ReadPipe(scrap, part)) return false;
    owed -= part;
    if (part != 6 || (owed == 0 && owedFor == kCmdSendData)) continue;
    const bool sameCommand = ReplyFor(owedFor) == expected;
    if (scrap[0] == expected) {
      std::memcpy(answer, scrap, 6);
      *answered = true;
      // Another command owed last: what came before was lost, and this is the answer. The same
      // command sent again: this may be the earlier answer, so one more is still counted.
      if (!sameCommand) m_owedBytes = 0;
      return true;
    }
    if (owed == 0 && sameCommand) {
      // Another code in the place of the same command's answer: the stick refused it, and waiting
      // for more would only run out the time.
      std::memcpy(answer, scrap, 6);
      *answered = true;
      m_owedBytes = 0;
    }
  }
  return true;
}

int CISDBTDll::Exchange(std::uint8_t code, std::uint8_t argument, std::uint8_t expected, std::uint8_t* reply,
                        bool resendOnTimeOut) {
  int result = ExchangeOnce(code, argument, expected, reply);
  if (result != kOk && resendOnTimeOut && m_lastRead == quonda::ReadEnd::kTimedOut) {
    // A stick that was only slow gets the command once more; its late answer is settled first.
    std::fprintf(stderr, "quonda: no answer to command %u within %d ms, sending it again\n", unsigned{code},
                 kTransferTimeoutMs);
    result = ExchangeOnce(code, argument, expected, reply);
    if (result != kOk)
      std::fprintf(stderr, "quonda: command %u sent again, %s\n", unsigned{code},
                   m_lastRead == quonda::ReadEnd::kTimedOut ? "still no answer" : "a wrong or no answer");
  }
  return result;
}

int CISDBTDll::ExchangeOnce(std::uint8_t code, std::uint8_t argument, std::uint8_t expected,
                            std::uint8_t* reply) {
  m_lastRead = quonda::ReadEnd::kGone;
  if (m_replyPipe < 0 || m_commandPipe < 0) return kNoReply;
  DrainReplies();
  const std::size_t owed = m_owedBytes;
  const std::uint8_t owedFor = m_owedFor;
  THostCommand command;
  command.code = code;
  command.argument = argument;
  USB_SendCommand(&command);
  std::uint8_t local[6] = {};
  std::uint8_t* answer = reply ? reply : local;
  bool answered = false;
  if (!SettleOwed(owed, owedFor, expected, answer, &answered)) return kNoReply;
  if (!answered && !USB_ReadCommand(answer)) return kNoReply;
  return answer[0] == expected ? kOk : kNoReply;
}

int CISDBTDll::Ostrel_Open() {
  // Reopening must not leak the handles of an earlier open.
  StopStreamThread();
  Remove_QueueData();
  ClosePipes();
  m_replyPipe = DR_Get_Device(quonda::kReplyPipe);
  m_commandPipe = m_replyPipe >= 0 ? DR_Get_Device(quonda::kCommandPipe) : -1;
  if (m_commandPipe < 0) {
    ClosePipes();
    return kNoReply;
  }
  return Exchange(kCmdOpen, 0, kReplyOpen, nullptr);
}

int CISDBTDll::Ostrel_Close() {
  StopStreamThread();
  Remove_QueueData();
  int result = kNoReply;
  if (m_replyPipe >= 0 && m_commandPipe >= 0) result = Exchange(kCmdClose, 0, kReplyClose, nullptr);
  ClosePipes();
  return result;
}

int CISDBTDll::Ostrel_Init() { return Exchange(kCmdInit, 0, kReplyInit, nullptr); }

int CISDBTDll::Ostrel_Reset() { return Exchange(kCmdReset, 0, kReplyReset, nullptr); }

int CISDBTDll::Ostrel_SearchChannel(unsigned char channelIndex) {
  return Exchange(kCmdSearch, static_cast<std::uint8_t>(channelIndex + kUhfOffset), kReplySearch, nullptr);
}

int CISDBTDll::Ostrel_SelectChannel(unsigned char channelIndex) {
  return Exchange(kCmdSelect, static_cast<std::uint8_t>(channelIndex + kUhfOffset), kReplySelect, nullptr,
                  true);
}

int CISDBTDll::Ostrel_ReadChannelStatus(unsigned char channelIndex, unsigned char* status) {
  if (status) *status = 0;
  std::uint8_t reply[6] = {};
  int result =
      Exchange(kCmdStatus, static_cast<std::uint8_t>(channelIndex + kUhfOffset), kReplyStatus, reply);
  if (result == kOk && status) *status = reply[1];
  return result;
}

int CISDBTDll::Ostrel_StartTS() {
  // One stream thread at a time: a second start replaces the first cleanly.
  StopStreamThread();
  int result = Exchange(kCmdStartTs, 0, kReplyStartTs, nullptr, true);
  if (result != kOk) return result;
  m_stop = 0;
  m_thread = std::thread([this] {
    pthread_setname_np(pthread_self(), "tuner-stream");
    quonda::RaiseToTimeCritical();
    StateThread();
  });
  return kOk;
}

void CISDBTDll::StopStreamThread() {
  m_stop = 1;
  if (m_thread.joinable()) {
    m_wake.Set();  // ends a transfer in progress at once; its answer stays owed
    m_thread.join();
    m_wake.Clear();
  }
}

int CISDBTDll::Ostrel_StopTS() {
  StopStreamThread();
  // Whatever the stick sent for the old stream must not reach the next one.
  Remove_QueueData();
  return Exchange(kCmdStopTs, 0, kReplyStopTs, nullptr);
}

int CISDBTDll::Ostrel_GetTS(unsigned char* buffer, unsigned long length, unsigned long* got, unsigned long) {
  if (got) *got = 0;
  const std::size_t wanted = length / kPacketSize;
  std::lock_guard lock(m_queueLock);
  if (m_queue.size() < wanted) return kNotEnoughData;
  for (std::size_t i = 0; i < wanted; ++i) {
    std::memcpy(buffer + i * kPacketSize, m_queue.front().data(), kPacketSize);
    m_queue.pop_front();
    if (got) *got += kPacketSize;
  }
  return kOk;
}

int CISDBTDll::Ostrel_GetRFLevel(unsigned int* level) {
  if (level) *level = m_signalLevel.load();
  return kOk;
}

int CISDBTDll::Ostrel_SwitchRS(bool) { return kOk; }

int CISDBTDll::Ostrel_GetBER_RS(double* before, double* after) {
  if (before) *before = m_berBefore;
  if (after) *after = m_berAfter;
  return kOk;
}

std::size_t CISDBTDll::QueuedPackets() {
  std::lock_guard lock(m_queueLock);
  return m_queue.size();
}

void CISDBTDll::Remove_QueueData() {
  std::lock_guard lock(m_queueLock);
  m_queue.clear();
}

void CISDBTDll::StoreLevel(std::uint32_t levelCode) {
  static constexpr std::uint32_t kLevels[] = {0, 20, 45, 55, 100};
  if (levelCode < std::size(kLevels)) m_signalLevel = kLevels[levelCode];
}

int CISDBTDll::StateThread() {
  std::uint8_t data[kStreamReadSize];
  std::uint8_t reply[6];
  while (m_stop == 0) {
    if (m_wake.Wait(1)) break;
    if (Exchange(kCmdDataReady, 0, kReplyDataReady, reply) == kOk) {
      THostCommand send;
      send.code = kCmdSendData;
      DrainReplies();
      USB_SendCommand(&send);
      // A short read leaves the batch incomplete: drop all of it rather than queue garbage.
      bool complete =
          USB_ReadBuffer(data, 512) && USB_ReadBuffer(data + 512, 512) && USB_ReadBuffer(data + 1024, 128);
      if (complete) {
        for (std::size_t unit = 0; unit < kUnitsPerRead; ++unit) {
          Packet packet;
          std::memcpy(packet.data(), data + unit * kUnitSize, kPacketSize);
          std::lock_guard lock(m_queueLock);
          m_queue.push_back(packet);
        }
      }
    }
    if (m_stop != 0) break;
    if (Exchange(kCmdLevel, 0, kReplyLevel, reply) == kOk) {
      std::uint32_t code = (std::uint32_t{reply[1]} << 24) | (std::uint32_t{reply[2]} << 16) |
                           (std::uint32_t{reply[3]} << 8) | std::uint32_t{reply[4]};
      StoreLevel(code);
    }
  }
  return 0;
}
