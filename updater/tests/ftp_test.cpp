// The FTP layer against a real server on 127.0.0.1: log-in, listings and the download with its
// status phases, faults and cancel. No GUI, so it also runs under ThreadSanitizer.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "updater/ftp_client.h"
#include "updater/resource_ids.h"
#include "updater/tests/test_host.h"

namespace tevalo::updater {
namespace {

using test::FtpServer;
using test::UpdateHost;

class CurlEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { curl_global_init(CURL_GLOBAL_DEFAULT); }
  void TearDown() override { curl_global_cleanup(); }
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

FtpAccount Account(uint16_t port, bool passive = false) {
  return FtpAccount{"127.0.0.1", port, "tevalo", "qzrkw5831", passive};
}

std::vector<std::string> Names(const std::vector<FtpEntry>& entries, bool directories) {
  std::vector<std::string> names;
  for (const auto& entry : entries)
    if (entry.directory == directories) names.push_back(entry.name);
  return names;
}

class FtpSessionTest : public ::testing::TestWithParam<bool> {};

TEST_P(FtpSessionTest, ListsFoldersAndFilesOnOneConnection) {
  const std::string dir = test::MakeTempDir("session");
  const UpdateHost host = test::MakeUpdateHost(dir, 1000);
  std::filesystem::create_directories(host.root + "/Update/1SEG/KANORU/1.0.9/sub");
  std::filesystem::create_directories(host.root + "/empty");
  FtpServer server(host.root);
  FtpSession session(Account(server.port(), GetParam()), {});
  ASSERT_EQ(session.Login(), CURLE_OK) << session.LastResponse();

  int pumped = 0;
  const std::function<void()> pump = [&] { ++pumped; };
  std::vector<FtpEntry> entries;
  ASSERT_EQ(session.List("/Update/1SEG/KANORU/", &entries, pump), CURLE_OK);
  EXPECT_EQ(Names(entries, true),
            (std::vector<std::string>{"1.0.0", "1.0.10", "1.0.9"}));  // the server's order
  EXPECT_TRUE(Names(entries, false).empty());
  EXPECT_EQ(pumped, 4);  // before the listing and after each entry

  ASSERT_EQ(session.List("/Update/1SEG/KANORU/1.0.9", &entries, pump), CURLE_OK);
  EXPECT_EQ(Names(entries, false), std::vector<std::string>{host.installerName});
  EXPECT_EQ(Names(entries, true), std::vector<std::string>{"sub"});

  ASSERT_EQ(session.List("/empty/", &entries, pump), CURLE_OK);
  EXPECT_TRUE(entries.empty());
  EXPECT_NE(session.List("/Update/none/", &entries, pump), CURLE_OK);
  EXPECT_TRUE(entries.empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpSessionTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

TEST(FtpSession, RefusedLogInKeepsTheServersReply) {
  const std::string dir = test::MakeTempDir("refused");
  const UpdateHost host = test::MakeUpdateHost(dir, 1000);
  FtpServer server(host.root, {"--password", "other"});
  FtpSession session(Account(server.port()), {});
  EXPECT_EQ(session.Login(), CURLE_LOGIN_DENIED);
  EXPECT_EQ(session.LastResponseCode(), 530);
  EXPECT_EQ(session.LastResponse().rfind("530 ", 0), 0u) << session.LastResponse();
  EXPECT_FALSE(session.ErrorText(CURLE_LOGIN_DENIED).empty());
  EXPECT_EQ(server.NextReport(), "login-failed tevalo");
}

TEST(FtpSession, ListingNamesArriveVerbatimForTheCallerToJudge) {
  const std::string dir = test::MakeTempDir("hostile");
  const UpdateHost host = test::MakeUpdateHost(dir, 1000);
  FtpServer server(host.root, {"--fake-listing", "/Update/1SEG/KANORU/1.0.9", "../x", "a/b"});
  FtpSession session(Account(server.port()), {});
  std::vector<FtpEntry> entries;
  ASSERT_EQ(session.List("/Update/1SEG/KANORU/1.0.9", &entries, {}), CURLE_OK);
  EXPECT_EQ(Names(entries, false), (std::vector<std::string>{"../x", "a/b"}));
}

TEST(FtpSession, SilentServerEndsAfterTheResponseTimeout) {
  FtpServer server("/", {"--silent"});
  FtpSession session(Account(server.port()), FtpTimeouts{30000, 1, 30});
  EXPECT_EQ(session.Login(), CURLE_OPERATION_TIMEDOUT);
  EXPECT_TRUE(session.LastResponse().empty());
}

// Records what a download reports, from its thread.
class Recorder : public DownloadListener {
 public:
  void OnStatus(unsigned id, const std::string& argument) override {
    std::lock_guard lock(mutex_);
    statuses_.emplace_back(id, argument);
  }
  void OnSizeKnown(int64_t total) override { total_ = total; }
  void OnTransferStarted() override { started_ = true; }
  void OnReceived(int64_t received) override {
    if (received <= last_) bad_ = true;  // must grow with every block
    last_ = received;
    received_ = received;
  }
  std::vector<std::pair<unsigned, std::string>> Statuses() {
    std::lock_guard lock(mutex_);
    return statuses_;
  }
  std::atomic<int64_t> received_{0};
  std::atomic<int64_t> total_{0};
  std::atomic<bool> started_{false};
  bool bad_ = false;

 private:
  std::mutex mutex_;
  std::vector<std::pair<unsigned, std::string>> statuses_;
  int64_t last_ = 0;
};

struct Download {
  std::string dir;
  std::string local;
  int fd = -1;
};

Download OpenLocal(const std::string& tag) {
  Download d;
  d.dir = test::MakeTempDir(tag);
  d.local = d.dir + "/installer";
  d.fd = open(d.local.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  return d;
}

TEST(FtpDownload, CopiesTheFileAndReportsEachPhase) {
  const std::string dir = test::MakeTempDir("download");
  const UpdateHost host = test::MakeUpdateHost(dir, 200 * 1024 + 17);
  FtpServer server(host.root);
  Download d = OpenLocal("local");
  std::atomic<int> cancel{0};
  Recorder recorder;
  FtpDownload download(Account(server.port()), {}, cancel, recorder);
  const DownloadResult result =
      download.Run("/Update/1SEG/KANORU/1.0.9/" + host.installerName, d.fd, d.local);

  EXPECT_EQ(result.end, DownloadResult::End::kCompleted) << result.errorArgument;
  EXPECT_EQ(result.total, static_cast<int64_t>(host.installerBytes.size()));
  EXPECT_EQ(result.received, result.total);
  EXPECT_EQ(recorder.total_, result.total);
  EXPECT_TRUE(recorder.started_);
  EXPECT_FALSE(recorder.bad_);
  EXPECT_EQ(test::ReadFile(d.local), host.installerBytes);
  const std::vector<std::pair<unsigned, std::string>> expected{{res::kResolvingName, "127.0.0.1"},
                                                               {res::kNameResolved, "127.0.0.1"},
                                                               {res::kConnectingTo, "127.0.0.1"},
                                                               {res::kConnectedToServer, ""},
                                                               {res::kConnecting, ""},
                                                               {res::kTransferring, ""}};
  EXPECT_EQ(recorder.Statuses(), expected);
}

TEST(FtpDownload, CancelFromAnotherThreadStopsPromptlyAndDeletesTheFile) {
  const std::string dir = test::MakeTempDir("cancel");
  const UpdateHost host = test::MakeUpdateHost(dir, 4 * 1024 * 1024);
  FtpServer server(host.root, {"--throttle", "32768"});  // two minutes for the whole file
  Download d = OpenLocal("local");
  std::atomic<int> cancel{0};
  Recorder recorder;
  DownloadResult result;
  std::thread thread([&] {
    FtpDownload download(Account(server.port()), {}, cancel, recorder);
    result = download.Run("/Update/1SEG/KANORU/1.0.9/" + host.installerName, d.fd, d.local);
  });
  while (recorder.received_ < 4096) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  cancel = 1;
  thread.join();
  EXPECT_EQ(result.end, DownloadResult::End::kCancelled);
  EXPECT_LT(result.received, result.total);
  EXPECT_FALSE(test::Exists(d.local));
}

struct FaultCase {
  const char* name;
  std::vector<std::string> serverOptions;
  std::string remoteName;  // "" = the installer
  FtpTimeouts timeouts;
  unsigned stringId;
  std::string argument;  // a regular expression
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class FtpDownloadFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FtpDownloadFault, FailsWithItsMessageAndDeletesTheFile) {
  const FaultCase& c = GetParam();
  const std::string dir = test::MakeTempDir("fault");
  const UpdateHost host = test::MakeUpdateHost(dir, 300 * 1024);
  std::vector<std::string> options = c.serverOptions;
  options.insert(options.end(), {"--fault-prefix", "setup"});
  FtpServer server(host.root, options);
  Download d = OpenLocal("local");
  std::atomic<int> cancel{0};
  Recorder recorder;
  FtpDownload download(Account(server.port()), c.timeouts, cancel, recorder);
  const std::string remote =
      "/Update/1SEG/KANORU/1.0.9/" + (c.remoteName.empty() ? host.installerName : c.remoteName);
  const DownloadResult result = download.Run(remote, d.fd, d.local);
  EXPECT_EQ(result.end, DownloadResult::End::kFailed);
  EXPECT_EQ(result.errorStringId, c.stringId);
  EXPECT_THAT(result.errorArgument, ::testing::MatchesRegex(c.argument));
  EXPECT_FALSE(test::Exists(d.local));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FtpDownloadFault,
    ::testing::Values(
        FaultCase{"LogInRefused", {"--password", "other"}, "", {}, res::kServerConnectFailed, "\n530 .*"},
        FaultCase{"NoSuchFile", {}, "missing.run", {}, res::kOpenRemoteFileFailed, "\n550 .*"},
        // The data connection closes mid-file: a short file (18), or the server's reply when it came first.
        FaultCase{
            "DataConnectionDropped", {"--fail-after", "100000"}, "", {}, res::kDownloadFailed, "18|\n426 .*"},
        // The file ends early but the server reports the transfer complete: the size gives it away.
        FaultCase{"EndsShortOfItsSize", {"--cut-after", "100000"}, "", {}, res::kDownloadFailed, "18"},
        // Nothing more arrives: the stall limit ends it.
        FaultCase{"DataStalls",
                  {"--stall-after", "100000"},
                  "",
                  FtpTimeouts{30000, 30, 1},
                  res::kDownloadFailed,
                  "28"}),
    [](const auto& info) { return std::string(info.param.name); });

// With nothing listening: a stop asked before the start touches nothing; otherwise the connection fails.
TEST(FtpDownload, WithoutAServer) {
  for (const int cancelled : {1, 0}) {
    Download d = OpenLocal("noserver");
    std::atomic<int> cancel{cancelled};
    Recorder recorder;
    FtpDownload download(Account(test::UnusedPort()), {}, cancel, recorder);
    const DownloadResult result = download.Run("/x", d.fd, d.local);
    EXPECT_FALSE(test::Exists(d.local));
    if (cancelled) {
      EXPECT_EQ(result.end, DownloadResult::End::kCancelled);
      EXPECT_TRUE(recorder.Statuses().empty());
    } else {
      EXPECT_EQ(result.end, DownloadResult::End::kFailed);
      EXPECT_EQ(result.errorStringId, res::kServerConnectFailed);
      EXPECT_EQ(result.errorArgument, std::to_string(CURLE_COULDNT_CONNECT));
    }
  }
}

TEST(FtpDownload, LocalWriteFailureGivesTheSystemError) {
  const std::string dir = test::MakeTempDir("write");
  const UpdateHost host = test::MakeUpdateHost(dir, 10000);
  FtpServer server(host.root);
  const std::string local = dir + "/readonly";
  test::WriteFile(local, "");
  const int fd = open(local.c_str(), O_RDONLY | O_CLOEXEC);  // every write fails with EBADF
  std::atomic<int> cancel{0};
  Recorder recorder;
  FtpDownload download(Account(server.port()), {}, cancel, recorder);
  const DownloadResult result = download.Run("/Update/1SEG/KANORU/1.0.9/" + host.installerName, fd, local);
  EXPECT_EQ(result.end, DownloadResult::End::kFailed);
  EXPECT_EQ(result.errorStringId, res::kDownloadFailed);
  EXPECT_EQ(result.errorArgument, std::to_string(EBADF));
  EXPECT_FALSE(test::Exists(local));
}

}  // namespace
}  // namespace tevalo::updater
