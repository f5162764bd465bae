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

}  // namespace talmor
