// The window's message boxes: the buttons each kind shows, and the answer each way of closing gives.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <functional>

#include "modal_wait.h"
#include "player/shell/message_box_prompter.h"
#include "window_harness.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new GuiApp);

// Runs act on the box once it shows, and records its buttons' texts.
void OnBox(QStringList* texts, std::function<void(QMessageBox&)> act) {
  OnModal<QMessageBox>([texts, act](QMessageBox& box) {
    for (QAbstractButton* b : box.buttons()) *texts << b->text();
    texts->sort();
    act(box);
  });
}

QAbstractButton* ButtonWithText(QMessageBox& box, const char* text) {
  for (QAbstractButton* b : box.buttons())
    if (b->text() == QString::fromUtf8(text)) return b;
  return nullptr;
}

const Prompt kQuestion{u"リストが変更されました. セーブしますか", u"警告", Prompt::Buttons::kYesNoCancel};

TEST(MessageBoxPrompter, AThreeButtonQuestionShowsYesNoCancelAndTellsEachAnswer) {
  struct Case {
    const char* name;
    std::function<void(QMessageBox&)> act;
    Prompt::Reply reply;
  };
  const auto click = [](const char* text) {
    return [text](QMessageBox& box) { QTest::mouseClick(ButtonWithText(box, text), Qt::LeftButton); };
  };
  const Case cases[] = {
      {"Yes", click(CMessageBoxPrompter::kYesText), Prompt::Reply::kYes},
      {"No", click(CMessageBoxPrompter::kNoText), Prompt::Reply::kNo},
      {"Cancel", click(CMessageBoxPrompter::kCancelText), Prompt::Reply::kCancel},
      {"Escape", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, Prompt::Reply::kCancel},
      // The window closing rejects the boxes it finds open.
      {"closed from outside", [](QMessageBox& box) { box.reject(); }, Prompt::Reply::kCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CMessageBoxPrompter prompter(nullptr);
    QStringList texts;
    OnBox(&texts, [&](QMessageBox& box) {
      EXPECT_EQ(box.windowTitle(), QStringLiteral("警告"));
      EXPECT_EQ(box.text(), QStringLiteral("リストが変更されました. セーブしますか"));
      c.act(box);
    });
    EXPECT_EQ(prompter.Choose(kQuestion), c.reply);
    EXPECT_EQ(texts, (QStringList{"いいえ(&N)", "はい(&Y)", "キャンセル"}));
  }
}

TEST(MessageBoxPrompter, TwoButtonAndOkBoxesAnswerAsBefore) {
  CMessageBoxPrompter prompter(nullptr);
  QStringList texts;
  OnBox(&texts, [](QMessageBox& box) { box.reject(); });
  EXPECT_FALSE(prompter.Ask({u"録画を停止します。", u"1seg Message", Prompt::Buttons::kYesNo}));
  EXPECT_EQ(texts, (QStringList{"いいえ(&N)", "はい(&Y)"}));

  texts.clear();
  OnBox(&texts, [](QMessageBox& box) { QTest::mouseClick(ButtonWithText(box, "はい(&Y)"), Qt::LeftButton); });
  EXPECT_TRUE(prompter.Ask({u"録画を停止します。", u"1seg Message", Prompt::Buttons::kYesNo}));

  texts.clear();
  OnBox(&texts, [](QMessageBox& box) { box.reject(); });
  EXPECT_TRUE(prompter.Ask({u"録画を停止します。", u"1seg Message", Prompt::Buttons::kOk}));
  EXPECT_EQ(texts.size(), 1);
}

}  // namespace
}  // namespace tevalo::shell::test
