#pragma once
// The layer colours as they persist: 0x00BBGGRR, -1 meaning "not set" (an
// invalid QColor, which leaves the view's own colour).

#include <QColor>

#include <cstdint>

namespace qv {

inline QColor ColourFromSetting(std::int32_t v) {
  if (v < 0) return {};
  return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

inline std::int32_t SettingFromColour(const QColor& c) {
  if (!c.isValid()) return -1;
  return c.red() | c.green() << 8 | c.blue() << 16;
}

}  // namespace qv
