#include "player/shell/channel_list_command.h"

#include "player/panels/panel_prompts.h"

namespace tevalo::shell {

namespace {

std::u16string U16(const char* utf8) { return QString::fromUtf8(utf8).toStdU16String(); }

}  // namespace

CChannelListCommand::Outcome CChannelListCommand::Run() {
  if (m_host.Recording() && !m_prompter.Ask({U16(panels::kSearchStopsRecording), U16(panels::kMessageTitle),
                                             Prompt::Buttons::kYesNo}))
    return Outcome::kDeclined;
  if (m_host.Busy()) return Outcome::kRefused;
  const int before = m_host.AreaIndex();
  if (m_host.RunEditor(before)) return Outcome::kAccepted;
  // The editor may have saved this or another area meanwhile: the area in force before comes back
  // with its list as now stored.
  m_host.LoadAreaList(before);
  return Outcome::kCancelled;
}

}  // namespace tevalo::shell
