#pragma once

#include <string_view>

#include "resources/resource_ids.h"
#include "ui/window.h"

// Message boxes: buttons and icon combined in one style value, answered with a button id.

namespace talmor {

inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr unsigned kMbYesNoCancel = 0x3;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbButtonMask = 0xF;
inline constexpr unsigned kMbIconNone = 0x0;
inline constexpr unsigned kMbIconStop = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbIconMask = 0xF0;

// Answers (kIdOk = 1 and kIdCancel = 2 are in resources/resource_ids.h).
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// The buttons of `style`: kMbOkCancel, kMbYesNo, kMbYesNoCancel, and kMbOk for anything else.
unsigned MessageBoxButtons(unsigned style);
// The answer of a box with these buttons that is closed without a choice (or cannot be shown):
// Cancel where it has one, else No, else OK.
inline int DismissAnswer(unsigned buttons) {
  return buttons == kMbOk ? kIdOk : buttons == kMbYesNo ? kIdNo : kIdCancel;
}

// Shows a modal message box owned by `owner` (null: no owner) with the active backend. An empty
// caption stands for the module's application name. Returns the button chosen.
int MessageBox(Window* owner, std::string_view text, std::string_view caption, unsigned style);

}  // namespace talmor
