// A fresh folder per test for the channel list files, under the test's runtime folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/path/utf.h"

namespace tevalo::channels::testing {

// Emptied and made anew; named after the running test.
inline std::string FreshFolder(const std::string& prefix) {
  const char* run = getenv("XDG_RUNTIME_DIR");
  const std::string dir = std::string(run ? run : "/tmp") + "/" + prefix + "-" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();
  EXPECT_EQ(system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  return dir;
}

inline std::u16string ListFileIn(const std::string& dir) { return text::ToUtf16(dir + "/chlist.ini"); }

}  // namespace tevalo::channels::testing
