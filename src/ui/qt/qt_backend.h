#pragma once

#include <memory>
#include <string_view>

#include "ui/backend.h"

// The backend on Qt 6 Widgets: every template is a real modal QDialog whose controls sit at the
// template's dialog-unit rectangles mapped with the base units of the template's font (average
// character width of the alphabet and the font's height, as the platform's dialog manager
// computes them). Lists and combo boxes keep their entries in a ListModel that the widgets show;
// user actions reach the Dialog through the same Handle... calls, in the same order, as on the
// headless backend.
//
// Widgets are named for drivers: a dialog "dialog-<template id>", a control "control-<id>"
// (controls without an id are not named), the menu bar "menu", a menu item's action
// "menu-<id>". A handle is the dialog's native window id (WId). The QApplication is created
// on first use when the host has none, and kept for the life of the process.

namespace talmor {

class QtBackend : public Backend {
 public:
  QtBackend();
  ~QtBackend() override;

  const char* Name() const override { return "qt"; }
  std::unique_ptr<DialogPeer> CreateDialogPeer(Dialog& dialog, const DialogTemplate& t,
                                               WindowHandle owner) override;
  int ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                     unsigned style) override;
  Size DialogBaseUnits() const override;
  int TextWidth(std::string_view text) const override;
  Size ScreenSize() const override;
  // Qt routes its own events; the host's messages are never the library's.
  bool PreTranslateMessage(const MessageRecord&) override { return false; }

  // True when a Qt platform can start here without aborting the process: QT_QPA_PLATFORM names
  // an installed platform plugin, or an X or Wayland display answers.
  static bool DisplayAvailable();
  // Makes sure a QApplication exists; false when none can be made.
  static bool EnsureApplication();
  // The innermost dialog open on this backend, null when none.
  static Dialog* InnermostDialog();
  // Ends the innermost dialog with Cancel whatever the dialog says (a driver that has gone).
  static void ForceCancelInnermost();
};

// Base units (horizontal, vertical) of a font given by family and point size, as the dialog
// manager derives them.
Size QtFontBaseUnits(std::string_view family, int point_size);

}  // namespace talmor
