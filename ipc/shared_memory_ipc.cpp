#include "ipc/shared_memory_ipc.h"

#include <atomic>
#include <cstdio>
#include <cstring>

using namespace tvk;

namespace {

// The slot words are read and written by both processes outside the data mutex.
std::atomic_ref<uint32_t> Slot(uint32_t* header, int slot) { return std::atomic_ref<uint32_t>(header[slot]); }

}  // namespace

CSharedMemoryIpc::CSharedMemoryIpc(IpcRole role, std::string_view name, uint32_t payloadSize, bool inherit)
    : m_payloadSize(payloadSize), m_role(role), m_roleId(static_cast<uint32_t>(role)), m_inherit(inherit) {
  BuildNames(name);
  if (!LockRace()) return;

  bool creator = false;
  m_mapping = OpenFileMapping(m_mappingName);
  Store(GetLastError());
  if (!m_mapping) {
    m_mapping = CreateFileMapping(size_t(m_payloadSize) + 8, m_mappingName);
    Store(GetLastError());
    // Made by someone else in the meantime: then this side opened it.
    creator = m_mapping && m_lastError != ERROR_ALREADY_EXISTS;
  }
  if (m_mapping && GetMappingSize(m_mapping) < size_t(m_payloadSize) + 8) {
    Store(ERROR_INVALID_PARAMETER);  // a mapping of that name too small for our payload
    m_mapping.Close();
  }
  if (m_mapping) {
    m_view = MapViewOfFile(m_mapping);
    Store(GetLastError());
  }
  if (m_view) {
    m_dataMutex = OpenMutex(m_mutexName);
    if (!m_dataMutex) m_dataMutex = CreateMutex(false, m_mutexName);
    Store(GetLastError());
  }
  if (!m_dataMutex) {
    if (m_view) UnmapViewOfFile(m_view);
    m_view = nullptr;
    m_mapping.Close();
    UnlockRace();
    return;
  }
  m_header = static_cast<uint32_t*>(m_view);
  m_payload = static_cast<uint8_t*>(m_view) + 8;
  m_ownSlot = creator ? 0 : 1;
  Slot(m_header, m_ownSlot).store(m_roleId);
  UnlockRace();
}

CSharedMemoryIpc::~CSharedMemoryIpc() { Leave(); }

void CSharedMemoryIpc::Leave() {
  if (IsPlayer())
    Disconnect();
  else if (OwnEvent())
    SetEvent(OwnEvent());
  // Only our own slot, and only while it still carries our id: a side that has taken the slot
  // over since must keep it.
  if (m_header && m_ownSlot >= 0) {
    uint32_t expected = m_roleId;
    Slot(m_header, m_ownSlot).compare_exchange_strong(expected, 0);
  }
  if (m_view) UnmapViewOfFile(m_view);
  m_view = nullptr;
  m_header = nullptr;
  m_payload = nullptr;
  m_mapping.Close();
  m_dataMutex.Close();
  m_slot0Event.Close();
  m_slot1Event.Close();
  m_connected = false;
}

void CSharedMemoryIpc::BuildNames(std::string_view name) {
  m_channelName = std::string(name);
  m_mappingName = "FILEMAP_" + m_channelName;
  m_mutexName = "MUTEX_" + m_channelName;
  m_raceName = kIpcRaceMutexName;
}

bool CSharedMemoryIpc::LockRace() {
  m_raceMutex = OpenMutex(m_raceName);
  Store(GetLastError());
  if (!m_raceMutex) {
    m_raceMutex = CreateMutex(false, m_raceName);
    Store(GetLastError());
    // The player gives up on any error of the creation, a lost creation race included.
    if (!m_raceMutex || (IsPlayer() && m_lastError != ERROR_SUCCESS)) {
      m_raceMutex.Close();
      return false;
    }
  }
  const uint32_t r = WaitForSingleObject(m_raceMutex, IsPlayer() ? kPlayerRaceWaitMs : kFilterRaceWaitMs);
  m_raceHeld = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0;
  if (!m_raceHeld && !IsPlayer()) {
    Store(r == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError());
    m_raceMutex.Close();
    return false;
  }
  return true;  // the player goes on without it
}

void CSharedMemoryIpc::UnlockRace() {
  if (m_raceHeld) ReleaseMutex(m_raceMutex);
  m_raceHeld = false;
  m_raceMutex.Close();
}

Handle CSharedMemoryIpc::OpenOrCreateEvent(const std::string& name) {
  Handle h = OpenEvent(name);
  if (!h) h = CreateEvent(false, false, name);
  Store(GetLastError());
  return h;
}

