#include "tuner/device/testing/fake_stick.h"

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {

std::array<std::uint8_t, 188> FakePacket(std::uint32_t n) {
  std::array<std::uint8_t, 188> p{};
  p[0] = 0x47;
  p[1] = static_cast<std::uint8_t>(n >> 24);
  p[2] = static_cast<std::uint8_t>(n >> 16);
  p[3] = static_cast<std::uint8_t>(n >> 8);
  p[4] = static_cast<std::uint8_t>(n);
  for (std::size_t i = 5; i < p.size(); ++i) p[i] = static_cast<std::uint8_t>(n * 7 + i);
  return p;
}

std::uint32_t FakePacketNumber(const std::uint8_t* p) {
  return (std::uint32_t{p[1]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 8) | p[4];
}

namespace {

void MakeFolders(const std::string& path) {
  for (std::size_t at = 1; at != std::string::npos;) {
    at = path.find('/', at + 1);
    ::mkdir(path.substr(0, at).c_str(), 0700);
  }
}

}  // namespace

FakeStick::FakeStick(std::string classFolder, std::string name)
    : m_folder(std::move(classFolder)), m_path(m_folder + "/" + name) {
  Insert();
}

FakeStick::~FakeStick() { Remove(); }

void FakeStick::Insert() {
  if (m_thread.joinable()) return;
  MakeFolders(m_path);
  ::mkfifo((m_path + "/PIPE00").c_str(), 0600);
  ::mkfifo((m_path + "/PIPE01").c_str(), 0600);
  m_reply = ::open((m_path + "/PIPE00").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  m_command = ::open((m_path + "/PIPE01").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_reply < 0 || m_command < 0 || m_stopFd < 0)
    throw std::runtime_error("fake stick: cannot open its pipes");
  m_thread = std::thread([this] { Serve(); });
}

void FakeStick::Remove() {
  if (!m_thread.joinable()) return;
  std::uint64_t one = 1;
  [[maybe_unused]] auto r = ::write(m_stopFd, &one, sizeof one);
  m_thread.join();
  ::close(m_reply);
  ::close(m_command);
  ::close(m_stopFd);
  m_reply = m_command = m_stopFd = -1;
  ::unlink((m_path + "/PIPE00").c_str());
  ::unlink((m_path + "/PIPE01").c_str());
  ::rmdir(m_path.c_str());
}

void FakeStick::SetChannel(int uhf, Channel channel) {
  std::lock_guard lock(m_lock);
  m_channels[uhf] = channel;
  m_searchLeft.erase(uhf);
}

void FakeStick::SetLevelCode(std::uint32_t code) {
  std::lock_guard lock(m_lock);
  m_levelCode = code;
}

void FakeStick::SetSilent(std::uint8_t command, bool on) {
  std::lock_guard lock(m_lock);
  on ? (void)m_silent.insert(command) : (void)m_silent.erase(command);
}

void FakeStick::SetWrongReply(std::uint8_t command, bool on) {
  std::lock_guard lock(m_lock);
  on ? (void)m_wrong.insert(command) : (void)m_wrong.erase(command);
}

void FakeStick::SetExtraReply(std::uint8_t command, bool on) {
  std::lock_guard lock(m_lock);
  on ? (void)m_extra.insert(command) : (void)m_extra.erase(command);
}

void FakeStick::SetReplyDelayMs(std::uint8_t command, int delayMs) {
  std::lock_guard lock(m_lock);
  m_delay[command] = delayMs;
}

void FakeStick::HoldNextAnswer(std::uint8_t command) {
  std::lock_guard lock(m_lock);
  m_hold.insert(command);
}

void FakeStick::SetBatches(int batches) {
  std::lock_guard lock(m_lock);
  m_batches = batches;
}

void FakeStick::CutNextBatch() {
  std::lock_guard lock(m_lock);
  m_cutNext = true;
}

std::vector<Command> FakeStick::Commands() const {
  std::lock_guard lock(m_lock);
  return m_log;
}

std::size_t FakeStick::Received(std::uint8_t code) const {
  std::lock_guard lock(m_lock);
  return std::size_t(
      std::count_if(m_log.begin(), m_log.end(), [&](const Command& c) { return c[0] == code; }));
}

std::size_t FakeStick::Answered(std::uint8_t code) const {
  std::lock_guard lock(m_lock);
  auto it = m_answered.find(code);
  return it == m_answered.end() ? 0 : it->second;
}

void FakeStick::ClearCommands() {
  std::lock_guard lock(m_lock);
  m_log.clear();
}

void FakeStick::Serve() {
  std::uint8_t pending[6];
  std::size_t have = 0;
  for (;;) {
    pollfd fds[2] = {{m_command, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents & POLLIN) return;
    ssize_t n = ::read(m_command, pending + have, sizeof pending - have);
    if (n <= 0) continue;
    have += static_cast<std::size_t>(n);
    if (have < sizeof pending) continue;
    have = 0;
    Command command;
    std::memcpy(command.data(), pending, 6);
    Answer(command);
  }
}

void FakeStick::Send(const std::uint8_t* bytes, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = ::write(m_reply, bytes + done, length - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (n < 0 && errno == EAGAIN)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    else
      return;
  }
}

void FakeStick::Answer(const Command& command) {
  static const std::map<std::uint8_t, std::uint8_t> kReplies = {
      {0, 28}, {1, 25}, {2, 16}, {3, 27}, {4, 19}, {5, 21}, {6, 20}, {7, 22}, {8, 24}, {9, 23}, {10, 26}};
  std::vector<std::uint8_t> out;
  int delay = 0;
  bool hold = false;
  {
    std::lock_guard lock(m_lock);
    m_log.push_back(command);
    const std::uint8_t code = command[0];
    if (m_silent.count(code)) return;
    if (code == 13) {
      std::vector<std::uint8_t> data(1152, 0xEE);
      for (int unit = 0; unit < 6; ++unit) {
        auto packet = FakePacket(m_nextPacket++);
        std::memcpy(data.data() + unit * 192, packet.data(), 188);
      }
      if (m_cutNext) {
        data.resize(700);
        m_cutNext = false;
      }
      out = std::move(data);
    } else {
      auto known = kReplies.find(code);
      if (known == kReplies.end()) return;
      std::uint8_t reply[6] = {known->second, 0, 0, 0, 0, 0};
      if (code == 7) m_nextPacket = 0;  // every stream starts from its beginning
      if (code == 4) m_searchLeft[command[1]] = m_channels[command[1]].searchingReads;
      if (code == 6) {
        int& left = m_searchLeft[command[1]];
        if (left > 0) {
          --left;
          reply[1] = 2;
        } else {
          reply[1] = m_channels[command[1]].found ? 1 : 0;
        }
      }
      if (code == 8) {
        if (m_batches == 0)
          reply[0] = 0;
        else if (m_batches > 0)
          --m_batches;
      }
      if (code == 10) {
        reply[1] = static_cast<std::uint8_t>(m_levelCode >> 24);
        reply[2] = static_cast<std::uint8_t>(m_levelCode >> 16);
        reply[3] = static_cast<std::uint8_t>(m_levelCode >> 8);
        reply[4] = static_cast<std::uint8_t>(m_levelCode);
      }
      if (m_wrong.count(code)) reply[0] = static_cast<std::uint8_t>(reply[0] + 100);
      out.assign(reply, reply + 6);
      if (m_extra.count(code)) out.insert(out.end(), reply, reply + 6);
    }
    auto d = m_delay.find(code);
    delay = d == m_delay.end() ? 0 : d->second;
    hold = m_hold.erase(code) > 0;
  }
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  if (hold) {
    pollfd fds[2] = {{m_command, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
    if (fds[1].revents & POLLIN) return;
  }
  Send(out.data(), out.size());
  std::lock_guard lock(m_lock);
  ++m_answered[command[0]];
}

}  // namespace testing_support
