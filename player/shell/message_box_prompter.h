// The prompter of a window: each question a modal message box with the system's button texts.
#pragma once

#include "player/shell/prompter.h"

class QWidget;

namespace tevalo::shell {

class CMessageBoxPrompter final : public IPrompter {
 public:
  explicit CMessageBoxPrompter(QWidget* parent) : m_parent(parent) {}
  bool Ask(const Prompt& prompt) override;
  Prompt::Reply Choose(const Prompt& prompt) override;

  static constexpr char kYesText[] = "はい(&Y)";
  static constexpr char kNoText[] = "いいえ(&N)";
  static constexpr char kCancelText[] = "キャンセル";

 private:
  QWidget* m_parent;
};

}  // namespace tevalo::shell