uint32_t CSharedMemoryIpc::SlotWord(int slot) const { return Slot(m_header, slot).load(); }

int CSharedMemoryIpc::Connect() {
  if (!m_header) return 0;
  if (!LockRace()) return 0;
  m_holdsSlot0 = SlotWord(0) == m_roleId;
  const uint32_t slot0 = SlotWord(0), slot1 = SlotWord(1);
  int result = 0;
  if (slot0 != 0 && slot1 != 0) {
    char name[320];
    std::snprintf(name, sizeof name, "CLIENTEVENT_%s_%d", m_channelName.c_str(), int(slot1));
    m_slot1Event = OpenOrCreateEvent(name);
    std::snprintf(name, sizeof name, "SERVEREVENT_%s_%d", m_channelName.c_str(), int(slot0));
    m_slot0Event = OpenOrCreateEvent(name);
    if (m_slot0Event && m_slot1Event) {
      m_connected = true;
      m_unacknowledged = false;
      result = 1;
    }
  }
  UnlockRace();
  return result;
}

int CSharedMemoryIpc::Write(const void* buffer, uint32_t length, int waitForPeer) {
  (void)waitForPeer;  // the unacknowledged-message rule below covers both kinds of write
  if (!m_connected || m_disconnected || !m_payload) return 0;
  if (length > m_payloadSize || (length && !buffer)) {
    Store(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (m_unacknowledged) {
    // A time-out does not stop the write: a reader that stopped reading must not stop the player.
    if (WaitForAcknowledgement()) m_unacknowledged = false;
  }
  const uint32_t r = WaitForSingleObject(m_dataMutex, kWriteWaitMs);
  if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED_0) {
    Store(r == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError());
    return 0;
  }
  if (m_disconnected) {
    ReleaseMutex(m_dataMutex);
    return 0;
  }
  std::memcpy(m_payload, buffer, length);
  ReleaseMutex(m_dataMutex);
  SetEvent(OwnEvent());
  m_unacknowledged = true;
  return 1;
}

int CSharedMemoryIpc::Read(void* destination, uint32_t length, uint32_t offset, int mode, uint32_t waitMs) {
  if (!m_connected || !m_payload || mode < kReadWait || mode > kReadRelease) return 0;
  if (mode == kReadWait) {
    if (WaitForSingleObject(PeerEvent(), waitMs) != WAIT_OBJECT_0) return 0;
    const uint32_t r = WaitForSingleObject(m_dataMutex, INFINITE);
    if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED_0) {
      Store(GetLastError());
      return 0;
    }
  }
  const bool inRange = uint64_t(offset) + length <= m_payloadSize;
  if (inRange && destination && length) std::memcpy(destination, m_payload + offset, length);
  if (!inRange) Store(ERROR_INVALID_PARAMETER);
  if (mode == kReadRelease || (mode == kReadWait && !inRange)) {
    ReleaseMutex(m_dataMutex);
    SetEvent(OwnEvent());
  }
  return inRange ? 1 : 0;
}

bool CSharedMemoryIpc::WaitForAcknowledgement() {
  if (m_peerAbandoned) return false;
  if (!m_abandoned) return WaitForSingleObject(PeerEvent(), kWriteWaitMs) == WAIT_OBJECT_0;
  return WaitForMultipleObjects({PeerEvent(), m_abandoned}, false, kWriteWaitMs) == WAIT_OBJECT_0;
}

void CSharedMemoryIpc::AbandonPeer() {
  m_peerAbandoned = true;
  if (m_abandoned) SetEvent(m_abandoned);
}

void CSharedMemoryIpc::Disconnect() {
  if (m_disconnected) return;
  m_disconnected = true;
  // The event set below wakes a reader that is still running. Let it take the last real message
  // first, then leave a header no reader acts on, so that message is not read a second time.
  if (m_connected && m_payload) {
    if (m_unacknowledged && WaitForAcknowledgement()) m_unacknowledged = false;
    const uint32_t r = WaitForSingleObject(m_dataMutex, kWriteWaitMs);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0) {
      uint8_t empty[8];
      EncodeMessageHeader(IpcMessageHeader{0, 0}, empty);
      std::memcpy(m_payload, empty, sizeof empty);
      ReleaseMutex(m_dataMutex);
    }
  }
  if (OwnEvent()) SetEvent(OwnEvent());
  m_payload = nullptr;
  if (m_dataMutex) ReleaseMutex(m_dataMutex);  // does nothing unless this thread holds it
}
