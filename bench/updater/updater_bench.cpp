// Download rate of the updater's transfer (1024-byte blocks, a progress meter per block) as a ratio
// of plain curl fetching the same file from the same loopback server, with its default buffer and
// with 1024-byte blocks, run alternately. Also counts the screen changes the meter would post per MiB.
//
//   updater_bench [MiB] [rounds]
#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/kernel/tick.h"
#include "updater/ftp_client.h"
#include "updater/tests/test_host.h"
#include "updater/update_logic.h"

namespace {

using tevalo::updater::DownloadListener;
using tevalo::updater::DownloadResult;
using tevalo::updater::FtpAccount;
using tevalo::updater::FtpDownload;
using tevalo::updater::FtpUrl;
using tevalo::updater::ProgressMeter;

// What the dialog's reporter does on the download thread, with the posts counted instead.
class CountingListener final : public DownloadListener {
 public:
  void OnStatus(unsigned, const std::string&) override {}
  void OnSizeKnown(int64_t total) override { meter_.SetTotal(total); }
  void OnTransferStarted() override { meter_.Start(tvk::GetTickCount32()); }
  void OnReceived(int64_t received) override {
    if (!meter_.Update(received, tvk::GetTickCount32()).Empty()) ++posts;
  }
  long posts = 0;

 private:
  ProgressMeter meter_;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

size_t WriteToFd(char* data, size_t size, size_t count, void* fd) {
  return write(*static_cast<int*>(fd), data, size * count) == static_cast<ssize_t>(size * count)
             ? size * count
             : 0;
}

// Seconds for the updater's download, or a negative value when it failed.
double UpdaterRun(const FtpAccount& account, const std::string& remote, const std::string& local,
                  long* posts) {
  const int fd = open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::atomic<int> cancel{0};
  CountingListener listener;
  FtpDownload download(account, {}, cancel, listener);
  const auto start = std::chrono::steady_clock::now();
  const DownloadResult result = download.Run(remote, fd, local);
  const double seconds = Seconds(start);
  *posts = listener.posts;
  unlink(local.c_str());
  return result.end == DownloadResult::End::kCompleted ? seconds : -1;
}

// bufferSize 0: curl's default.
double CurlRun(const FtpAccount& account, const std::string& remote, const std::string& local,
               long bufferSize) {
  int fd = open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  CURL* curl = curl_easy_init();
  const std::string url = FtpUrl(account, remote);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERNAME, account.user.c_str());
  curl_easy_setopt(curl, CURLOPT_PASSWORD, account.password.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteToFd);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &fd);
  if (bufferSize) curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, bufferSize);
  const auto start = std::chrono::steady_clock::now();
  const CURLcode code = curl_easy_perform(curl);
  const double seconds = Seconds(start);
  curl_easy_cleanup(curl);
  close(fd);
  unlink(local.c_str());
  return code == CURLE_OK ? seconds : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  setenv("TEVALO_SOURCE_DIR", TEVALO_SOURCE_ROOT, 0);
  curl_global_init(CURL_GLOBAL_DEFAULT);
  namespace test = tevalo::updater::test;
  const std::string dir = test::MakeTempDir("updater-bench");
  const test::UpdateHost host = test::MakeUpdateHost(dir, mib << 20);
  test::FtpServer server(host.root);
  // Passive: the reference's defaults.
  const FtpAccount account{"127.0.0.1", server.port(), "tevalo", "qzrkw5831", true};
  const std::string remote = "/Update/1SEG/KANORU/1.0.9/" + host.installerName;
  const std::string local = dir + "/local";

  std::vector<double> updater, reference, smallBlocks;
  long posts = 0;
  for (int round = 0; round < rounds; ++round) {
    const double u = UpdaterRun(account, remote, local, &posts);
    const double r = CurlRun(account, remote, local, 0);
    const double b = CurlRun(account, remote, local, 1024);
    if (u < 0 || r < 0 || b < 0) {
      std::fprintf(stderr, "round %d: a download failed\n", round);
      return 1;
    }
    updater.push_back(u);
    reference.push_back(r);
    smallBlocks.push_back(b);
  }
  const double u = Median(updater), r = Median(reference), b = Median(smallBlocks);
  std::printf("file %zu MiB, %d rounds, medians\n", mib, rounds);
  std::printf("updater (1024-byte blocks, meter): %8.1f MiB/s\n", mib / u);
  std::printf("plain curl (default buffer)      : %8.1f MiB/s\n", mib / r);
  std::printf("plain curl (1024-byte buffer)    : %8.1f MiB/s\n", mib / b);
  std::printf("updater / plain curl rate        : %8.2f\n", r / u);
  std::printf("updater / curl 1024-byte rate    : %8.2f\n", b / u);
  std::printf("screen changes posted            : %ld (%.2f per MiB)\n", posts, double(posts) / mib);
  std::filesystem::remove_all(dir);
  curl_global_cleanup();
  return 0;
}
