// Shared set-up of the simulator tests: a folder per test and a synthetic stream file.
#pragma once

#include "synth_ts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

inline std::filesystem::path test_dir() {
  const char* run = std::getenv("XDG_RUNTIME_DIR");
  std::filesystem::path base = run && *run ? run : std::filesystem::temp_directory_path();
  // The stick's control socket lives below this folder and a socket path holds at most 107 bytes:
  // a deep build tree takes a short folder of its own instead.
  if (base.string().size() > 48)
    base = std::filesystem::temp_directory_path() / ("tevalo-sim-" + std::to_string(::getpid()));
  auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path dir = base / info->name();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::filesystem::path write_stream(const std::filesystem::path& dir, const std::string& name,
                                          const synth::Options& o) {
  std::filesystem::path file = dir / name;
  synth::write(file, synth::make(o));
  return file;
}
