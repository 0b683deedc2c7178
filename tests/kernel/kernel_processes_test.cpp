// Named objects shared between processes: a helper child (fork + exec) on the other side.
#include <gtest/gtest.h>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/kernel/detail.h"
#include "platform/kernel/kernel.h"
#include "tests/common/child_process.h"
#include "tests/kernel/parked.h"

using namespace tvk;
using tevalo_test::ChildProcess;
using tevalo_test::CurrentTid;
using tevalo_test::ParkedInWait;
using tevalo_test::WaitParked;
using tevalo_test::WaitUntil;

namespace {

struct Reply {
  bool ok = false;
  std::vector<long> values;
};

Reply Parse(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  Reply r;
  in >> word;
  r.ok = word == "ok";
  long v;
  while (in >> v) r.values.push_back(v);
  return r;
}

// The result code and elapsed time of a child's wait.
std::pair<long, long> WaitReply(const std::string& line) {
  Reply r = Parse(line);
  EXPECT_TRUE(r.ok) << line;
  if (r.values.size() < 2) return {-1, -1};
  return {r.values[0], r.values[1]};
}

class Helper : public ChildProcess {
 public:
  Helper() : ChildProcess("tevalo-kernel-helper") {}
  Helper(const std::string& program, std::vector<std::string> args)
      : ChildProcess(program, std::move(args)) {}
  // Makes an object in the child; returns {index, last error}.
  std::pair<long, long> Make(const std::string& command) {
    const std::string line = Call(command);
    Reply r = Parse(line);
    EXPECT_TRUE(r.ok && r.values.size() == 2) << command << " -> " << line;
    return r.values.size() == 2 ? std::make_pair(r.values[0], r.values[1]) : std::make_pair(-1L, -1L);
  }
};

// Segment files of this test's namespace still present.
std::vector<std::string> LeftoverSegments() {
  std::vector<std::string> found;
  const std::string prefix = SystemObjectName("");
  if (DIR* d = opendir(KernelLockDir().c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.rfind(prefix, 0) == 0 && name.size() > 4 && name.compare(name.size() - 4, 4, ".seg") == 0)
        found.push_back(name);
    }
    closedir(d);
  }
  return found;
}

TEST(KernelProcesses, MappingAndAutoResetEventAreSharedAndReleaseOneWaiterPerSet) {
  Handle map = CreateFileMapping(4096, "Map");
  ASSERT_TRUE(map);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  auto* view = static_cast<char*>(MapViewOfFile(map));
  Handle ev = CreateEvent(false, false, "Ev");

  Helper a, b;
  EXPECT_EQ(a.Make("map Map 4096"), std::make_pair(0L, long(ERROR_ALREADY_EXISTS)));
  EXPECT_EQ(a.Make("event Ev 0 0"), std::make_pair(1L, long(ERROR_ALREADY_EXISTS)));
  EXPECT_EQ(b.Make("openevent Ev").second, long(ERROR_SUCCESS));

  std::strcpy(view, "hello");
  SetEvent(ev);
  EXPECT_EQ(WaitReply(a.Call("wait 2000 1")).first, long(WAIT_OBJECT_0));
  EXPECT_EQ(a.Call("read 0 0"), "ok hello");
  a.Call("write 0 100 reply");
  EXPECT_STREQ(view + 100, "reply");

  // Both children wait; each Set releases exactly one of them.
  a.Send("wait 60000 1");
  b.Send("wait 60000 0");
  ASSERT_TRUE(WaitParked(a.pid(), b.pid()));
  SetEvent(ev);
  Helper* released = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    if (a.ReadLine(0))
      released = &a;
    else if (b.ReadLine(0))
      released = &b;
    return released != nullptr;
  }));
  // The other one is back in its wait, or has answered too.
  Helper& other = released == &a ? b : a;
  std::optional<std::string> line;
  ASSERT_TRUE(WaitUntil([&] { return (line = other.ReadLine(0)) || ParkedInWait(other.pid()); }));
  ASSERT_FALSE(line.has_value()) << "one Set released both";
  SetEvent(ev);
  line = other.ReadLine();
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(WaitReply(*line).first, long(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);

  // A timeout in the child is held there too.
  auto [result, took] = WaitReply(b.Call("wait 300 0"));
  EXPECT_EQ(result, long(WAIT_TIMEOUT));
  EXPECT_GE(took, 300);  // never early
  UnmapViewOfFile(view);
}

