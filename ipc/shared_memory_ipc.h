// The shared-memory channel between the player (writing side) and the live filter (reading side):
// a named mapping holding one message at a time after two slot words, a named data mutex, and one
// auto-reset event per side. One class serves both roles.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "ipc/filter_protocol.h"
#include "platform/kernel/sync.h"

enum class IpcRole : uint32_t {
  Filter = 1,  // reads; the role id written into its slot
  Player = 2,  // writes
};

class CSharedMemoryIpc {
 public:
  static constexpr uint32_t kWriteWaitMs = 1000;  // acknowledgement and data mutex waits
  static constexpr uint32_t kPlayerRaceWaitMs = 1000;
  static constexpr uint32_t kFilterRaceWaitMs = 10000;

  // Read modes (the contract's kIpcRead*).
  static constexpr int kReadWait = kIpcReadWait;
  static constexpr int kReadCopy = kIpcReadCopy;
  static constexpr int kReadRelease = kIpcReadRelease;

  // Opens or creates the mapping and the data mutex and takes a slot. Check Usable() (or
  // LastError()) afterwards; an unusable object refuses Connect, Write and Read.
  CSharedMemoryIpc(IpcRole role, std::string_view name = kIpcChannelName,
                   uint32_t payloadSize = kIpcPayloadSize, bool inherit = false);
  ~CSharedMemoryIpc();
  CSharedMemoryIpc(const CSharedMemoryIpc&) = delete;
  CSharedMemoryIpc& operator=(const CSharedMemoryIpc&) = delete;

  // 1 when both slots are taken and both events are open, else 0.
  int Connect();

  // Player: places one message at payload offset 0 and signals it; 1 on success, 0 when the channel
  // is not connected or disconnected, the length exceeds the payload, or the data mutex stayed busy
  // for 1000 ms. Before overwriting a message the reader has not acknowledged yet, it waits for
  // that acknowledgement (at most 1000 ms, then writes anyway), whatever waitForPeer says; the first
  // message after Connect does not wait.
  int Write(const void* buffer, uint32_t length, int waitForPeer);

  // Filter: copies length bytes from payload offset `offset` into destination (may be null).
  // Mode 0 first waits up to waitMs for a message (0 on time-out) and then, without a limit, for
  // the data mutex; mode 2 ends the message: releases the mutex and acknowledges it. A range beyond
  // the payload is refused (0, nothing copied); modes 0 and 2 still end the message then.
  int Read(void* destination, uint32_t length, uint32_t offset, int mode, uint32_t waitMs);

  // Player, once: wakes the reader, forgets the payload, releases the data mutex.
  void Disconnect();

  // Player: the reader was told to quit and will not acknowledge again. Writes and the disconnect
  // stop waiting for acknowledgements, also a wait in progress. Any thread.
  void AbandonPeer();

  uint32_t LastError() const { return m_lastError; }
  bool Usable() const { return m_view != nullptr; }
  bool IsConnected() const { return m_connected; }
  bool HoldsSlot0() const { return m_holdsSlot0; }
  IpcRole Role() const { return m_role; }

 private:
  bool IsPlayer() const { return m_role == IpcRole::Player; }
  void BuildNames(std::string_view name);
  bool LockRace();
  void UnlockRace();
  tvk::Handle OpenOrCreateEvent(const std::string& name);
  uint32_t SlotWord(int slot) const;
  void Store(uint32_t error) { m_lastError = error; }
  void Leave();
  const tvk::Handle& OwnEvent() const { return m_holdsSlot0 ? m_slot0Event : m_slot1Event; }
  const tvk::Handle& PeerEvent() const { return m_holdsSlot0 ? m_slot1Event : m_slot0Event; }
  // Waits at most kWriteWaitMs for the reader's acknowledgement; true when it came.
  bool WaitForAcknowledgement();

  uint32_t m_lastError = 0;
  bool m_holdsSlot0 = false;
  uint32_t* m_header = nullptr;  // the two slot words
  uint32_t m_payloadSize = 0;
  IpcRole m_role;
  uint32_t m_roleId = 0;
  tvk::Handle m_mapping;
  tvk::Handle m_dataMutex;
  tvk::Handle m_slot0Event;
  tvk::Handle m_slot1Event;
  tvk::Handle m_raceMutex;  // held only during construction and connection
  bool m_raceHeld = false;
  uint8_t* m_payload = nullptr;
  void* m_view = nullptr;
  std::string m_mutexName;
  std::string m_mappingName;
  std::string m_channelName;
  std::string m_raceName;
  [[maybe_unused]] bool m_inherit = false;  // kept for callers; nothing is inherited across exec here
  bool m_connected = false;
  bool m_disconnected = false;
  int m_ownSlot = -1;             // the slot this side wrote its id into
  bool m_unacknowledged = false;  // a written message the reader has not acknowledged yet
  std::atomic<bool> m_peerAbandoned{false};
  tvk::Handle m_abandoned = tvk::CreateEvent(true, false);  // set by AbandonPeer
};
