// The updater tests' world: temporary folders, the loopback FTP server (ftp_server.py) holding the
// update host's folders, and stub programs that record that they were started.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/common/child_process.h"

namespace tevalo::updater::test {

// A new empty folder under the test's runtime folder.
std::string MakeTempDir(const std::string& tag);
void WriteFile(const std::string& path, const std::string& bytes, unsigned mode = 0644);
std::optional<std::string> ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Waits up to timeoutMs for a file to exist.
bool WaitForFile(const std::string& path, int timeoutMs = 20000);
// The names in a folder.
std::vector<std::string> ListDir(const std::string& dir);

// A shell script of exactly `size` bytes (at least 100) that appends "started" to `marker`.
std::string InstallerScript(size_t size, const std::string& marker);

// /Update/1SEG/KANORU/ with 1.0.0, 1.0.9 and 1.0.10; the installer in 1.0.9 (the newest by plain
// string order), a decoy in 1.0.10.
struct UpdateHost {
  std::string root;
  std::string installerName = "setup-1.0.9.run";
  std::string installerBytes;
  std::string installerMarker;  // the installer appends "started" here
};
UpdateHost MakeUpdateHost(const std::string& dir, size_t installerSize);

// ftp_server.py on 127.0.0.1 and a free port, stopped by the destructor.
class FtpServer {
 public:
  explicit FtpServer(const std::string& root, std::vector<std::string> options = {});
  uint16_t port() const { return port_; }
  // The server's next report line ("login-failed USER", "sent PATH", ...), if one comes in time.
  std::optional<std::string> NextReport(int timeoutMs = 20000) { return process_.ReadLine(timeoutMs); }

 private:
  static std::vector<std::string> Arguments(const std::string& root, std::vector<std::string> options);
  tevalo_test::ChildProcess process_;
  uint16_t port_ = 0;
};

// A TCP port on 127.0.0.1 where nothing listens.
uint16_t UnusedPort();

}  // namespace tevalo::updater::test
