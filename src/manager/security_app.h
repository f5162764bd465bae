#pragma once

#include <memory>
#include <string>

#include "manager/security_manager.h"
#include "ui/backend.h"
#include "ui/window.h"

namespace talmor {

// The module's application object: one per loaded library. InitInstance builds and starts the
// security manager; ExitInstance deletes it without saving. In between manager() is never null.
class SecurityApp {
 public:
  // The dialogs (not owned, may be null) are handed to the manager at InitInstance.
  explicit SecurityApp(ManagerDialogs* dialogs = nullptr, AuditDialogs* audit_dialogs = nullptr,
                       std::string app_name = "talmor.dll");
  virtual ~SecurityApp();
  SecurityApp(const SecurityApp&) = delete;
  SecurityApp& operator=(const SecurityApp&) = delete;

  // Sets the dialogs' colours, creates the manager and runs its start-up. Always true.
  virtual bool InitInstance();
  // Deletes the manager (nothing is saved); returns the framework's exit code, 0.
  virtual int ExitInstance();

  // The framework's message pre-translation: the library's own windows get the first look at a
  // message of the host's loop; true when one of them consumed it.
  virtual bool PreTranslateMessage(const MessageRecord& message);
  // The framework's idle work for pass `count` (0, 1, ...); false when no more passes are needed.
  virtual bool OnIdle(int count);

  SecurityManager* manager() const { return manager_.get(); }
  // The module state every export of the library switches to.
  ModuleState& module_state() { return module_state_; }

 private:
  ModuleState module_state_;
  ManagerDialogs* dialogs_;
  AuditDialogs* audit_dialogs_;
  std::unique_ptr<SecurityManager> manager_;
};

}  // namespace talmor
