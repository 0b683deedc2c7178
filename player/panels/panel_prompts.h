// Questions and messages of the channel windows go through the player's prompter; these are the
// answers the windows act on.
#pragma once

#include <QString>

namespace tevalo::panels {

enum class PromptAnswer { Ok, Yes, No, Cancel };
enum class PromptButtons { Ok, YesNo, YesNoCancel };

class IPanelPrompter {
 public:
  virtual ~IPanelPrompter() = default;
  virtual PromptAnswer Ask(const QString& text, const QString& title, PromptButtons buttons) = 0;
};

inline constexpr char kMessageTitle[] = "1seg Message";
inline constexpr char kWarningTitle[] = "警告";
// Asked before a search or the list editor while recording.
inline constexpr char kSearchStopsRecording[] =
    "チャンネルサーチを行うと録画が停止します。チャンネルサーチを行いますか？";

}  // namespace tevalo::panels
