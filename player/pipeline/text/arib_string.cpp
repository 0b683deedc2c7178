#include "arib_string.h"

#include "jis_table.h"

namespace aribtext {
namespace {

enum class Set { Kanji, Alnum, Hiragana, Katakana, HalfKatakana, Unsupported1, Unsupported2 };

bool TwoByte(Set s) { return s == Set::Kanji || s == Set::Unsupported2; }

// Final byte of a 1-byte G set designation.
Set OneByteSet(uint8_t f) {
  switch (f) {
    case 0x4A:
    case 0x36:
      return Set::Alnum;  // alphanumeric, proportional alphanumeric
    case 0x30:
    case 0x37:
      return Set::Hiragana;
    case 0x31:
    case 0x38:
      return Set::Katakana;
    case 0x49:
      return Set::HalfKatakana;  // JIS X 0201 katakana
    case 0x42:
      return Set::Kanji;  // some encoders designate Kanji by its 1-byte form
    default:
      return Set::Unsupported1;  // mosaic and DRCS sets
  }
}

Set TwoByteSet(uint8_t f) {
  switch (f) {
    case 0x42:
    case 0x39:
    case 0x3A:
    case 0x3B:
      return Set::Kanji;  // Kanji, JIS planes 1 and 2, symbols
    default:
      return Set::Unsupported2;
  }
}

class Decoder {
 public:
  Decoder(const uint8_t* d, size_t n, size_t maxChars) : d_(d), n_(n), max_(maxChars) {}

  std::u16string Run() {
    while (i_ < n_ && out_.size() < max_) Step();
    return std::move(out_);
  }

 private:
  void Put(char16_t c) {
    if (out_.size() < max_) out_.push_back(c);
  }
  void Put(const char16_t* s) {
    while (*s) Put(*s++);
  }

  void Kanji(uint8_t hi, uint8_t lo) {
    const uint16_t code = static_cast<uint16_t>(((hi & 0x7F) << 8) | (lo & 0x7F));
    if (code == 0x7A74) return Put(u"<ほか>");
    const char16_t* multi = nullptr;
    switch (code) {  // marks of more than one letter
      case 0x7A50:
        multi = u"HV";
        break;
      case 0x7A51:
        multi = u"SD";
        break;
      case 0x7A54:
        multi = u"MV";
        break;
      case 0x7A5D:
        multi = u"SS";
        break;
      case 0x7A72:
        multi = u"PPV";
        break;
    }
    const char16_t c = JisX0208ToUnicode(code);
    const char16_t one[2] = {c ? c : u' ', 0};
    const char16_t* text = multi ? multi : one;
    if (code >= 0x7A52 && code <= 0x7A73) {
      Put(u'<'), Put(text), Put(u'>');
    } else if (code >= 0x7E41 && code <= 0x7E5A) {
      Put(u'('), Put(text), Put(u')');
    } else {
      Put(text);
    }
  }

  // t is 0x21..0x7E.
  void Kana(uint8_t t, bool katakana) {
    static const char16_t kTail[8] = {u'\u309D', u'\u309E', u'-',      u'\uFF61',
                                      u'\uFF62', u'\uFF63', u'\uFF64', u'\uFF65'};
    if (t >= 0x77) {
      if (katakana && t <= 0x78) return Put(static_cast<char16_t>(0x30FD + (t - 0x77)));
      return Put(kTail[t - 0x77]);
    }
    if (!katakana && t >= 0x74) return Put(u' ');
    Put(static_cast<char16_t>(t + (katakana ? 0x3080 : 0x3020)));
  }

  // One character of set s whose first byte (with bit 7 cleared) is at i_.
  void Char(Set s) {
    const uint8_t t = d_[i_] & 0x7F;
    if (TwoByte(s)) {
      if (i_ + 1 >= n_) {
        i_ = n_;
        return;
      }
      const uint8_t lo = d_[i_ + 1] & 0x7F;
      i_ += 2;
      if (s == Set::Kanji && lo >= 0x21 && lo <= 0x7E) Kanji(t, lo);
      return;
    }
    ++i_;
    switch (s) {
      case Set::Alnum:
        Put(static_cast<char16_t>(t));
        break;
      case Set::Hiragana:
        Kana(t, false);
        break;
      case Set::Katakana:
        Kana(t, true);
        break;
      case Set::HalfKatakana:
        if (t <= 0x5F) Put(static_cast<char16_t>(0xFF40 + t));
        break;
      default:
        break;
    }
  }

