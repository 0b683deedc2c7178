#include "controls/colorref.h"

QColor ColorFromColorRef(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

COLORREF ColorRefFromColor(const QColor& c) {
  return RGB(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}
