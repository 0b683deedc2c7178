// The window's list editor command ("地域別リスト編集"): asked first while recording, refused while
// a recording plays, media opens or a search runs; then the editor runs over the area's list.
// Its OK searches the ticked channels (the editor starts that search itself); its Cancel puts back
// the area in force before and that area's list as stored.
#pragma once

#include <optional>

#include "player/shell/prompter.h"

namespace tevalo::shell {

class IChannelListCommandHost {
 public:
  virtual ~IChannelListCommandHost() = default;
  virtual bool Recording() const = 0;
  // A recording plays, media is being opened or a search runs.
  virtual bool Busy() const = 0;
  virtual int AreaIndex() const = 0;
  // The editor over the area's list, modal: the area it ended with after OK, none after Cancel.
  virtual std::optional<int> RunEditor(int area) = 0;
  // The area becomes the player's, its list loaded again from "chlist.ini".
  virtual void LoadAreaList(int area) = 0;
};

class CChannelListCommand {
 public:
  enum class Outcome { kDeclined, kRefused, kCancelled, kAccepted };

  CChannelListCommand(IChannelListCommandHost& host, IPrompter& prompter)
      : m_host(host), m_prompter(prompter) {}
  Outcome Run();

 private:
  IChannelListCommandHost& m_host;
  IPrompter& m_prompter;
};

}  // namespace tevalo::shell
