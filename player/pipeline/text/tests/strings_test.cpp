// The JIS table anchors, the ARIB 8-bit string decoder and the EUC-JP caption text decoder.
#include <gtest/gtest.h>

#include <vector>

#include "arib_string.h"
#include "euc_jp.h"
#include "jis_table.h"
#include "recording_sink.h"

using aribtext::DecodeAribString;
using aribtext::DecodeEucJp;
using aribtext::JisX0208ToUnicode;

namespace {

std::string Arib(std::vector<uint8_t> b, size_t max = 511) {
  return Utf8(DecodeAribString(b.data(), b.size(), max));
}
std::u16string Euc(std::vector<uint8_t> b, size_t max = 512) { return DecodeEucJp(b.data(), b.size(), max); }

TEST(JisTable, Anchors) {
  EXPECT_EQ(JisX0208ToUnicode(0x2121), u'\u3000');
  EXPECT_EQ(JisX0208ToUnicode(0x2140), u'\uFF3C');  // chosen over U+005C
  EXPECT_EQ(JisX0208ToUnicode(0x2141), u'\u301C');
  EXPECT_EQ(JisX0208ToUnicode(0x2422), u'あ');
  EXPECT_EQ(JisX0208ToUnicode(0x2522), u'ア');
  EXPECT_EQ(JisX0208ToUnicode(0x3B7A), u'字');
  EXPECT_EQ(JisX0208ToUnicode(0x7426), u'\u7199');  // last JIS X 0208 character
  EXPECT_EQ(JisX0208ToUnicode(0x7A52), u'P');
  EXPECT_EQ(JisX0208ToUnicode(0x7A53), u'W');
  EXPECT_EQ(JisX0208ToUnicode(0x7A73), u'秘');
  EXPECT_EQ(JisX0208ToUnicode(0x7E41), u'A');
  EXPECT_EQ(JisX0208ToUnicode(0x7E5A), u'Z');
  EXPECT_EQ(JisX0208ToUnicode(0x7C21), u'\u21E8');
  EXPECT_EQ(JisX0208ToUnicode(0x2F21), u'\0');  // unassigned row
  EXPECT_EQ(JisX0208ToUnicode(0x7F21), u'\0');
  EXPECT_EQ(aribtext::JisX0212ToUnicode(0x3021), u'\u4E02');
}

// The caption text reaches the ARIB symbols through the private-use area (rows F5..FE); the symbols
// the caption walk replaces must be the ones the JIS table gives for the same codes.
TEST(JisTable, AgreesWithTheCaptionReplacements) {
  const std::pair<char16_t, char16_t> replaced[] = {{u'\uE292', u'\u21E8'},
                                                    {u'\uE33D', u'\u203C'},
                                                    {u'\uE347', u'\u300B'},
                                                    {u'\uE348', u'\u300A'},
                                                    {u'\uE349', u'\u266C'}};
  for (auto [pua, ch] : replaced) {
    const int offset = pua - 0xE000;
    const uint16_t code = uint16_t(((0x75 + offset / 94) << 8) | (0x21 + offset % 94));
    EXPECT_EQ(JisX0208ToUnicode(code), ch) << std::hex << code;
    const uint8_t euc[2] = {uint8_t(code >> 8 | 0x80), uint8_t(code | 0x80)};
    EXPECT_EQ(DecodeEucJp(euc, 2, 4), std::u16string(1, pua));
  }
}

struct AribCase {
  const char* what;
  std::vector<uint8_t> bytes;
  const char* expect;
};

TEST(AribString, Cases) {
  const AribCase cases[] = {
      {"kanji in the default GL", {0x45, 0x6C, 0x35, 0x7E}, "東京"},
      {"hiragana in the default GR", {0xA2, 0xAB}, "あか"},
      {"space", {0x45, 0x6C, 0x20, 0x35, 0x7E}, "東 京"},
      {"LS1 keeps alphanumerics until LS0", {0x0E, 'N', 'H', 'K', 0x0F, 0x41, 0x6D, 0x39, 0x67}, "NHK総合"},
      {"LS1 drops a 1 right after it", {0x0E, 0x31, '2', 'c', 'h'}, "2ch"},
      {"LS2 hiragana in GL", {0x1B, 0x6E, 0x22, 0x2B}, "あか"},
      {"LS3 katakana in GL", {0x1B, 0x6F, 0x22, 0x74}, "アヴ"},
      {"LS1R alphanumerics in GR", {0x1B, 0x7E, 0xC1, 0xC2}, "AB"},
      {"LS1R drops a 1 right after it", {0x1B, 0x7E, 0xB1, 0xB2}, "2"},
      {"LS3R then LS2R", {0x1B, 0x7C, 0xA2, 0x1B, 0x7D, 0xA2}, "アあ"},
      {"SS2 hiragana for one character", {0x19, 0x22, 0x45, 0x6C}, "あ東"},
      {"SS3 katakana for one character", {0x1D, 0x22, 0x45, 0x6C}, "ア東"},
      {"ESC $ ; LS0 symbols", {0x0E, 'A', 0x1B, 0x24, 0x3B, 0x0F, 0x7A, 0x52}, "A<P>"},
      {"ESC $ 9 LS0 kanji", {0x0E, 'A', 0x1B, 0x24, 0x39, 0x0F, 0x45, 0x6C}, "A東"},
      {"G0 designated alphanumeric", {0x1B, 0x28, 0x4A, 'a', 'b'}, "ab"},
      {"G1 designated JIS X 0201 katakana", {0x1B, 0x29, 0x49, 0x0E, 0x31, 0x5F}, "ｱﾟ"},
      {"G3 designated hiragana, SS3", {0x1B, 0x2B, 0x30, 0x1D, 0x22}, "あ"},
      {"DRCS designated to G0 shows nothing", {0x1B, 0x28, 0x20, 0x41, 0x21, 0x0E, 'x'}, "x"},
      {"0x2140", {0x21, 0x40}, "＼"},
      {"0x7A52", {0x7A, 0x52}, "<P>"},
      {"0x7A53", {0x7A, 0x53}, "<W>"},
      {"0x7A54 of two letters", {0x7A, 0x54}, "<MV>"},
      {"0x7A73", {0x7A, 0x73}, "<秘>"},
      {"0x7A74", {0x7A, 0x74}, "<ほか>"},
      {"0x7E41", {0x7E, 0x41}, "(A)"},
      {"0x7E5A", {0x7E, 0x5A}, "(Z)"},
      {"a missing kanji is a space", {0x2F, 0x21, 0x45, 0x6C}, " 東"},
      {"hiragana tail codes", {0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE}, "ゝゞ-｡｢｣､･"},
      {"hiragana 0x74..0x76 are spaces", {0xF4, 0xF6}, "  "},
      {"katakana iteration marks", {0x1B, 0x6F, 0x77, 0x78, 0x79}, "ヽヾ-"},
      {"CSI and its parameters are skipped", {0x9B, '1', '2', 0x20, 0x53, 0x45, 0x6C}, "東"},
      {"colour control and its parameter", {0x90, 0x48, 0x45, 0x6C}, "東"},
      {"a kanji cut off at the end", {0x45, 0x6C, 0x35}, "東"},
      {"an escape cut off at the end", {0x45, 0x6C, 0x1B}, "東"},
      {"SS2 at the end", {0x19}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Arib(c.bytes), c.expect) << c.what;
}

TEST(AribString, StopsAtTheCharacterLimit) {
  std::vector<uint8_t> many(400, 0xA2);
  EXPECT_EQ(DecodeAribString(many.data(), many.size(), 80).size(), 80u);
  // a bracketed symbol is cut where the limit falls
  EXPECT_EQ(Arib({0x45, 0x6C, 0x7A, 0x74}, 3), "東<ほ");
}

TEST(EucJp, Cases) {
  EXPECT_EQ(Euc({0xBB, 0xFA, 0xCB, 0xEB}), u"字幕");
  EXPECT_EQ(Euc({0xA1, 0xC0}), u"\uFF3C");
  EXPECT_EQ(Euc({0x8E, 0xB1, 0x8E, 0xDF}), u"\uFF71\uFF9F");  // half-width katakana
  EXPECT_EQ(Euc({0x8F, 0xB0, 0xA1}), u"\u4E02");              // JIS X 0212
  // rows F5..FE: private use, 94 a row
  EXPECT_EQ(Euc({0xF5, 0xA1, 0xF5, 0xFE, 0xF6, 0xA1, 0xFC, 0xA1, 0xFE, 0xFE}),
            u"\uE000\uE05D\uE05E\uE292\uE3AB");
  // C1 controls and ASCII pass through unchanged
  EXPECT_EQ(Euc({0x0C, 0x87, 0x9D, 0x20, 0x41, 0xA0}), u"\x0C\u0087\u009D A\u00A0");
  EXPECT_EQ(Euc({0x8E, 0x41}), u"\u008EA");  // SS2 without a kana
  EXPECT_EQ(Euc({0xA9, 0xA1}), u"\u30FB");   // unassigned pair
  EXPECT_EQ(Euc({0xA1, 0x41}), u"\u30FBA");  // lead without a trail byte
  EXPECT_EQ(Euc({0xFF, 0x41}), u"\u30FBA");
  EXPECT_EQ(Euc({0x41, 0xBB}), u"A");  // lead cut off at the end
  EXPECT_EQ(Euc({0x41, 0x8F, 0xB0}), u"A");
  EXPECT_EQ(Euc({0xBB, 0xFA, 0xCB, 0xEB}, 1), u"字");
}

}  // namespace
