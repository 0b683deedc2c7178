#include "player/resources/dialog_templates.h"

namespace {
using K = ControlKind;

constexpr TemplateControl kMainWindow[] = {
    {1049, K::Static},          {1046, K::Static},          {1047, K::Static},
    {1048, K::Static},          {1104, K::Static},          {1060, K::Trackbar},
    {1064, K::Static},          {1039, K::OwnerDrawButton}, {1041, K::OwnerDrawButton},
    {1042, K::OwnerDrawButton}, {1052, K::OwnerDrawButton}, {1053, K::OwnerDrawButton},
    {1061, K::OwnerDrawButton}, {1062, K::OwnerDrawButton}, {1069, K::OwnerDrawButton},
    {1070, K::OwnerDrawButton}, {1072, K::OwnerDrawButton}, {1073, K::OwnerDrawButton},
    {1074, K::OwnerDrawButton}, {1075, K::OwnerDrawButton}, {1076, K::OwnerDrawButton},
    {1077, K::OwnerDrawButton}, {1078, K::OwnerDrawButton},
};

constexpr TemplateControl kAbout[] = {
    {1066, K::Static},
};

constexpr TemplateControl kChannelPanel[] = {
    {1002, K::OwnerDrawListBox, {}, QRect(15, 34, 261, 126)},
    {1005, K::OwnerDrawButton, {}, QRect(313, 6, 16, 16)},
    {1094, K::OwnerDrawButton, {}, QRect(300, 40, 18, 18)},
    {1093, K::OwnerDrawButton, {}, QRect(300, 69, 18, 18)},
    {1013, K::OwnerDrawButton, {}, QRect(298, 102, 22, 22)},
    {1014, K::OwnerDrawButton, {}, QRect(298, 129, 22, 22)},
};

constexpr TemplateControl kPlaybackPanel[] = {
    {1082, K::OwnerDrawButton, {}, QRect(72, 94, 22, 22)},
    {1083, K::OwnerDrawButton, {}, QRect(117, 94, 22, 22)},
    {1085, K::OwnerDrawButton, {}, QRect(162, 94, 22, 22)},
    {1084, K::OwnerDrawButton, {}, QRect(162, 94, 22, 22)},
    {1086, K::OwnerDrawButton, {}, QRect(207, 94, 22, 22)},
    {1087, K::OwnerDrawButton, {}, QRect(252, 94, 22, 22)},
    {1089, K::OwnerDrawButton, {}, QRect(313, 6, 16, 16)},
    {1091, K::Static, {}, QRect(19, 36, 200, 12)},
    {1092, K::Static, {}, QRect(220, 36, 110, 12)},
    {1090, K::Trackbar, {}, QRect(17, 54, 313, 11)},
};

// The close button's place is the one the window moves it to; the text line and the picture buttons
// sit where the skin leaves room for them.
constexpr TemplateControl kPlaylist[] = {
    {1031, K::ListView, {}, QRect(17, 70, 288, 105)},
    {1038, K::OwnerDrawButton, {}, QRect(292, 9, 15, 15)},
    {1036, K::Static, {}, QRect(23, 45, 276, 14)},
    {kPlaylistBackButton, K::BitmapButton, {}, QRect(252, 9, 15, 15)},
    {kPlaylistNextButton, K::BitmapButton, {}, QRect(271, 9, 15, 15)},
};

constexpr TemplateControl kChannelListEditor[] = {
    {1, K::DefaultButton, "OK"}, {6, K::PushButton, "適用"}, {2, K::PushButton, "キャンセル"},
    {1101, K::DropDownList},     {1102, K::ListView},
};

constexpr TemplateControl kAreaChoice[] = {
    {1098, K::ListBox},
    {1, K::DefaultButton, "OK"},
    {2, K::PushButton, "キャンセル"},
};

constexpr TemplateControl kProgrammePage[] = {
    {1108, K::ReadOnlyEdit},
    {1107, K::ReadOnlyEdit},
    {1121, K::ReadOnlyMultiLineEdit},
    {1110, K::ListView},
    {1109, K::PushButton, "予約"},
    {kNoControlId, K::Static, "チャンネル "},
    {kNoControlId, K::Static, "日付 "},
};

constexpr TemplateControl kReservationPage[] = {
    {1111, K::ListView},
    {1082, K::PushButton, "新規"},
    {1083, K::PushButton, "変更"},
    {1084, K::PushButton, "削除"},
};

constexpr TemplateControl kReservationEditor[] = {
    {1113, K::Edit},
    {1119, K::ReadOnlyMultiLineEdit},
    {1114, K::DatePicker},
    {1115, K::TimePicker},
    {1116, K::DatePicker},
    {1117, K::TimePicker},
    {1118, K::DropDownCombo},
    {1112, K::DropDownCombo},
    {kNoControlId, K::Static, "チャンネル"},
    {kNoControlId, K::Static, "番組名"},
    {kNoControlId, K::Static, "開始日時"},
    {kNoControlId, K::Static, "終了日時"},
    {kNoControlId, K::Static, "繰返し"},
    {1, K::DefaultButton, "OK"},
    {2, K::PushButton, "キャンセル"},
};

constexpr DialogTemplate kTemplates[] = {
    {103, {}, {}, {}, 0, QSize(), PlaceUnit::None, kMainWindow},
    {349, {}, {}, "Arial Black", 10, QSize(640, 360), PlaceUnit::Pixels, kAbout},
    {329, {}, {}, {}, 0, QSize(346, 175), PlaceUnit::Pixels, kChannelPanel},
    {401, {}, {}, {}, 0, QSize(347, 133), PlaceUnit::Pixels, kPlaybackPanel},
    {252, {}, {}, {}, 0, QSize(324, 200), PlaceUnit::Pixels, kPlaylist},
    {466, {}, "チャンネルリストの設定", "ＭＳ ゴシック", 10, QSize(), PlaceUnit::None, kChannelListEditor},
    {475, {}, "地域選択", "ＭＳ 明朝", 9, QSize(143, 174), PlaceUnit::DialogUnits, kAreaChoice},
    {0, "EPG リスト", {}, {}, 0, QSize(), PlaceUnit::None, kProgrammePage},
    {0, "予約録画リスト", {}, {}, 0, QSize(), PlaceUnit::None, kReservationPage},
    {0, "予約録画の詳細設定", {}, {}, 0, QSize(), PlaceUnit::None, kReservationEditor},
};
}  // namespace

std::span<const DialogTemplate> PlayerDialogTemplates() { return kTemplates; }
