#include "player/resources/context_menu.h"

namespace {
constexpr MenuCommand kPlay[] = {
    {32864, "開始\tCtrl+Q"},
    {32865, "停止\tCtrl+Q"},
    {32797, "タイムシフト開始   \tCtrl+T"},
    {32798, "タイムシフト再生\tCtrl+T"},
    {32799, "タイムシフト終了\tCtrl+S"},
};
constexpr MenuCommand kChannel[] = {
    {32860, "チャンネルアップ  \tUp"}, {32861, "チャンネルダウン\tDown"}, {32862, "チャンネル進む\tLeft"},
    {32863, "チャンネル戻る\tRight"},  {32871, "地域別リスト編集"},
};
constexpr MenuCommand kRecord[] = {
    {32877, "録画開始/停止   \tCtrl+R"}, {32879, "録画再生戻る   \tAlt+Left"},
    {32878, "録画再生進む\tAlt+Right"},  {32880, "録画再生開始/一時停止    \tAlt+S"},
    {32881, "録画再生停止\tAlt+P"},      {32882, "録画再生ファイルオープン\tAlt+F"},
};
constexpr MenuCommand kVideo[] = {
    {32833, "常に手前に表示"},
};
constexpr MenuCommand kAudio[] = {
    {32800, "音量アップ\tCtrl+Up"},
    {32838, "音量ダウン\tCtrl+Down"},
    {32801, "ミュート切換\t"},
    {32856, "音声多重切換    \t"},
};
// "コントロ-ル" is spelt with a hyphen-minus, as stored.
constexpr MenuCommand kView[] = {
    {32810, "チャンネルリスト表示  \tCtrl+C"},
    {32867, "録画再生コントロ-ル表示\tCtrl+D"},
    {32875, "字幕表示\t"},
    {32884, "EPG表示"},
    {32830, "ノーマル\tAlt+1"},
    {32831, "拡大\tAlt+2"},
    {32832, "最大化\tAlt+Enter"},
    {32872, "予約録画設定"},
    {32883, "アップデート"},
    {32829, "終了\tCtrl+X"},
};
constexpr MenuPopup kPopups[] = {
    {"再生", kPlay},  {"チャンネル", kChannel}, {"録画", kRecord},
    {"映像", kVideo}, {"音声", kAudio},         {"表示", kView},
};
}  // namespace

std::span<const MenuPopup> ContextMenuPopups() { return kPopups; }
