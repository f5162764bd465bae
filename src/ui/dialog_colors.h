#pragma once

#include <cstdint>

namespace talmor {

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

struct DialogColorScheme {
  Rgb background{192, 192, 192};
  Rgb text{0, 0, 0};
  bool operator==(const DialogColorScheme&) const = default;
};

// The background and text colours of every dialog and message box of the module, as backends
// paint them. Light grey with black text until changed.
void SetDialogBkColor(Rgb background, Rgb text);
DialogColorScheme DialogColors();

// The contrast ratio of two colours, 1 to 21 (WCAG 2.1: relative luminances, L1 + 0.05 over
// L2 + 0.05 with L1 the lighter).
double ContrastRatio(Rgb a, Rgb b);
// Disabled text: `text` mixed as far toward `background` as keeps a contrast of 6:1 against it
// (drawn, at least 4.5:1), greyed yet legible; `text` itself when that already falls short.
Rgb DisabledTextColor(Rgb background, Rgb text);

}  // namespace talmor