  // Skips k parameter bytes after the control at i_.
  void Skip(size_t k) { i_ = (n_ - i_ > k) ? i_ + 1 + k : n_; }

  void Escape() {
    // ESC at i_
    if (i_ + 1 >= n_) {
      i_ = n_;
      return;
    }
    const uint8_t a = d_[i_ + 1];
    switch (a) {
      case 0x6E:
        gl_ = 2;
        i_ += 2;
        return;  // LS2
      case 0x6F:
        gl_ = 3;
        i_ += 2;
        return;   // LS3
      case 0x7E:  // LS1R
        gr_ = 1;
        i_ += 2;
        if (i_ < n_ && d_[i_] == 0xB1 && g_[1] == Set::Alnum) ++i_;  // a '1' right after LS1R is not shown
        return;
      case 0x7D:
        gr_ = 2;
        i_ += 2;
        return;  // LS2R
      case 0x7C:
        gr_ = 3;
        i_ += 2;
        return;  // LS3R
      default:
        break;
    }
    // Designations: ESC I F, ESC I 0x20 F (DRCS), ESC 0x24 F, ESC 0x24 I F, ESC 0x24 I 0x20 F.
    size_t j = i_ + 1;
    bool twoByte = false;
    if (d_[j] == 0x24) {
      twoByte = true;
      ++j;
    }
    int g = 0;
    if (j < n_ && d_[j] >= 0x28 && d_[j] <= 0x2B) {
      g = d_[j] - 0x28;
      ++j;
    } else if (!twoByte) {
      i_ += 2;
      return;
    }  // unknown escape: drop ESC and its byte
    bool drcs = false;
    if (j < n_ && d_[j] == 0x20) {
      drcs = true;
      ++j;
    }
    if (j >= n_) {
      i_ = n_;
      return;
    }
    const uint8_t f = d_[j];
    i_ = j + 1;
    if (drcs)
      g_[g] = twoByte ? Set::Unsupported2 : Set::Unsupported1;
    else
      g_[g] = twoByte ? TwoByteSet(f) : OneByteSet(f);
  }

  void Step() {
    const uint8_t b = d_[i_];
    switch (b) {
      case 0x0F:
        gl_ = 0;
        ++i_;
        return;   // LS0
      case 0x0E:  // LS1
        gl_ = 1;
        ++i_;
        if (i_ < n_ && d_[i_] == 0x31 && g_[1] == Set::Alnum) ++i_;  // a '1' right after LS1 is not shown
        return;
      case 0x1B:
        Escape();
        return;
      case 0x19:
      case 0x1D: {  // SS2, SS3
        const Set s = g_[b == 0x19 ? 2 : 3];
        ++i_;
        if (i_ < n_ && (d_[i_] & 0x7F) >= 0x21 && (d_[i_] & 0x7F) <= 0x7E) Char(s);
        return;
      }
      case 0x20:
        Put(u' ');
        ++i_;
        return;  // space
      case 0x16:
      case 0x8B:
      case 0x91:
      case 0x93:
      case 0x94:
      case 0x97:
      case 0x98:
        Skip(1);
        return;  // controls with one parameter
      case 0x1C:
      case 0x9D:
        Skip(2);
        return;  // controls with two parameters
      case 0x90:
        Skip(i_ + 1 < n_ && d_[i_ + 1] == 0x20 ? 2 : 1);
        return;   // COL
      case 0x9B:  // CSI: up to its final byte
        ++i_;
        while (i_ < n_ && !(d_[i_] >= 0x40 && d_[i_] <= 0x7E)) ++i_;
        if (i_ < n_) ++i_;
        return;
      default:
        break;
    }
    if (b >= 0x21 && b <= 0x7E) return Char(g_[gl_]);
    if (b >= 0xA1 && b <= 0xFE) return Char(g_[gr_]);
    ++i_;  // other controls
  }

  const uint8_t* d_;
  size_t n_;
  size_t max_;
  size_t i_ = 0;
  Set g_[4] = {Set::Kanji, Set::Alnum, Set::Hiragana, Set::Katakana};
  int gl_ = 0;
  int gr_ = 2;
  std::u16string out_;
};

}  // namespace

std::u16string DecodeAribString(const uint8_t* data, size_t size, size_t maxChars) {
  return Decoder(data, size, maxChars).Run();
}

}  // namespace aribtext
