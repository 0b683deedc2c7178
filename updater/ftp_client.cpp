#include "updater/ftp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "updater/resource_ids.h"

namespace tevalo::updater {
namespace {

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::optional<std::string> FtpHostOf(const std::string& url) {
  std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
  if (!handle ||
      curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
    return std::nullopt;
  char* scheme = nullptr;
  char* host = nullptr;
  std::optional<std::string> result;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      std::string_view(scheme) == "ftp" && *host != '\0')
    result = host;
  curl_free(scheme);
  curl_free(host);
  return result;
}

std::string Escape(std::string_view part) {
  char* escaped = curl_easy_escape(nullptr, part.data(), static_cast<int>(part.size()));
  std::string result = escaped ? escaped : "";
  curl_free(escaped);
  return result;
}

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

DownloadResult Ending(DownloadResult::End end, unsigned stringId = 0, std::string argument = {}) {
  DownloadResult result;
  result.end = end;
  result.errorStringId = stringId;
  result.errorArgument = std::move(argument);
  return result;
}

}  // namespace

std::optional<std::string> FtpServerName(std::string_view hostText) {
  if (hostText.empty()) return std::nullopt;
  if (auto host = FtpHostOf(std::string(hostText))) return host;
  if (hostText.find("://") != std::string_view::npos) return std::nullopt;  // a URL of another kind
  return FtpHostOf("ftp://" + std::string(hostText));
}

std::string FtpUrl(const FtpAccount& account, std::string_view absolutePath) {
  std::string host = account.host;
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  // "%2F" makes the path absolute instead of relative to the account's home folder.
  std::string url = "ftp://" + host + ":" + std::to_string(account.port) + "/%2F";
  bool first = true;
  size_t start = 0;
  while (start < absolutePath.size()) {
    size_t end = absolutePath.find('/', start);
    if (end == std::string_view::npos) end = absolutePath.size();
    if (end > start) {
      if (!first) url += '/';
      url += Escape(absolutePath.substr(start, end - start));
      first = false;
    }
    start = end + 1;
  }
  if (!first && absolutePath.back() == '/') url += '/';
  return url;
}

FtpHandle::FtpHandle(FtpAccount account, FtpTimeouts timeouts) : account_(std::move(account)) {
  curl_ = curl_easy_init();
  if (!curl_) return;
  curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errorBuffer_);
  curl_easy_setopt(curl_, CURLOPT_VERBOSE, 1L);  // for the debug callback; it prints nothing
  curl_easy_setopt(curl_, CURLOPT_DEBUGFUNCTION, &FtpHandle::DebugCallback);
  curl_easy_setopt(curl_, CURLOPT_DEBUGDATA, this);
  curl_easy_setopt(curl_, CURLOPT_OPENSOCKETFUNCTION, &FtpHandle::OpenSocket);
  curl_easy_setopt(curl_, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, &FtpHandle::ProgressCallback);
  curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &Discard);
  if (!account_.user.empty()) {
    curl_easy_setopt(curl_, CURLOPT_USERNAME, account_.user.c_str());
    curl_easy_setopt(curl_, CURLOPT_PASSWORD, account_.password.c_str());
  }
  curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connectMs);
  curl_easy_setopt(curl_, CURLOPT_ACCEPTTIMEOUT_MS, timeouts.connectMs);
  curl_easy_setopt(curl_, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeouts.responseSeconds);
  curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, timeouts.stallSeconds);
  // Active mode on the control connection's own address unless passive is asked for.
  curl_easy_setopt(curl_, CURLOPT_FTPPORT, account_.passive ? nullptr : "-");
}

FtpHandle::~FtpHandle() {
  if (curl_) curl_easy_cleanup(curl_);
}

std::string FtpHandle::ErrorText(CURLcode code) const {
  return errorBuffer_[0] != '\0' ? std::string(errorBuffer_) : std::string(curl_easy_strerror(code));
}

CURLcode FtpHandle::Perform(const std::string& url) {
  errorBuffer_[0] = '\0';
  lastResponse_.clear();
  lastCode_ = 0;
  curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
  return curl_easy_perform(curl_);
}

