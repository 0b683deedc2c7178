// Questions and OK boxes the core asks while it handles a user's action. Asked on the GUI thread
// only, and waited for there; the main window shows them as message boxes, tests answer them.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace tevalo::shell {

struct Prompt {
  enum class Buttons { kOk, kYesNo };
  std::u16string text;
  std::u16string title;
  Buttons buttons = Buttons::kOk;
};

class IPrompter {
 public:
  virtual ~IPrompter() = default;
  // True for Yes (and for OK); false for No or a box closed without an answer.
  virtual bool Ask(const Prompt& prompt) = 0;
};

// Answers from a list (then the default), and keeps every prompt asked.
class CScriptedPrompter final : public IPrompter {
 public:
  explicit CScriptedPrompter(bool defaultAnswer = false) : m_default(defaultAnswer) {}
  void Answer(bool yes) { m_answers.push_back(yes); }
  bool Ask(const Prompt& prompt) override {
    m_asked.push_back(prompt);
    if (m_answers.empty()) return prompt.buttons == Prompt::Buttons::kOk || m_default;
    const bool yes = m_answers.front();
    m_answers.pop_front();
    return yes;
  }
  const std::vector<Prompt>& Asked() const { return m_asked; }

 private:
  bool m_default;
  std::deque<bool> m_answers;
  std::vector<Prompt> m_asked;
};

}  // namespace tevalo::shell
