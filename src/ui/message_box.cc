#include "ui/message_box.h"

#include "ui/backend.h"

namespace talmor {

int MessageBox(Window* owner, std::string_view text, std::string_view caption, unsigned style) {
  std::string title(caption);
  if (title.empty()) title = CurrentModuleState().app_name();
  return ActiveBackend().ShowMessageBox(Window::SafeHandle(owner), text, title, style);
}

}  // namespace talmor