int FtpHandle::DebugCallback(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  // Every line the server sends on the control connection, also those read while a transfer ends.
  if (type != CURLINFO_HEADER_IN) return 0;
  auto* handle = static_cast<FtpHandle*>(self);
  std::string_view text(data, size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // Only replies: curl also passes header-like lines of its own for a size query.
    const auto digit = [&](size_t i) { return line[i] >= '0' && line[i] <= '9'; };
    if (line.size() < 3 || !digit(0) || !digit(1) || !digit(2)) continue;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-') continue;
    handle->lastResponse_ = std::string(line);
    handle->lastCode_ = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (line.size() == 3 || line[3] == ' ') handle->OnReply(handle->lastCode_);  // the last line of a reply
  }
  return 0;
}

curl_socket_t FtpHandle::OpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
  const int fd = socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (fd < 0) return CURL_SOCKET_BAD;
  if (purpose == CURLSOCKTYPE_IPCXN) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address->family == AF_INET)
      inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address->addr)->sin_addr, text, sizeof text);
    else if (address->family == AF_INET6)
      inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address->addr)->sin6_addr, text,
                sizeof text);
    static_cast<FtpHandle*>(self)->OnConnecting(text);
  }
  return fd;
}

int FtpHandle::ProgressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<FtpHandle*>(self)->OnProgress() ? 0 : 1;
}

CURLcode FtpSession::Login() {
  if (!Valid()) return CURLE_FAILED_INIT;
  curl_easy_setopt(curl(), CURLOPT_NOBODY, 1L);
  return Perform(FtpUrl(Account(), "/"));
}

CURLcode FtpSession::List(std::string_view folder, std::vector<FtpEntry>* entries,
                          const std::function<void()>& pump) {
  entries->clear();
  if (!Valid()) return CURLE_FAILED_INIT;
  std::string dir(folder);
  if (dir.empty() || dir.back() != '/') dir += '/';
  // A URL that ends in "/" lists the folder (LIST); the reply is parsed here.
  listing_.clear();
  curl_easy_setopt(curl(), CURLOPT_NOBODY, 0L);
  curl_easy_setopt(curl(), CURLOPT_WRITEFUNCTION, &FtpSession::Collect);
  curl_easy_setopt(curl(), CURLOPT_WRITEDATA, this);
  if (pump) pump();
  const CURLcode code = Perform(FtpUrl(Account(), dir));
  curl_easy_setopt(curl(), CURLOPT_WRITEFUNCTION, &Discard);
  curl_easy_setopt(curl(), CURLOPT_WRITEDATA, nullptr);
  if (code == CURLE_OK) {
    for (FtpEntry& entry : ParseListing(listing_)) {
      entries->push_back(std::move(entry));
      if (pump) pump();
    }
  }
  listing_.clear();
  listing_.shrink_to_fit();
  return code;
}

size_t FtpSession::Collect(char* data, size_t size, size_t count, void* self) {
  auto* session = static_cast<FtpSession*>(self);
  const size_t length = size * count;
  if (session->listing_.size() + length > kMaxListingBytes) return 0;
  session->listing_.append(data, length);
  return length;
}

FtpDownload::FtpDownload(FtpAccount account, FtpTimeouts timeouts, const std::atomic<int>& cancel,
                         DownloadListener& listener, bool binary)
    : FtpHandle(std::move(account), timeouts), cancel_(cancel), listener_(listener), binary_(binary) {}

