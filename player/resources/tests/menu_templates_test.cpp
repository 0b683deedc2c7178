#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QList>
#include <map>
#include <set>
#include "controls/font_aliases.h"
#include "player/resources/context_menu.h"
#include "player/resources/dialog_templates.h"

namespace {

TEST(ContextMenu, SubmenusInOrderWithTheirCommands) {
  const auto popups = ContextMenuPopups();
  ASSERT_EQ(popups.size(), 6u);
  const char* titles[] = {"再生", "チャンネル", "録画", "映像", "音声", "表示"};
  const size_t counts[] = {5, 5, 6, 1, 4, 10};
  std::set<unsigned> ids;
  for (size_t i = 0; i < popups.size(); ++i) {
    EXPECT_EQ(popups[i].title, titles[i]);
    EXPECT_EQ(popups[i].commands.size(), counts[i]) << titles[i];
    for (const MenuCommand& c : popups[i].commands) EXPECT_TRUE(ids.insert(c.id).second) << c.id;
  }
  EXPECT_EQ(popups[0].commands[0].id, 32864u);
  EXPECT_EQ(popups[5].commands.back().id, 32829u);
}

TEST(ContextMenu, TextsKeepTheirSpacesTabsAndSpelling) {
  std::map<unsigned, std::string_view> text;
  for (const MenuPopup& p : ContextMenuPopups())
    for (const MenuCommand& c : p.commands) text[c.id] = c.text;
  struct Case {
    unsigned id;
    std::string_view text;
  } cases[] = {
      {32797, "タイムシフト開始   \tCtrl+T"},
      {32860, "チャンネルアップ  \tUp"},
      {32880, "録画再生開始/一時停止    \tAlt+S"},
      {32801, "ミュート切換\t"},
      {32856, "音声多重切換    \t"},
      {32867, "録画再生コントロ-ル表示\tCtrl+D"},
      {32884, "EPG表示"},
      {32829, "終了\tCtrl+X"},
  };
  for (const Case& c : cases) EXPECT_EQ(text[c.id], c.text) << c.id;
  // The "コントロ-ル" of 32867 is a hyphen-minus, not a long-vowel mark.
  EXPECT_NE(text[32867].find("ロ-ル"), std::string_view::npos);
}

TEST(DialogTemplates, IdentifiersAreUniqueAndKindsAsBuilt) {
  for (const DialogTemplate& t : PlayerDialogTemplates()) {
    std::set<int> seen;
    for (const TemplateControl& c : t.controls)
      if (c.id != kNoControlId) {
        EXPECT_TRUE(seen.insert(c.id).second) << t.id << "/" << t.name << ": " << c.id;
      }
  }
  struct Case {
    unsigned dialog;
    std::string_view name;
    int control;
    ControlKind kind;
  } cases[] = {
      {103, {}, 1060, ControlKind::Trackbar},
      {103, {}, 1078, ControlKind::OwnerDrawButton},
      {349, {}, 1066, ControlKind::Static},
      {329, {}, 1002, ControlKind::OwnerDrawListBox},
      {401, {}, 1090, ControlKind::Trackbar},
      {252, {}, 1031, ControlKind::ListView},
      {466, {}, 1101, ControlKind::DropDownList},
      {475, {}, 1098, ControlKind::ListBox},
      {0, "EPG リスト", 1121, ControlKind::ReadOnlyMultiLineEdit},
      {0, "予約録画リスト", 1111, ControlKind::ListView},
      {0, "予約録画の詳細設定", 1116, ControlKind::DatePicker},
  };
  for (const Case& c : cases) {
    const DialogTemplate* t = c.dialog ? FindTemplate(PlayerDialogTemplates(), c.dialog)
                                       : FindTemplate(PlayerDialogTemplates(), c.name);
    ASSERT_NE(t, nullptr) << c.dialog << c.name;
    const TemplateControl* control = t->Find(c.control);
    ASSERT_NE(control, nullptr) << c.control;
    EXPECT_EQ(control->kind, c.kind) << c.control;
  }
  // The main window's template has every skinned button of the layout and no places of its own.
  const DialogTemplate* main = FindTemplate(PlayerDialogTemplates(), 103u);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->unit, PlaceUnit::None);
  for (int id :
       {1039, 1041, 1042, 1052, 1053, 1061, 1062, 1069, 1070, 1072, 1073, 1074, 1075, 1076, 1077, 1078})
    EXPECT_NE(main->Find(id), nullptr) << id;
}

// Every character of the menu and the templates is in the fonts that show them.
TEST(DialogTemplates, JapaneseTextsHaveEveryGlyph) {
  std::vector<QString> texts;
  for (const MenuPopup& p : ContextMenuPopups()) {
    texts.push_back(QString::fromUtf8(p.title.data(), p.title.size()));
    for (const MenuCommand& c : p.commands) texts.push_back(QString::fromUtf8(c.text.data(), c.text.size()));
  }
  for (const DialogTemplate& t : PlayerDialogTemplates()) {
    for (std::string_view s : {t.name, t.caption}) texts.push_back(QString::fromUtf8(s.data(), s.size()));
    for (const TemplateControl& c : t.controls)
      texts.push_back(QString::fromUtf8(c.text.data(), c.text.size()));
  }
  for (const char* face : {"ＭＳ ゴシック", "ＭＳ UI Gothic", "ＭＳ 明朝", "MS-Mincho"}) {
    const QFontMetrics metrics(PointFont(QString::fromUtf8(face), 9));
    for (const QString& text : texts)
      for (char32_t c : text.toUcs4())
        if (c != U'\t') {
          EXPECT_TRUE(metrics.inFontUcs4(c)) << face << ": U+" << std::hex << uint32_t(c);
        }
  }
}

}  // namespace
