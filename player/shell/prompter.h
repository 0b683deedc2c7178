// Questions and OK boxes the core asks while it handles a user's action. Asked on the GUI thread
// only, and waited for there; the main window shows them as message boxes, tests answer them.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace tevalo::shell {

struct Prompt {
  enum class Buttons { kOk, kYesNo, kYesNoCancel };
  // A three-button box's answer; a box closed without one (Escape, the window closing) is kCancel.
  enum class Reply { kYes, kNo, kCancel };
  std::u16string text;
  std::u16string title;
  Buttons buttons = Buttons::kOk;
};

class IPrompter {
 public:
  virtual ~IPrompter() = default;
  // True for Yes (and for OK); false for No or a box closed without an answer.
  virtual bool Ask(const Prompt& prompt) = 0;
  // A Yes/No/Cancel question. A prompter that cannot tell No from a closed box answers Cancel,
  // the answer that changes nothing.
  virtual Prompt::Reply Choose(const Prompt& prompt) {
    return Ask(prompt) ? Prompt::Reply::kYes : Prompt::Reply::kCancel;
  }
};

// Answers from a list (then the default: Yes, or No/Cancel), and keeps every prompt asked.
class CScriptedPrompter final : public IPrompter {
 public:
  explicit CScriptedPrompter(bool defaultAnswer = false) : m_default(defaultAnswer) {}
  void Answer(bool yes) { m_answers.push_back(yes ? Prompt::Reply::kYes : Prompt::Reply::kNo); }
  void Answer(Prompt::Reply reply) { m_answers.push_back(reply); }
  bool Ask(const Prompt& prompt) override {
    if (m_answers.empty()) {
      m_asked.push_back(prompt);
      return prompt.buttons == Prompt::Buttons::kOk || m_default;
    }
    return Choose(prompt) == Prompt::Reply::kYes;
  }
  Prompt::Reply Choose(const Prompt& prompt) override {
    m_asked.push_back(prompt);
    if (m_answers.empty()) return m_default ? Prompt::Reply::kYes : Prompt::Reply::kCancel;
    const Prompt::Reply reply = m_answers.front();
    m_answers.pop_front();
    return reply;
  }
  const std::vector<Prompt>& Asked() const { return m_asked; }

 private:
  bool m_default;
  std::deque<Prompt::Reply> m_answers;
  std::vector<Prompt> m_asked;
};

}  // namespace tevalo::shell