DownloadResult FtpDownload::Run(const std::string& remotePath, int fd, const std::string& localPath) {
  fd_ = fd;
  localPath_ = localPath;
  if (!Valid()) return Fail(res::kTransferFailed, CURLE_OK);
  if (cancel_) return Finish(Ending(DownloadResult::End::kCancelled));

  const std::string url = FtpUrl(Account(), remotePath);
  listener_.OnStatus(res::kResolvingName, Account().host);
  // The size first: logs in, and a file that the server cannot size is still fetched.
  curl_easy_setopt(curl(), CURLOPT_NOBODY, 1L);
  CURLcode code = Perform(url);
  if (cancel_) return Finish(Ending(DownloadResult::End::kCancelled));
  if (!loggedIn_) return Fail(res::kServerConnectFailed, code);
  curl_off_t length = -1;
  if (code == CURLE_OK &&
      curl_easy_getinfo(curl(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length > 0) {
    total_ = length;
    listener_.OnSizeKnown(total_);
  }

  curl_easy_setopt(curl(), CURLOPT_NOBODY, 0L);
  curl_easy_setopt(curl(), CURLOPT_TRANSFERTEXT, binary_ ? 0L : 1L);
  curl_easy_setopt(curl(), CURLOPT_BUFFERSIZE, 1024L);
  curl_easy_setopt(curl(), CURLOPT_WRITEFUNCTION, &FtpDownload::WriteCallback);
  curl_easy_setopt(curl(), CURLOPT_WRITEDATA, this);
  code = Perform(url);
  if (cancel_) return Finish(Ending(DownloadResult::End::kCancelled));
  if (writeErrno_ != 0) return FailErrno(res::kDownloadFailed, writeErrno_);
  if (code != CURLE_OK) return Fail(opened_ ? res::kDownloadFailed : res::kOpenRemoteFileFailed, code);
  // A transfer that the server ended early is no installer.
  if (total_ > 0 && received_ != total_) return Fail(res::kDownloadFailed, CURLE_PARTIAL_FILE);
  return Finish(Ending(DownloadResult::End::kCompleted));
}

void FtpDownload::OnReply(int code) {
  if (code == 220) {
    listener_.OnStatus(res::kConnectedToServer, {});
  } else if (code == 230) {
    loggedIn_ = true;
    listener_.OnStatus(res::kConnecting, {});
  } else if ((code == 150 || code == 125) && !opened_) {
    opened_ = true;
    listener_.OnStatus(res::kTransferring, {});
    listener_.OnTransferStarted();
  }
}

void FtpDownload::OnConnecting(const std::string& address) {
  if (connectingShown_) return;
  connectingShown_ = true;
  listener_.OnStatus(res::kNameResolved, address);
  listener_.OnStatus(res::kConnectingTo, address);
}

bool FtpDownload::OnProgress() { return cancel_ == 0; }

size_t FtpDownload::WriteCallback(char* data, size_t size, size_t count, void* self) {
  auto* download = static_cast<FtpDownload*>(self);
  if (download->cancel_) return 0;
  const size_t length = size * count;
  size_t done = 0;
  while (done < length) {
    const ssize_t n = write(download->fd_, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      download->writeErrno_ = n < 0 ? errno : EIO;
      return 0;
    }
    done += static_cast<size_t>(n);
  }
  download->received_ += static_cast<int64_t>(length);
  download->listener_.OnReceived(download->received_);
  return length;
}

DownloadResult FtpDownload::Finish(DownloadResult result) {
  if (fd_ >= 0) {
    const int closed = close(fd_);
    const int closeErrno = errno;
    fd_ = -1;
    // A write that the file system reports only at close (a full disk, a network folder) fails too.
    if (closed != 0 && result.end == DownloadResult::End::kCompleted)
      return FailErrno(res::kDownloadFailed, closeErrno);
  }
  if (result.end != DownloadResult::End::kCompleted) unlink(localPath_.c_str());
  result.received = received_;
  result.total = total_;
  return result;
}

DownloadResult FtpDownload::Fail(unsigned stringId, CURLcode code) {
  // A reply of the server that refused the step says more than a number.
  if (LastResponseCode() >= 400) {
    return Finish(Ending(DownloadResult::End::kFailed, stringId, "\n" + LastResponse()));
  }
  if (code == CURLE_OK) return FailErrno(stringId, errno);
  return Finish(Ending(DownloadResult::End::kFailed, stringId, std::to_string(static_cast<int>(code))));
}

DownloadResult FtpDownload::FailErrno(unsigned stringId, int error) {
  return Finish(Ending(DownloadResult::End::kFailed, stringId, std::to_string(error)));
}

}  // namespace tevalo::updater
