#pragma once

#include <cstdint>

namespace talmor {

// A rectangle in pixels: left, top, right, bottom (right and bottom exclusive).
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

struct Size {
  int cx = 0;
  int cy = 0;
  bool operator==(const Size&) const = default;
};

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

// Where a top-level window is, in the terms the platform stores it: flags (2 = restore to
// maximised), show state (1 normal, 2 minimised, 3 maximised), minimised and maximised positions
// and the rectangle of the normal (restored) window.
struct WindowPlacement {
  uint32_t flags = 0;
  uint32_t show_cmd = 1;
  Point min_position;
  Point max_position;
  Rect normal_position;
  bool operator==(const WindowPlacement&) const = default;
};
inline constexpr uint32_t kShowNormal = 1;
inline constexpr uint32_t kShowMinimized = 2;
inline constexpr uint32_t kShowMaximized = 3;
inline constexpr uint32_t kPlacementRestoreToMaximized = 2;

// A list box's vertical scroll state: position (top index) within [min, max]; page = rows shown.
struct ScrollInfo {
  int pos = 0;
  int min = 0;
  int max = 0;
  int page = 0;
};

// What a control tells its dialog (OnCommand's second argument).
enum class Notify {
  kClicked,      // a button was clicked (also Enter on the default button, Escape for Cancel)
  kChange,       // an edit's text was changed by the user
  kSelChange,    // a list or combo box selection was changed by the user
  kDoubleClick,  // a list box entry was double-clicked
  kSetFocus,     // a control received the keyboard focus
  kKillFocus,    // a control lost the keyboard focus
  kMenu,         // a menu item was chosen (the id is the item's)
};

enum class Key { kDown, kPageDown, kEnd, kUp, kPageUp, kHome, kLeft, kRight, kEnter, kSpace };
// Modifier keys held with a key, as bits.
inline constexpr unsigned kKeyShift = 1;
inline constexpr unsigned kKeyCtrl = 2;

enum class ScrollCode { kLineUp, kLineDown, kPageUp, kPageDown, kTop, kBottom, kEndScroll };

}  // namespace talmor
