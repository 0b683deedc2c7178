#include "updater/tests/test_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tevalo::updater::test {

namespace fs = std::filesystem;

std::string MakeTempDir(const std::string& tag) {
  const char* base = std::getenv("XDG_RUNTIME_DIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + tag + "-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp " + pattern);
  return pattern;
}

void WriteFile(const std::string& path, const std::string& bytes, unsigned mode) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  chmod(path.c_str(), mode);
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

bool WaitForFile(const std::string& path, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!Exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) names.push_back(entry.path().filename());
  return names;
}

std::string InstallerScript(size_t size, const std::string& marker) {
  std::string script = "#!/bin/sh\necho started >> '" + marker + "'\nexit 0\n";
  // Varied filler, so that a block delivered twice or out of place changes the bytes.
  unsigned line = 0;
  while (script.size() < size) {
    std::string filler = "# " + std::to_string(line++) + " ";
    filler.append(48 - filler.size() % 48, static_cast<char>('a' + line % 26));
    filler += '\n';
    script += filler;
  }
  script.resize(size);
  return script;
}

UpdateHost MakeUpdateHost(const std::string& dir, size_t installerSize) {
  UpdateHost host;
  host.root = dir + "/ftp";
  const std::string updateRoot = host.root + "/Update/1SEG/KANORU";
  for (const char* version : {"1.0.0", "1.0.9", "1.0.10"}) fs::create_directories(updateRoot + "/" + version);
  host.installerMarker = dir + "/installer-starts";
  host.installerBytes = InstallerScript(installerSize, host.installerMarker);
  WriteFile(updateRoot + "/1.0.9/" + host.installerName, host.installerBytes);
  WriteFile(updateRoot + "/1.0.10/decoy.run", "#!/bin/sh\nexit 1\n");
  return host;
}

std::vector<std::string> FtpServer::Arguments(const std::string& root, std::vector<std::string> options) {
  const char* source = std::getenv("TEVALO_SOURCE_DIR");
  std::vector<std::string> args{std::string(source ? source : ".") + "/updater/tests/ftp_server.py", "--root",
                                root};
  args.insert(args.end(), options.begin(), options.end());
  return args;
}

FtpServer::FtpServer(const std::string& root, std::vector<std::string> options)
    : process_("/usr/bin/python3", Arguments(root, std::move(options))) {
  const auto line = process_.ReadLine(30000);
  if (!line || line->rfind("port ", 0) != 0) throw std::runtime_error("ftp_server.py did not start");
  port_ = static_cast<uint16_t>(std::stoi(line->substr(5)));
}

uint16_t UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

}  // namespace tevalo::updater::test