TEST(KernelProcesses, PulseReleasesAWaiterInAnotherProcessAndLeavesTheEventClear) {
  Handle ev = CreateEvent(true, false, "Pulse");
  Helper child;
  child.Make("event Pulse 1 0");
  child.Send("wait 60000 0");
  ASSERT_TRUE(WaitParked(child.pid()));
  PulseEvent(ev);
  auto line = child.ReadLine();
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(WaitReply(*line).first, long(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitReply(child.Call("wait 100 0")).first, long(WAIT_TIMEOUT));
}

TEST(KernelProcesses, AWaitOnAnEventAndASemaphoreTogether) {
  Helper child;
  child.Make("event Both.ev 0 0");
  child.Make("sem Both.sem 0 10");
  Handle ev = OpenEvent("Both.ev");
  Handle sem = OpenSemaphore("Both.sem");
  ASSERT_TRUE(ev && sem);

  child.Send("waitany 60000 0 1");
  ASSERT_TRUE(WaitParked(child.pid()));
  ReleaseSemaphore(sem, 1);
  auto line = child.ReadLine();
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(WaitReply(*line).first, long(WAIT_OBJECT_0 + 1));

  child.Send("waitall 60000 0 1");
  ASSERT_TRUE(WaitParked(child.pid()));
  SetEvent(ev);
  // Woken by the set, it looks and waits again.
  ASSERT_TRUE(WaitUntil([&] { return (line = child.ReadLine(0)) || ParkedInWait(child.pid()); }));
  EXPECT_FALSE(line.has_value()) << "wait-all returned with the semaphore at 0";
  ReleaseSemaphore(sem, 1);
  line = child.ReadLine();
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(WaitReply(*line).first, long(WAIT_OBJECT_0));
  // Both were taken together.
  EXPECT_EQ(WaitForMultipleObjects({ev, sem}, false, 0), WAIT_TIMEOUT);

  // And the other way round: this process waits on objects a child signals.
  child.Call("semrel 1 1");
  EXPECT_EQ(WaitForMultipleObjects({ev, sem}, false, INFINITE), WAIT_OBJECT_0 + 1);
  child.Send("set 0");
  EXPECT_EQ(WaitForMultipleObjects({ev, sem}, false, INFINITE), WAIT_OBJECT_0);
}

TEST(KernelProcesses, AKilledHoldersObjectsGiveTheNextProcessAUsableState) {
  {
    Helper doomed;
    doomed.Make("mutex Crash.mx 1");
    doomed.Make("event Crash.ev 1 1");
    doomed.Make("sem Crash.sem 1 1");
    EXPECT_EQ(doomed.Call("instance Crash.instance"), "ok 1");
    SingleInstanceLock whileAlive("Crash.instance");
    EXPECT_FALSE(whileAlive.Acquired());
    doomed.Kill();
  }
  Helper next;
  // Nobody holds them: they start afresh, not "already exists".
  EXPECT_EQ(next.Make("mutex Crash.mx 0"), std::make_pair(0L, long(ERROR_SUCCESS)));
  EXPECT_EQ(WaitReply(next.Call("wait 0 0")).first, long(WAIT_OBJECT_0));
  EXPECT_EQ(next.Make("event Crash.ev 1 0").second, long(ERROR_SUCCESS));
  EXPECT_EQ(WaitReply(next.Call("wait 0 1")).first, long(WAIT_TIMEOUT));
  EXPECT_EQ(next.Make("sem Crash.sem 0 1").second, long(ERROR_SUCCESS));
  EXPECT_EQ(WaitReply(next.Call("wait 0 2")).first, long(WAIT_TIMEOUT));
  EXPECT_EQ(next.Call("instance Crash.instance"), "ok 1");
  EXPECT_EQ(next.Finish(), 0);
  const auto left = LeftoverSegments();
  EXPECT_TRUE(left.empty()) << left.front();
}

TEST(KernelProcesses, AMutexWhoseHolderWasKilledIsAbandonedToTheNextWaiter) {
  Handle mx = CreateMutex(false, "Abandon.mx");
  Handle ev = CreateEvent(false, false, "Abandon.ev");
  Helper doomed, waiting;
  doomed.Make("mutex Abandon.mx 0");
  EXPECT_EQ(WaitReply(doomed.Call("wait 0 0")).first, long(WAIT_OBJECT_0));
  // A child killed in the middle of a wait leaves nothing that blocks the others.
  waiting.Make("event Abandon.ev 0 0");
  waiting.Send("wait 60000 0");
  ASSERT_TRUE(WaitParked(waiting.pid()));
  EXPECT_EQ(WaitForSingleObject(mx, 100), WAIT_TIMEOUT);

  const pid_t self = CurrentTid();
  std::thread killer([&] {
    EXPECT_TRUE(WaitParked(self));
    doomed.Kill();
    waiting.Kill();
  });
  EXPECT_EQ(WaitForSingleObject(mx, INFINITE), WAIT_ABANDONED_0);
  killer.join();
  EXPECT_TRUE(ReleaseMutex(mx));

  Helper next;
  next.Make("mutex Abandon.mx 0");
  EXPECT_EQ(WaitReply(next.Call("wait 60000 0")).first, long(WAIT_OBJECT_0));
  EXPECT_EQ(next.Make("event Abandon.ev 0 0").second, long(ERROR_ALREADY_EXISTS));
  next.Send("wait 60000 1");
  ASSERT_TRUE(WaitParked(next.pid()));
  SetEvent(ev);
  auto line = next.ReadLine();
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(WaitReply(*line).first, long(WAIT_OBJECT_0));
}

TEST(KernelProcesses, AnObjectLivesWhileAnyProcessHoldsItAndNamesAreCaseSensitive) {
  Helper child;
  child.Make("event Life.Ev 1 1");
  EXPECT_FALSE(OpenEvent("life.ev"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  Handle ev = OpenEvent("Life.Ev");
  ASSERT_TRUE(ev);
  EXPECT_FALSE(OpenMutex("Life.Ev"));  // another kind under that name
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CreateEvent(true, false, "Life.Ev", CreateMode::CreateNew));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  child.Send("exit");
  EXPECT_EQ(child.Finish(), 0);
  // The creator has gone; the object stays, for this process and for any other opening it.
  Helper opener;
  EXPECT_EQ(opener.Make("event Life.Ev 1 0").second, long(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(WaitReply(opener.Call("wait 0 0")).first, long(WAIT_OBJECT_0));
  opener.Send("exit");
  EXPECT_EQ(opener.Finish(), 0);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);  // still the same object, still set
  ev.Close();
  EXPECT_FALSE(OpenEvent("Life.Ev"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // A view keeps its mapping alive after the handle is closed.
  Handle map = CreateFileMapping(64, "Life.Map");
  void* view = MapViewOfFile(map);
  map.Close();
  Helper reader;
  EXPECT_EQ(reader.Make("map Life.Map 64").second, long(ERROR_ALREADY_EXISTS));
  reader.Call("close 0");
  UnmapViewOfFile(view);
  EXPECT_FALSE(OpenFileMapping("Life.Map"));
}

// A holder is recognised by pid, thread id and its process's start time, so a pid reused by a new
// process does not keep a dead holder's mutex held.
TEST(KernelProcesses, AHolderIsKnownByItsProcessStartTimeToo) {
  Helper child;
  const int32_t pid = child.pid();
  const uint64_t start = detail::ProcessStartTime(pid);
  ASSERT_NE(start, 0u);
  EXPECT_TRUE(detail::ThreadAlive(pid, pid, start));
  EXPECT_FALSE(detail::ThreadAlive(pid, pid, start + 1));
  child.Kill();
  EXPECT_FALSE(detail::ThreadAlive(pid, pid, start));
}

// Another local user knows our uid and where our runtime folder is, so every name of ours is
// guessable: made first by them, none may block us, and they may list nothing of ours.
TEST(KernelProcesses, AnotherUserCanNeitherBlockNorSeeOurObjects) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  std::vector<uid_t> uids;
  for (uid_t u = 2'000'000 + uid_t(getpid() % 1000) * 8; uids.size() < 2; ++u)
    if (!getpwuid(u)) uids.push_back(u);
  const uid_t a = uids[0], b = uids[1];
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path() / ("tevalo-users-" + std::to_string(getpid()));
  fs::remove_all(base);
  fs::create_directories(base);
  const fs::path shared = base / "tmp";  // a shared temporary directory like /tmp
  fs::create_directories(shared);
  chmod(base.c_str(), 0755);
  chmod(shared.c_str(), 01777);
  auto own = [&](const fs::path& dir, uid_t u) {
    fs::create_directories(dir);
    ASSERT_EQ(chown(dir.c_str(), u, u), 0);
    chmod(dir.c_str(), 0700);
  };
  own(base / "a-run", a);
  own(base / "a-home", a);
  auto as = [](uid_t u, std::vector<std::string> command) {
    std::vector<std::string> args = {"--reuid=" + std::to_string(u),
                                     "--regid=" + std::to_string(u),
                                     "--clear-groups",
                                     "/usr/bin/env",
                                     "-u",
                                     "XDG_RUNTIME_DIR",
                                     "-u",
                                     "TMPDIR",
                                     "-u",
                                     "HOME",
                                     "-u",
                                     "XDG_CACHE_HOME"};
    args.insert(args.end(), command.begin(), command.end());
    return args;
  };
  // A's runtime folder given by the session, or taken in the shared temporary directory.
  const std::vector<std::vector<std::string>> setups = {
      {"XDG_RUNTIME_DIR=" + (base / "a-run").string()},
      {"TMPDIR=" + shared.string(), "HOME=" + (base / "a-home").string()},
  };
  for (const auto& env : setups) {
    SCOPED_TRACE(env[0]);
    auto helper = [&] {
      std::vector<std::string> command = env;
      command.push_back(tevalo_test::BinaryPath("tevalo-kernel-helper"));
      return std::make_unique<Helper>("/usr/bin/setpriv", as(a, command));
    };
    auto asB = [&](const std::string& script) {
      std::string run = "/usr/bin/setpriv";
      for (const std::string& arg : as(b, {"/bin/sh", "-c", script})) run += " '" + arg + "'";
      return std::system(run.c_str());
    };
    asB("mkdir -p " + shared.string() + "/tevalo-" + std::to_string(a));
    // The names A will use, as a neighbour able to guess them would.
    auto first = helper();
    std::istringstream where(first->Call("where Map"));
    std::string ok, mapName, folder;
    where >> ok >> mapName >> folder;
    ASSERT_EQ(ok, "ok");
    std::string evName = mapName.substr(0, mapName.size() - 3) + "Ev";
    first.reset();
    std::string plant;
    for (const std::string& n : {mapName, evName})
      for (const std::string& d : {std::string("/dev/shm"), shared.string(), folder})
        plant += "touch " + d + "/" + n + " " + d + "/" + n + ".lock " + d + "/" + n + ".seg 2>/dev/null;";
    asB(plant);

    auto one = helper();
    auto two = helper();
    EXPECT_EQ(one->Make("map Map 4096").second, long(ERROR_SUCCESS));
    EXPECT_EQ(one->Make("event Ev 0 0").second, long(ERROR_SUCCESS));
    EXPECT_EQ(two->Make("map Map 4096").second, long(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(two->Make("openevent Ev").second, long(ERROR_SUCCESS));
    one->Call("write 0 0 hello");
    EXPECT_EQ(two->Call("read 0 0"), "ok hello");
    one->Send("wait 10000 1");
    two->Call("set 1");
    EXPECT_EQ(WaitReply(one->ReadLine(10000).value_or("")).first, long(WAIT_OBJECT_0));

    // Nothing A holds is anywhere B can list, and B cannot list A's folder.
    const std::string look = "ls -A " + folder + " >/dev/null 2>&1 && exit 1; find /dev/shm " +
                             shared.string() + " -maxdepth 2 -user " + std::to_string(a) +
                             " | grep -q . && exit 2; exit 0";
    EXPECT_EQ(asB(look), 0);
  }
  std::system(("rm -rf /dev/shm/tevalo." + std::to_string(a) + ".*").c_str());
  fs::remove_all(base);
}

}  // namespace
