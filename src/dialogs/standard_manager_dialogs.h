#pragma once

#include "manager/manager_dialogs.h"

namespace talmor {

// The real administration dialogs behind the manager's seam: each call builds the dialog, fills
// it from the arguments, shows it modally and hands its result back.
class StandardManagerDialogs : public ManagerDialogs {
 public:
  bool RunLogon(SecurityManager& manager, Window* owner) override;
  bool RunUserProperties(SecurityManager& manager, Window* owner, UserRecord& user) override;
  bool RunGroupProperties(SecurityManager& manager, Window* owner, GroupRecord& group) override;
  bool RunGroupRightsPolicy(SecurityManager& manager, Window* owner) override;
  bool RunAccountPolicy(SecurityManager& manager, Window* owner,
                        AccountPolicyValues& values) override;
};

}  // namespace talmor
