#include "service_info.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "arib_string.h"
#include "player/pipeline/section_assembler.h"

namespace aribtext {
namespace {

constexpr size_t kTitleChars = 511;
constexpr size_t kEventTextChars = 80;

size_t SectionLength(const uint8_t* p) { return 3 + ((size_t(p[1] & 0x0F) << 8) | p[2]); }

bool Bcd(uint8_t b, int limit, int& out) {
  const int hi = b >> 4, lo = b & 0x0F;
  if (hi > 9 || lo > 9) return false;
  out = hi * 10 + lo;
  return out <= limit;
}

// h:m:s in BCD; false when a digit or a field is out of range.
bool BcdTime(const uint8_t* p, int maxHour, int& seconds) {
  int h, m, s;
  if (!Bcd(p[0], maxHour, h) || !Bcd(p[1], 59, m) || !Bcd(p[2], 59, s)) return false;
  seconds = h * 3600 + m * 60 + s;
  return true;
}

void CopyText(char16_t (&dst)[512], const std::u16string& src) {
  const size_t n = std::min(src.size(), size_t(511));
  std::copy(src.begin(), src.begin() + n, dst);
  std::fill(dst + n, dst + 512, u'\0');
}

std::u16string TimeText(const char* fmt, int a, int b, int c, int d = 0, int e = 0, int f = 0) {
  char buf[64];
  // %c stands for the wave sign, which is put in afterwards
  std::snprintf(buf, sizeof buf, fmt, a, b, c, '~', d, e, f);
  std::u16string out;
  for (const char* p = buf; *p; ++p) out.push_back(*p == '~' ? u'\uFF5E' : char16_t(*p));
  return out;
}

}  // namespace

std::optional<std::u16string> ParseServiceName(const uint8_t* p, size_t n) {
  if (n < 3 || p[0] != 0x42) return std::nullopt;
  const size_t total = SectionLength(p);
  if (total > n || total < 11 + 4 || tevalo::pipeline::SectionCrc32(p, total) != 0) return std::nullopt;
  if (!(p[5] & 0x01)) return std::nullopt;  // a version not yet in force
  if (p[6] != 0) return std::nullopt;       // later sections list further services
  const size_t end = total - 4;
  const size_t svc = 11;  // first service of the loop
  if (svc + 5 > end) return std::nullopt;
  const size_t loopEnd = svc + 5 + ((size_t(p[svc + 3] & 0x0F) << 8) | p[svc + 4]);
  if (loopEnd > end) return std::nullopt;
  for (size_t d = svc + 5; d + 2 <= loopEnd;) {
    const size_t len = p[d + 1];
    const size_t body = d + 2;
    if (body + len > loopEnd) return std::nullopt;
    if (p[d] == 0x48) {
      // service_type, provider name, service name
      if (len < 3 || size_t(p[body + 1]) + 3 > len) return std::nullopt;
      const size_t nameLenAt = body + 2 + p[body + 1];
      const size_t nameAt = nameLenAt + 1;
      const size_t nameLen = std::min(size_t(p[nameLenAt]), body + len - nameAt);
      return DecodeAribString(p + nameAt, nameLen, kTitleChars);
    }
    d = body + len;
  }
  return std::nullopt;
}

EventInfo::EventInfo() : table_(std::make_unique<EventTable>()) { Reset(); }

void EventInfo::Reset() {
  std::memset(table_.get(), 0, sizeof(EventTable));
  for (auto& s : slots_) s.clear();
}

size_t EventInfo::ParseSection(const uint8_t* p, size_t n) {
  if (n < 3 || p[0] != 0x4E) return 0;
  const size_t total = SectionLength(p);
  if (total > n || total < 14 + 4) return 0;
  if (!(p[5] & 0x01)) return total;  // a version not yet in force
  const int section = p[6];
  const size_t end = total - 4;  // the CRC
  // Each section is the whole word on its own events: what an earlier version of it held goes.
  if (section <= 2) {
    const size_t first = size_t(section) + 1, last = section == 2 ? kEventTableSize - 1 : first;
    for (size_t k = first; k <= last; ++k) std::memset(&(*table_)[k], 0, sizeof(EventEntry));
    for (size_t k = first - 1; k <= std::min(last - 1, slots_.size() - 1); ++k) slots_[k].clear();
  }
  int number = 0;
  for (size_t e = 14; e + 12 <= end;) {
    ++number;
    int start = 0;
    const bool startKnown = BcdTime(p + e + 4, 23, start) && !(p[e + 2] == 0xFF && p[e + 3] == 0xFF);
    int duration = 0;
    const bool openEnd = !BcdTime(p + e + 7, 99, duration);  // FF FF FF, or not a time
    const size_t loopLen = (size_t(p[e + 10] & 0x0F) << 8) | p[e + 11];
    const size_t dStart = e + 12;
    const size_t dEnd = dStart + loopLen;
    if (dEnd > end) return 0;
    e = dEnd;

    std::u16string name, text;
    for (size_t d = dStart; d + 2 <= dEnd;) {
      const size_t len = p[d + 1];
      const size_t body = d + 2;
      if (body + len > dEnd) break;
      if (p[d] == 0x4D && len >= 4) {  // short event descriptor
        const size_t nameLen = std::min(size_t(p[body + 3]), len - 4);
        name = DecodeAribString(p + body + 4, nameLen, kTitleChars);
        const size_t textLenAt = body + 4 + nameLen;
        if (textLenAt < body + len) {
          const size_t textLen = std::min(size_t(p[textLenAt]), body + len - textLenAt - 1);
          text = DecodeAribString(p + textLenAt + 1, textLen, kEventTextChars);
        }
        break;
      }
      d = body + len;
    }
    if (section > 2) continue;

    const int sh = start / 3600, sm = start / 60 % 60, ss = start % 60;
    const int endSec = openEnd ? 0 : (start + duration) % 86400;
    const int eh = endSec / 3600, em = endSec / 60 % 60, es = endSec % 60;
    const size_t entry = size_t(number + section);
    if (entry < kEventTableSize) {
      EventEntry& ev = (*table_)[entry];
      CopyText(ev.title, name);
      CopyText(ev.text, text);
      // an unknown start is stored as all zero, which the programme list passes over
      ev.startHour = startKnown ? sh : 0;
      ev.startMinute = startKnown ? sm : 0;
      ev.startSecond = startKnown ? ss : 0;
      ev.endHour = startKnown ? eh : 0;
      ev.endMinute = startKnown ? em : 0;
      ev.endSecond = startKnown ? es : 0;
    }
    const size_t slot = entry - 1;
    if (slot < slots_.size()) {
      std::u16string summary = name;
      if (startKnown && !openEnd)
        summary += TimeText(" (%02d:%02d:%02d %c %02d:%02d:%02d)    ", sh, sm, ss, eh, em, es);
      else if (startKnown && section == 0)
        summary += TimeText(" (%02d:%02d:%02d %c )    ", sh, sm, ss);
      summary += text;
      slots_[slot] = std::move(summary);
    }
  }
  return total;
}

std::u16string EventInfo::SummaryLine() const {
  std::u16string line;
  if (!slots_[0].empty()) line = u"   <現在の番組> * " + slots_[0];
  if (!slots_[1].empty()) line += u"           <次の番組> * " + slots_[1];
  for (size_t k = 2; k < 4; ++k)
    if (!slots_[k].empty()) line += u"   * " + slots_[k];
  return line;
}

}  // namespace aribtext
