#include "jis_table.h"

#include <algorithm>
#include <iterator>

namespace aribtext {
namespace {

struct JisPair {
  uint16_t code;
  char16_t ch;
};

#include "jis_table_data.inc"

template <size_t N>
char16_t Find(const JisPair (&table)[N], uint16_t code) {
  auto it = std::lower_bound(std::begin(table), std::end(table), code,
                             [](const JisPair& p, uint16_t c) { return p.code < c; });
  return (it != std::end(table) && it->code == code) ? it->ch : u'\0';
}

}  // namespace

char16_t JisX0208ToUnicode(uint16_t code) { return Find(kJisX0208, code); }
char16_t JisX0212ToUnicode(uint16_t code) { return Find(kJisX0212, code); }

}  // namespace aribtext
