// The entries of an FTP LIST reply, in the two layouts servers use: Unix "ls -l" lines and the
// DOS lines of Windows servers. Lines of neither layout ("total 12", blank lines) are skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tevalo::updater {

struct FtpEntry {
  std::string name;
  bool directory = false;
};

// "." and ".." are left out; a link's name is the part before " -> ".
std::vector<FtpEntry> ParseListing(std::string_view text);

}  // namespace tevalo::updater
