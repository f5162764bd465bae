#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "ui/backend.h"

// The backend on the platform's own dialog manager: every template becomes a real dialog window
// created from an in-memory dialog template (styles, font, control classes, ids and dialog-unit
// positions taken from the template data), run modally in a loop of its own with the owner
// disabled. Controls are the platform's EDIT, STATIC, BUTTON, LISTBOX and COMBOBOX windows;
// lists and combo boxes keep their entries in a ListModel that the native control shows. User
// actions reach the Dialog through the same Handle... calls as on the other backends. A handle
// is the dialog's HWND. Dialogs and message boxes are painted in the module's dialog colours.
//
// Built only for Windows; registered as the native backend there.

namespace talmor {

class Win32Backend : public Backend {
 public:
  Win32Backend();
  ~Win32Backend() override;

  const char* Name() const override { return "win32"; }
  std::unique_ptr<DialogPeer> CreateDialogPeer(Dialog& dialog, const DialogTemplate& t,
                                               WindowHandle owner) override;
  int ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                     unsigned style) override;
  // The system's dialog base units.
  Size DialogBaseUnits() const override;
  // Pixels of `text` in the dialogs' font.
  int TextWidth(std::string_view text) const override;
  Size ScreenSize() const override;
  // Keyboard and mouse messages for one of the library's open dialogs (or its controls) go
  // through the dialog manager's navigation; true when it consumed the message.
  bool PreTranslateMessage(const MessageRecord& message) override;

  // The innermost dialog running its modal loop on this backend, null when none.
  static Dialog* InnermostDialog();
};

// The in-memory dialog template (a DLGTEMPLATE followed by its DLGITEMTEMPLATEs, as 16-bit
// words) that the backend creates the window of `t` from.
std::vector<uint16_t> BuildDialogTemplate(const DialogTemplate& t);

}  // namespace talmor
