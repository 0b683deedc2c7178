// The player's side of the channel list editor for tests: a current list stored in a "chlist.ini" of
// the test's own.
#pragma once

#include <vector>

#include "player/channels/tests/test_folder.h"
#include "player/panels/channel_list_editor.h"

namespace tevalo::panels::testing {

class Store : public IChannelListStore {
 public:
  explicit Store(std::u16string path) : path_(std::move(path)) { LoadAreaList(7); }
  channels::CChannelList& CurrentList() override { return list_; }
  void LoadAreaList(int area) override {
    loads.push_back(area);
    list_.Clear();
    list_.Reset(area, path_);
    list_.Load();
  }
  // The list of an area as the file holds it.
  channels::CChannelList Stored(int area) const {
    channels::CChannelList list;
    list.Reset(area, path_);
    list.Load();
    return list;
  }
  std::u16string path_;
  channels::CChannelList list_;
  std::vector<int> loads;
};

}  // namespace tevalo::panels::testing
