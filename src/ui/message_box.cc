#include "ui/message_box.h"

#include "ui/backend.h"

namespace talmor {

unsigned MessageBoxButtons(unsigned style) {
  const unsigned buttons = style & kMbButtonMask;
  return buttons == kMbOkCancel || buttons == kMbYesNo || buttons == kMbYesNoCancel ? buttons
                                                                                     : kMbOk;
}

int MessageBox(Window* owner, std::string_view text, std::string_view caption, unsigned style) {
  std::string title(caption);
  if (title.empty()) title = CurrentModuleState().app_name();
  return ActiveBackend().ShowMessageBox(Window::SafeHandle(owner), text, title, style);
}

}  // namespace talmor
