// Frame messages per second through the channel, as a multiple of what the live stream needs
// (about 15 video + 24 audio messages a second). The reader is a second process (this program run
// with --reader), as a second reference both ends run as threads of one process.
//
//   tevalo-bench-ipc [messages]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ipc/filter_protocol.h"
#include "ipc/shared_memory_ipc.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr double kLiveMessagesPerSecond = 15 + 24;

struct Load {
  const char* name;
  uint32_t videoBytes, audioBytes;  // payload lengths
};

// 15 video and 24 audio messages in every 39, spread evenly.
int32_t TypeOf(uint64_t i) { return (i * 15) % 39 < 15 ? IPC_VIDEO_FRAME : IPC_AUDIO_FRAME; }

// The reading side: counts frame messages until a ping ends the run. Returns the count.
uint64_t ReadUntilPing(CSharedMemoryIpc& ipc) {
  IpcIncoming msg;
  uint64_t frames = 0;
  for (;;) {
    const IpcReadResult r = ReadIpcMessage(ipc, msg, 1000);
    if (r == IpcReadResult::None) continue;
    if (msg.header.type == IPC_PING) return frames;
    if (r == IpcReadResult::Message) ++frames;
  }
}

// Writes `count` frames then a ping; returns the seconds it took.
double WriteFrames(CSharedMemoryIpc& ipc, uint64_t count, const Load& load) {
  static StreamFrameMessage video, audio;
  std::vector<uint8_t> payload(kVideoFramePayloadMax, 0x42);
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t i = 0; i < count; ++i) {
    const bool isVideo = TypeOf(i) == IPC_VIDEO_FRAME;
    StreamFrameMessage& m = isVideo ? video : audio;
    const uint32_t bytes = MakeFrameMessage(m, TypeOf(i), int64_t(i), payload.data(),
                                            isVideo ? load.videoBytes : load.audioBytes);
    if (!ipc.Write(&m, bytes, 1)) std::fprintf(stderr, "write %llu failed\n", (unsigned long long)i);
  }
  const ControlMessage ping = {IPC_PING, 0, 0};
  ipc.Write(&ping, sizeof ping, 1);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int RunReader() {
  CSharedMemoryIpc ipc(IpcRole::Filter);
  std::printf("ready\n");
  std::fflush(stdout);
  char line[16];
  if (!std::fgets(line, sizeof line, stdin) || !ipc.Connect()) return 1;
  for (;;) {
    const uint64_t frames = ReadUntilPing(ipc);
    std::printf("%llu\n", (unsigned long long)frames);
    std::fflush(stdout);
    if (!std::fgets(line, sizeof line, stdin) || line[0] != 'n') return 0;
  }
}

void Report(const char* setup, const Load& load, uint64_t count, double seconds) {
  const double rate = double(count) / seconds;
  std::printf("%-14s %-22s %8.0f messages/s  = %7.0f x the live stream (%.0f/s)\n", setup, load.name, rate,
              rate / kLiveMessagesPerSecond, kLiveMessagesPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--reader") == 0) return RunReader();
  const uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000;
  // A namespace of our own, so a running player is never disturbed.
  const std::string ns = "bench-ipc-" + std::to_string(getpid());
  setenv("TEVALO_NAMESPACE", ns.c_str(), 1);
  const Load loads[] = {{"typical (2500/260 B)", 2500, 260},
                        {"largest (39960/10240 B)", kVideoFramePayloadMax, kAudioFramePayloadMax}};

  // Two processes.
  int toChild[2], fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) return 1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    close(toChild[1]);
    close(fromChild[0]);
    execl("/proc/self/exe", argv[0], "--reader", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  FILE* childOut = fdopen(fromChild[0], "r");
  FILE* childIn = fdopen(toChild[1], "w");
  char line[64];
  if (!std::fgets(line, sizeof line, childOut)) return 1;
  {
    CSharedMemoryIpc player(IpcRole::Player);
    if (!player.Connect()) return 1;
    std::fputs("go\n", childIn);
    std::fflush(childIn);
    for (size_t i = 0; i < std::size(loads); ++i) {
      if (i > 0) {
        std::fputs("next\n", childIn);
        std::fflush(childIn);
      }
      const double seconds = WriteFrames(player, count, loads[i]);
      if (!std::fgets(line, sizeof line, childOut) || std::strtoull(line, nullptr, 10) != count)
        std::fprintf(stderr, "the reader counted %s", line);
      Report("two processes", loads[i], count, seconds);
    }
    std::fputs("stop\n", childIn);
    std::fflush(childIn);
    waitpid(pid, nullptr, 0);
  }

  // Both ends in one process, as the system runs them.
  for (const Load& load : loads) {
    CSharedMemoryIpc filter(IpcRole::Filter);
    CSharedMemoryIpc player(IpcRole::Player);
    if (!player.Connect() || !filter.Connect()) return 1;
    uint64_t frames = 0;
    std::thread reader([&] { frames = ReadUntilPing(filter); });
    const double seconds = WriteFrames(player, count, load);
    reader.join();
    if (frames != count) std::fprintf(stderr, "the reader counted %llu\n", (unsigned long long)frames);
    Report("one process", load, count, seconds);
  }
  return 0;
}
