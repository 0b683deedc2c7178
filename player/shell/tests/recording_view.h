// A view for tests of the player core: it records what the core shows, in order, and counts calls
// that do not come on the GUI thread (the thread that made it).
#pragma once

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/path/utf.h"
#include "player/shell/player_view.h"

namespace tevalo::shell::test {

// Records what the core shows, in order, and checks that every call comes on the GUI thread.
class RecordingView : public IPlayerView {
 public:
  struct Strip {
    std::u16string text;
    int ticks = 0;
  };
  void SetStripText(StripKind kind, const std::u16string& text, int ticks) override {
    Note("strip " + std::to_string(int(kind)) + " " + tevalo::text::ToUtf8(text));
    strips[kind] = {text, ticks};
    history.push_back(text);
  }
  void ClearStrip(StripKind kind) override {
    Note("clear " + std::to_string(int(kind)));
    strips[kind] = {};
  }
  void ShowCaption(const CaptionScreen&) override {
    Note("caption");
    ++captions;
  }
  void ShowAnimation(Animation id) override {
    Note("animation " + std::to_string(int(id)));
    animation = int(id);
  }
  void HideAnimation() override {
    Note("animation off");
    animation = 0;
  }
  void ShowLevelBars(int bars) override {
    Note("bars " + std::to_string(bars));
    levelBars = bars;
  }
  void ShowVideoArea(bool p) override {
    Note(p ? "video on" : "video off");
    playing = p;
  }
  void ShowProgrammeStripIfEpgOn() override { Note("programme strip"); }
  void RefreshChannelPanel(const std::vector<ChannelEntry>& e) override {
    Note("panel " + std::to_string(e.size()));
    panel = e;
  }
  void HideChannelPanel() override { Note("panel off"); }
  void ChannelLockChanged(int index, bool locked) override {
    Note("lock " + std::to_string(index) + (locked ? " on" : " off"));
  }
  void ResetPlaybackPanel() override { Note("playback panel reset"); }
  void ShowRecording(bool on) override {
    Note(on ? "recording on" : "recording off");
    recording = on;
  }
  void ShowRecordWriting(bool writing) override { Note(writing ? "records written" : "records not written"); }
  void ShowNotice(const std::u16string& text, const std::u16string&) override {
    Note("notice " + tevalo::text::ToUtf8(text));
    notices.push_back(text);
  }
  void StateChanged(const CoreState& s) override {
    ++stateChanges;
    state = s;
  }
  void PostQuit() override {
    Note("quit");
    ++quits;
  }

  std::u16string StripText(StripKind kind) { return strips[kind].text; }
  bool Shown(const std::u16string& text) {
    for (const auto& t : history)
      if (t == text) return true;
    return false;
  }
  // Position of the first event that begins with `prefix` at or after `from`; npos when none.
  size_t Find(const std::string& prefix, size_t from = 0) const {
    for (size_t i = from; i < events.size(); ++i)
      if (events[i].rfind(prefix, 0) == 0) return i;
    return std::string::npos;
  }

  // Every event, one a line, for failure messages.
  std::string Dump() const {
    std::string out;
    for (const auto& e : events) out += e + "\n";
    return out;
  }

  const std::thread::id gui = std::this_thread::get_id();
  int offGuiThread = 0;  // calls that came on another thread
  std::vector<std::string> events;
  std::map<StripKind, Strip> strips;
  std::vector<std::u16string> history;
  int animation = 0;
  int levelBars = -1;
  bool playing = false;
  std::vector<ChannelEntry> panel;
  bool recording = false;
  std::vector<std::u16string> notices;
  int captions = 0;
  int stateChanges = 0;
  CoreState state;
  int quits = 0;

 private:
  void Note(std::string what) {
    if (std::this_thread::get_id() != gui) ++offGuiThread;
    events.push_back(std::move(what));
  }
};

}  // namespace tevalo::shell::test
