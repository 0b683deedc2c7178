// Quonda: the USB tuner stick. Six-byte commands go out on "PIPE01", replies and stream data come
// back on "PIPE00"; a stream thread polls the stick and queues 188-byte transport-stream packets.
//
// Results: 0 success, 2 missing or wrong reply, 5 fewer packets queued than asked for.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "tuner/device/usb_pipe.h"

#define QUONDA_API __attribute__((visibility("default")))

class QUONDA_API CISDBTDll {
 public:
  struct THostCommand {
    std::uint8_t code = 0;
    std::uint8_t argument = 0;
    std::uint8_t reserved[4] = {0, 0, 0, 0};
  };

  static constexpr int kOk = 0;
  static constexpr int kNoReply = 2;
  static constexpr int kNotEnoughData = 5;
  static constexpr std::size_t kPacketSize = 188;
  static constexpr int kTransferTimeoutMs = 1000;

  CISDBTDll();
  ~CISDBTDll();
  CISDBTDll(const CISDBTDll&) = delete;
  CISDBTDll& operator=(const CISDBTDll&) = delete;

  int Ostrel_Open();
  int Ostrel_Close();
  int Ostrel_Init();
  int Ostrel_Reset();
  int Ostrel_SearchChannel(unsigned char channelIndex);
  int Ostrel_SelectChannel(unsigned char channelIndex);
  int Ostrel_ReadChannelStatus(unsigned char channelIndex, unsigned char* status);
  int Ostrel_StartTS();
  int Ostrel_StopTS();
  int Ostrel_GetTS(unsigned char* buffer, unsigned long length, unsigned long* got, unsigned long unused);
  int Ostrel_GetRFLevel(unsigned int* level);
  int Ostrel_SwitchRS(bool on);
  int Ostrel_GetBER_RS(double* before, double* after);
  // 0 when a tuner is plugged in, 1 when none is.
  int Ostrel_IsUSB();

  // Body of the stream thread.
  int StateThread();

  // Packets waiting in the queue (for the owner's diagnostics and tests).
  std::size_t QueuedPackets();

 private:
  using Packet = std::array<std::uint8_t, kPacketSize>;

  void Remove_QueueData();
  int DR_Get_Device(const char* pipeName);
  bool USB_SendCommand(const THostCommand* command);
  bool USB_ReadCommand(void* reply);
  bool USB_ReadBuffer(void* buffer, unsigned int length);

  // The path of the first stick that answers, empty when none does.
  static std::string FindDeviceInterface();
  // A tune's commands (select, start) are sent once more when the stick only answered too late; an
  // error answer or a vanished stick fails at once.
  int Exchange(std::uint8_t code, std::uint8_t argument, std::uint8_t expected, std::uint8_t* reply,
               bool resendOnTimeOut = false);
  int ExchangeOnce(std::uint8_t code, std::uint8_t argument, std::uint8_t expected, std::uint8_t* reply);
  // Every read of the reply pipe goes through here, so the bytes the stick still owes stay counted.
  bool ReadPipe(void* buffer, std::size_t length);
  void DrainReplies();
  // Skips the answers still owed (a stopped or timed-out transfer's), which come before the answer to
  // the command just sent. False when they did not come in time; *answered when a reply read on the
  // way already is that answer.
  bool SettleOwed(std::size_t owed, std::uint8_t owedFor, std::uint8_t expected, std::uint8_t* answer,
                  bool* answered);
  void ClosePipes();
  void StopStreamThread();
  void StoreLevel(std::uint32_t levelCode);

  std::atomic<std::int32_t> m_stop{0};
  std::thread m_thread;
  // Bytes of answers the stick still owes: a stop wakes the stream thread out of its transfer and a
  // slow stick outlasts the transfer time, but it answers every command it took, in order.
  std::size_t m_owedBytes = 0;
  std::uint8_t m_owedFor = 0;                               // the command those bytes answer
  bool m_owedData = false;                                  // stream data is among them
  quonda::ReadEnd m_lastRead = quonda::ReadEnd::kComplete;  // how the last read of the reply pipe ended
  double m_berBefore = 0.0;
  double m_berAfter = 0.0;
  std::atomic<std::uint32_t> m_signalLevel{0};
  int m_replyPipe = -1;    // "PIPE00"
  int m_commandPipe = -1;  // "PIPE01"
  quonda::WakeEvent m_wake;

  std::mutex m_queueLock;
  std::deque<Packet> m_queue;
};
