// The stick as the host sees it: a folder in the interface class folder with the FIFOs PIPE00 and
// PIPE01, both held open at both ends while the stick is plugged in.
#pragma once

#include <filesystem>
#include <string>

namespace tunersim {

class StickFolder {
 public:
  // Creates the class folder and takes the stick's lock (one server per stick name); clears a
  // folder left by a server that died. Throws std::runtime_error.
  StickFolder(const std::filesystem::path& root, const std::string& name);
  ~StickFolder();
  StickFolder(const StickFolder&) = delete;
  StickFolder& operator=(const StickFolder&) = delete;

  void plug_in();
  void unplug();
  bool present() const { return pipe01_ >= 0; }

  const std::filesystem::path& path() const { return path_; }
  int command_fd() const { return pipe01_; }  // read commands here
  int reply_fd() const { return pipe00_; }    // write replies and data here

 private:
  bool remove_leftovers() noexcept;

  std::filesystem::path path_;
  std::filesystem::path staging_;  // where the folder is built and taken apart, outside the class folder
  std::filesystem::path lock_path_;
  int lock_ = -1;
  int pipe00_ = -1;
  int pipe01_ = -1;
};

}  // namespace tunersim
