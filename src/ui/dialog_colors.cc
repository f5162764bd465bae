#include "ui/dialog_colors.h"

#include <algorithm>
#include <cmath>

namespace talmor {
namespace {
DialogColorScheme g_colors;
}  // namespace

void SetDialogBkColor(Rgb background, Rgb text) { g_colors = DialogColorScheme{background, text}; }

DialogColorScheme DialogColors() { return g_colors; }

namespace {
double Luminance(Rgb c) {
  auto channel = [](std::uint8_t v) {
    const double s = v / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.red) + 0.7152 * channel(c.green) + 0.0722 * channel(c.blue);
}
}  // namespace

double ContrastRatio(Rgb a, Rgb b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb DisabledTextColor(Rgb background, Rgb text) {
  auto mix = [](std::uint8_t from, std::uint8_t to, int step) {
    return static_cast<std::uint8_t>(from + (to - from) * step / 64);
  };
  // Half way at most: beyond that it would read as background, whatever the ratio. Aimed at 6:1,
  // as the thin strokes of small text are drawn lighter than their colour.
  for (int step = 32; step > 0; --step) {
    const Rgb c{mix(text.red, background.red, step), mix(text.green, background.green, step),
                mix(text.blue, background.blue, step)};
    if (ContrastRatio(c, background) >= 6) return c;
  }
  return text;
}

}  // namespace talmor
