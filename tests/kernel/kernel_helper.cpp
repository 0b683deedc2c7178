// Child process for the cross-process kernel tests: runs one command per input line and prints one
// reply line ("ok ..." or "err <last error>"). Objects are numbered in the order they were made.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/kernel/runtime.h"

using namespace tvk;

int main() {
  std::vector<Handle> objects;
  std::vector<uint8_t*> views;
  std::string line;
  auto reply = [](const std::string& text) { std::cout << text << std::endl; };
  auto made = [&](Handle h, uint8_t* view = nullptr) {
    if (!h) return reply("err " + std::to_string(GetLastError()));
    const uint32_t error = GetLastError();
    objects.push_back(h);
    views.push_back(view);
    reply("ok " + std::to_string(objects.size() - 1) + " " + std::to_string(error));
  };
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd, name;
    in >> cmd;
    size_t i = 0;
    if (cmd == "event") {
      int manual = 0, initial = 0;
      in >> name >> manual >> initial;
      made(CreateEvent(manual, initial, name));
    } else if (cmd == "openevent") {
      in >> name;
      made(OpenEvent(name));
    } else if (cmd == "mutex") {
      int owner = 0;
      in >> name >> owner;
      made(CreateMutex(owner, name));
    } else if (cmd == "sem") {
      int32_t initial = 0, maximum = 1;
      in >> name >> initial >> maximum;
      made(CreateSemaphore(initial, maximum, name));
    } else if (cmd == "map") {
      size_t size = 0;
      in >> name >> size;
      Handle h = CreateFileMapping(size, name);
      const uint32_t error = GetLastError();
      uint8_t* view = h ? static_cast<uint8_t*>(MapViewOfFile(h)) : nullptr;
      SetLastError(error);
      made(h, view);
    } else if (cmd == "wait" || cmd == "waitany" || cmd == "waitall") {
      uint32_t ms = 0;
      std::vector<Handle> set;
      in >> ms;
      while (in >> i) set.push_back(objects.at(i));
      const uint32_t start = GetTickCount32();
      const uint32_t r = WaitForMultipleObjects(set, cmd == "waitall", ms);
      reply("ok " + std::to_string(r) + " " + std::to_string(GetTickCount32() - start));
    } else if (cmd == "set" || cmd == "reset" || cmd == "pulse" || cmd == "release") {
      in >> i;
      const Handle& h = objects.at(i);
      const bool ok = cmd == "set"     ? SetEvent(h)
                      : cmd == "reset" ? ResetEvent(h)
                      : cmd == "pulse" ? PulseEvent(h)
                                       : ReleaseMutex(h);
      reply(ok ? "ok" : "err " + std::to_string(GetLastError()));
    } else if (cmd == "semrel") {
      int32_t n = 1, previous = -1;
      in >> i >> n;
      const bool ok = ReleaseSemaphore(objects.at(i), n, &previous);
      reply(ok ? "ok " + std::to_string(previous) : "err " + std::to_string(GetLastError()));
    } else if (cmd == "write") {
      size_t offset = 0;
      std::string text;
      in >> i >> offset >> text;
      std::memcpy(views.at(i) + offset, text.c_str(), text.size() + 1);
      reply("ok");
    } else if (cmd == "read") {
      size_t offset = 0;
      in >> i >> offset;
      reply("ok " + std::string(reinterpret_cast<const char*>(views.at(i) + offset)));
    } else if (cmd == "close") {
      in >> i;
      if (views.at(i)) UnmapViewOfFile(views[i]);
      views[i] = nullptr;
      objects.at(i).Close();
      reply("ok");
    } else if (cmd == "instance") {
      in >> name;
      static std::vector<std::unique_ptr<SingleInstanceLock>> locks;
      locks.push_back(std::make_unique<SingleInstanceLock>(name));
      reply(locks.back()->Acquired() ? "ok 1" : "ok 0");
    } else if (cmd == "where") {
      in >> name;
      reply("ok " + SystemObjectName(name) + " " + KernelLockDir());
    } else if (cmd == "exit") {
      return 0;
    } else {
      reply("err unknown command");
    }
  }
  return 0;
}
