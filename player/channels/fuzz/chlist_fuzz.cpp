// Any bytes as "chlist.ini": every list loads and gives its names and search list.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/path/utf.h"
#include "player/channels/channel_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/tevalo-chlistfuzz-" + std::to_string(::getpid()) + ".ini";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  tevalo::channels::CChannelList list;
  // The first area, the last and one between: each reads its own section.
  for (int index : {0, 7, 46}) {
    list.Reset(index, tevalo::text::ToUtf16(path));
    list.Load();
    list.GetEnabledNames();
    list.GetSearchList();
    for (int i = 0; i < tevalo::channels::kListChannels; ++i) list.DisplayName(i);
  }
  return 0;
}
