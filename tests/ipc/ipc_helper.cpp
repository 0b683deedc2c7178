// Child process for the channel tests: one command per input line, one reply line.
#include <chrono>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ipc/filter_protocol.h"
#include "ipc/shared_memory_ipc.h"
#include "platform/kernel/kernel.h"
#include "tests/ipc/ipc_pattern.h"

using namespace tvk;

int main() {
  std::unique_ptr<CSharedMemoryIpc> ipc;
  std::vector<Handle> held;
  IpcIncoming msg;
  std::string line;
  auto reply = [](const std::string& text) { std::cout << text << std::endl; };
  auto ms = [](uint32_t since) { return std::to_string(GetTickCount32() - since); };
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    if (cmd == "new") {
      std::string role;
      in >> role;
      const uint32_t start = GetTickCount32();
      ipc = std::make_unique<CSharedMemoryIpc>(role == "player" ? IpcRole::Player : IpcRole::Filter);
      reply("ok " + std::to_string(ipc->Usable()) + " " + std::to_string(ipc->LastError()) + " " + ms(start));
    } else if (cmd == "delete") {
      ipc.reset();
      reply("ok");
    } else if (cmd == "connect") {
      reply("ok " + std::to_string(ipc->Connect()));
    } else if (cmd == "disconnect") {
      ipc->Disconnect();
      reply("ok");
    } else if (cmd == "write") {
      // write TYPE WAIT [length or argument] [stamp]
      int32_t type = 0, wait = 0;
      int64_t value = 0, stamp = -1;
      in >> type >> wait >> value >> stamp;
      std::vector<uint8_t> bytes = ipc_test::BuildMessage(type, value, stamp);
      const uint32_t start = GetTickCount32();
      const int r = ipc->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), wait);
      reply("ok " + std::to_string(r) + " " + ms(start));
    } else if (cmd == "writeraw") {
      // writeraw SIZE TYPE SECOND: a message with an arbitrary header
      uint32_t size = 8;
      int32_t type = 0, second = 0;
      in >> size >> type >> second;
      std::vector<uint8_t> bytes(std::max<uint32_t>(size, 8));
      ipcle::PutI32(bytes.data(), type);
      ipcle::PutI32(bytes.data() + 4, second);
      reply("ok " + std::to_string(ipc->Write(bytes.data(), size, 1)));
    } else if (cmd == "read") {
      uint32_t wait = 0;
      in >> wait;
      const IpcReadResult r = ReadIpcMessage(*ipc, msg, wait);
      std::ostringstream out;
      out << "ok " << static_cast<int>(r) << " " << msg.header.type << " " << msg.header.length << " "
          << msg.argument << " " << msg.values[1] << " " << ipc_test::Intact(msg);
      reply(out.str());
    } else if (cmd == "readmode") {
      int mode = 0;
      uint32_t offset = 0, length = 0, wait = 0;
      in >> mode >> offset >> length >> wait;
      std::vector<uint8_t> bytes(length + 8);
      const uint32_t start = GetTickCount32();
      const int r = ipc->Read(bytes.data(), length, offset, mode, wait);
      reply("ok " + std::to_string(r) + " " + ms(start) + " " +
            std::to_string(length >= 4 ? ipcle::GetI32(bytes.data()) : 0));
    } else if (cmd == "readloop") {
      // readloop COUNT DELAY: reads COUNT messages, sleeping DELAY ms before each
      int count = 0;
      uint32_t delay = 0;
      in >> count >> delay;
      std::string types = "ok";
      for (int i = 0; i < count; ++i) {
        SleepMs(delay);
        if (ReadIpcMessage(*ipc, msg, 3000) != IpcReadResult::Message) {
          types += " none";
          break;
        }
        types += " " + std::to_string(msg.header.type);
      }
      reply(types);
    } else if (cmd == "hold") {
      // Takes the data mutex and the race mutex the way a side does while it works.
      for (std::string name : {std::string("MUTEX_") + kIpcChannelName, std::string(kIpcRaceMutexName)}) {
        Handle m = CreateMutex(false, name);
        const uint32_t r = WaitForSingleObject(m, 1000);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0) held.push_back(m);
      }
      reply("ok " + std::to_string(held.size()));
    } else if (cmd == "exit") {
      return 0;
    } else {
      reply("err unknown command");
    }
  }
  return 0;
}
