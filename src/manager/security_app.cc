#include "manager/security_app.h"

#include "ui/dialog_colors.h"

namespace talmor {

SecurityApp::SecurityApp(ManagerDialogs* dialogs, AuditDialogs* audit_dialogs,
                         std::string app_name)
    : module_state_(std::move(app_name)), dialogs_(dialogs), audit_dialogs_(audit_dialogs) {}

SecurityApp::~SecurityApp() = default;

bool SecurityApp::InitInstance() {
  ModuleStateGuard guard(module_state_);
  SetDialogBkColor(Rgb{192, 192, 192}, Rgb{0, 0, 0});
  auto manager = std::make_unique<SecurityManager>();
  manager->SetDialogs(dialogs_);
  manager->SetAuditDialogs(audit_dialogs_);
  manager->StartUp();
  manager_ = std::move(manager);
  return true;
}

int SecurityApp::ExitInstance() {
  ModuleStateGuard guard(module_state_);
  manager_.reset();
  return 0;
}

bool SecurityApp::PreTranslateMessage(const MessageRecord& message) {
  return ActiveBackend().PreTranslateMessage(message);
}

bool SecurityApp::OnIdle(int count) {
  if (count == 0 && manager_ != nullptr) manager_->LogOffWhenIdle();
  return module_state_.OnIdle(count);
}

}  // namespace talmor
