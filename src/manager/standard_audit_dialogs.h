#pragma once

#include "manager/manager_dialogs.h"

namespace talmor {

// The real audit dialogs behind the manager's seam.
class StandardAuditDialogs : public AuditDialogs {
 public:
  bool RunAuditPolicy(SecurityManager& manager, Window* owner,
                      AuditPolicyValues& values) override;
  void RunAuditLogViewer(SecurityManager& manager, Window* owner) override;
};

}  // namespace talmor
