// FTP on libcurl: the version check's session (log-in, folder listings) and the installer download.
// Neither touches the GUI: the session calls a pump between listing entries, the download reports to
// a listener on its own thread.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "updater/ftp_listing.h"

namespace tevalo::updater {

struct FtpAccount {
  std::string host;  // a server name, a numeric address or "[v6]"
  uint16_t port = 21;
  std::string user;  // empty: anonymous
  std::string password;
  bool passive = false;  // active (PORT/EPRT) unless set
};

struct FtpTimeouts {
  long connectMs = 30000;     // TCP connect, and the server's connect-back in active mode
  long responseSeconds = 30;  // each reply of the server
  long stallSeconds = 30;     // a data connection below 1 byte/s for this long ends the transfer
};

// The server named by a host text: a plain name, or an ftp:// URL; nullopt when it is neither.
std::optional<std::string> FtpServerName(std::string_view hostText);
// The URL of an absolute path on the account's server, each path part percent-escaped; a trailing
// "/" is kept.
std::string FtpUrl(const FtpAccount& account, std::string_view absolutePath);

// One curl easy handle with the account's log-in, mode and time-outs. The control connection stays
// open from one transfer to the next.
class FtpHandle {
 public:
  FtpHandle(FtpAccount account, FtpTimeouts timeouts);
  virtual ~FtpHandle();
  FtpHandle(const FtpHandle&) = delete;
  FtpHandle& operator=(const FtpHandle&) = delete;

  bool Valid() const { return curl_ != nullptr; }
  const FtpAccount& Account() const { return account_; }
  // The server's last reply line of the last transfer ("" when it said nothing) and its code.
  const std::string& LastResponse() const { return lastResponse_; }
  int LastResponseCode() const { return lastCode_; }
  // curl's description of the last failure.
  std::string ErrorText(CURLcode code) const;

 protected:
  // Called on the transfer's thread: each reply of the server, each socket curl connects (numeric
  // address), and about once a second or more (false aborts the transfer).
  virtual void OnReply(int /*code*/) {}
  virtual void OnConnecting(const std::string& /*address*/) {}
  virtual bool OnProgress() { return true; }

  CURLcode Perform(const std::string& url);
  CURL* curl() const { return curl_; }

 private:
  static int DebugCallback(CURL* curl, curl_infotype type, char* data, size_t size, void* self);
  static curl_socket_t OpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
  static int ProgressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

  CURL* curl_ = nullptr;
  FtpAccount account_;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
  std::string lastResponse_;
  int lastCode_ = 0;
};

// The version check's connection.
class FtpSession : public FtpHandle {
 public:
  using FtpHandle::FtpHandle;
  // Connects and logs in (or finds the connection still logged in).
  CURLcode Login();
  // The entries of an absolute folder other than "." and "..", in the server's order. An empty
  // folder is a success. `pump` runs before the listing and after each entry.
  CURLcode List(std::string_view folder, std::vector<FtpEntry>* entries, const std::function<void()>& pump);

  // A listing longer than this is refused.
  static constexpr size_t kMaxListingBytes = 4 << 20;

 private:
  static size_t Collect(char* data, size_t size, size_t count, void* self);
  std::string listing_;
};

// What a download tells its owner, on the download's thread.
class DownloadListener {
 public:
  virtual ~DownloadListener() = default;
  // A status phase: a string id and its %1 argument (may be empty).
  virtual void OnStatus(unsigned stringId, const std::string& argument) = 0;
  virtual void OnSizeKnown(int64_t total) = 0;
  // The remote file is open; bytes follow.
  virtual void OnTransferStarted() = 0;
  virtual void OnReceived(int64_t received) = 0;
};

struct DownloadResult {
  enum class End { kCompleted, kCancelled, kFailed };
  End end = End::kFailed;
  unsigned errorStringId = 0;  // kFailed: the message's string id
  std::string errorArgument;   // its %1: an error code, or "\n" and the server's reply
  int64_t received = 0;
  int64_t total = 0;  // 0: unknown
};

// Downloads a remote file into an open local file in blocks of 1024 bytes. The local file is closed in
// every case and deleted unless the download completed. `cancel` set to nonzero stops it between
// blocks (and within a second while the server is silent).
class FtpDownload : public FtpHandle {
 public:
  FtpDownload(FtpAccount account, FtpTimeouts timeouts, const std::atomic<int>& cancel,
              DownloadListener& listener, bool binary = true);
  DownloadResult Run(const std::string& remotePath, int fd, const std::string& localPath);

 protected:
  void OnReply(int code) override;
  void OnConnecting(const std::string& address) override;
  bool OnProgress() override;

 private:
  static size_t WriteCallback(char* data, size_t size, size_t count, void* self);
  DownloadResult Finish(DownloadResult result);
  // The failure's message: the server's refusing reply when there is one, else the code (curl's, or
  // errno when there is none).
  DownloadResult Fail(unsigned stringId, CURLcode code);
  DownloadResult FailErrno(unsigned stringId, int error);

  const std::atomic<int>& cancel_;
  DownloadListener& listener_;
  bool binary_;
  int fd_ = -1;
  std::string localPath_;
  bool loggedIn_ = false;
  bool opened_ = false;
  bool connectingShown_ = false;
  int writeErrno_ = 0;
  int64_t received_ = 0;
  int64_t total_ = 0;
};

}  // namespace tevalo::updater
