#include "player/shell/message_box_prompter.h"

#include <QMessageBox>
#include <QPushButton>

namespace tevalo::shell {

Prompt::Reply CMessageBoxPrompter::Choose(const Prompt& prompt) {
  const bool okOnly = prompt.buttons == Prompt::Buttons::kOk;
  QMessageBox box(okOnly ? QMessageBox::Information : QMessageBox::Question,
                  QString::fromStdU16String(prompt.title), QString::fromStdU16String(prompt.text),
                  QMessageBox::NoButton, m_parent);
  QPushButton* yes = nullptr;
  QPushButton* no = nullptr;
  if (okOnly) {
    yes = box.addButton(QMessageBox::Ok);
    box.setEscapeButton(yes);
  } else {
    yes = box.addButton(QMessageBox::Yes);
    yes->setText(QString::fromUtf8(kYesText));
    no = box.addButton(QMessageBox::No);
    no->setText(QString::fromUtf8(kNoText));
    if (prompt.buttons == Prompt::Buttons::kYesNoCancel) {
      QPushButton* cancel = box.addButton(QMessageBox::Cancel);
      cancel->setText(QString::fromUtf8(kCancelText));
      box.setEscapeButton(cancel);
    }
  }
  box.setDefaultButton(yes);
  box.exec();
  // The box may also be closed from outside (the window closing answers open prompts as cancelled):
  // then no button was clicked.
  const auto* clicked = box.clickedButton();
  if (clicked && clicked == yes) return Prompt::Reply::kYes;
  if (clicked && clicked == no) return Prompt::Reply::kNo;
  return Prompt::Reply::kCancel;
}

bool CMessageBoxPrompter::Ask(const Prompt& prompt) {
  const Prompt::Reply reply = Choose(prompt);
  return prompt.buttons == Prompt::Buttons::kOk || reply == Prompt::Reply::kYes;
}

}  // namespace tevalo::shell
