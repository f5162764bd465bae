#include "exports/module.h"

#include "dialogs/standard_manager_dialogs.h"
#include "manager/standard_audit_dialogs.h"

namespace talmor {
namespace {

// Built and started in this order when the library is loaded, stopped and destroyed in the
// reverse order when it is unloaded.
StandardManagerDialogs g_dialogs;
StandardAuditDialogs g_audit_dialogs;
SecurityApp g_app(&g_dialogs, &g_audit_dialogs, "talmor.dll");

struct ModuleEntry {
  ModuleEntry() {
    // Loading always succeeds; a manager that could not be built leaves every export at 0.
    try {
      g_app.InitInstance();
    } catch (...) {
    }
  }
  ~ModuleEntry() {
    try {
      g_app.ExitInstance();
    } catch (...) {
    }
  }
};
ModuleEntry g_entry;

}  // namespace

SecurityApp& TheApp() { return g_app; }

}  // namespace talmor
