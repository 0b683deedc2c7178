// A small in-process tuner stick for unit tests: a stick folder with both FIFOs and a thread that
// answers the six-byte commands. Stream batches carry numbered packets so tests can check order; each
// start of the stream numbers from 0 again.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

using Command = std::array<std::uint8_t, 6>;

// Packet n of a fake stream: sync byte, n big-endian in bytes 1-4, then a pattern from n.
std::array<std::uint8_t, 188> FakePacket(std::uint32_t n);
std::uint32_t FakePacketNumber(const std::uint8_t* packet);

class FakeStick {
 public:
  struct Channel {
    bool found = false;
    int searchingReads = 0;  // "still searching" answers before the result
  };

  // Creates classFolder/name with PIPE00 and PIPE01 and starts answering.
  FakeStick(std::string classFolder, std::string name = "stick0");
  ~FakeStick();
  FakeStick(const FakeStick&) = delete;
  FakeStick& operator=(const FakeStick&) = delete;

  // Unplug: stop answering, close the driver's ends, delete the pipes and the folder.
  void Remove();
  void Insert();
  const std::string& Path() const { return m_path; }

  // Behaviour, changeable at any time.
  void SetChannel(int uhf, Channel channel);
  void SetLevelCode(std::uint32_t code);
  void SetSilent(std::uint8_t command, bool silent);        // no reply at all
  void SetWrongReply(std::uint8_t command, bool wrong);     // reply with another code
  void SetExtraReply(std::uint8_t command, bool extra);     // answer twice
  void SetReplyDelayMs(std::uint8_t command, int delayMs);  // answer late
  // The next command with this code is answered only once the host has sent another one: the host
  // has given up on that answer and drained its pipe by then (a slow stick after a stop).
  void HoldNextAnswer(std::uint8_t command);
  // Stream batches still to hand out as "ready" (-1: without end).
  void SetBatches(int batches);
  // The next batch is cut short (a failed data read on the host side).
  void CutNextBatch();

  std::vector<Command> Commands() const;
  void ClearCommands();
  // Commands received with this code, and answers to them written so far (a late one counts once
  // it is out).
  std::size_t Received(std::uint8_t code) const;
  std::size_t Answered(std::uint8_t code) const;

 private:
  void Serve();
  void Answer(const Command& command);
  void Send(const std::uint8_t* bytes, std::size_t length);

  std::string m_folder;
  std::string m_path;
  int m_reply = -1;    // PIPE00, held read-write so the host never sees a missing writer
  int m_command = -1;  // PIPE01, held read-write so the host's open for writing succeeds
  int m_stopFd = -1;
  std::thread m_thread;

  mutable std::mutex m_lock;
  std::map<int, Channel> m_channels;
  std::map<int, int> m_searchLeft;
  std::uint32_t m_levelCode = 0;
  std::set<std::uint8_t> m_silent, m_wrong, m_extra;
  std::map<std::uint8_t, int> m_delay;
  std::set<std::uint8_t> m_hold;
  int m_batches = -1;
  bool m_cutNext = false;
  std::uint32_t m_nextPacket = 0;
  std::vector<Command> m_log;
  std::map<std::uint8_t, std::size_t> m_answered;
};

}  // namespace testing_support
