#pragma once

#include <cstdint>

#include "database/security_records.h"
#include "storage/security_options.h"
#include "ui/window.h"

namespace talmor {

class SecurityManager;

// The administration dialogs that the manager opens. They are built above the manager (they are
// given the manager to work on), so the manager reaches them through this interface; the library
// installs the real ones (StandardManagerDialogs of dialogs/), tests may install their own.
// Each runs its dialog modally, owned by `owner` (null: a top-level dialog), and answers true
// when the dialog ended with OK.
class ManagerDialogs {
 public:
  virtual ~ManagerDialogs() = default;

  // The log-on dialog: pre-filled with the remembered name; its OK calls manager.LogInUser and,
  // on success, remembers and publishes the typed name. True when a user was logged on.
  virtual bool RunLogon(SecurityManager& manager, Window* owner) = 0;
  // The user properties dialog on `user` (empty for a new user); on OK `user` holds the result.
  virtual bool RunUserProperties(SecurityManager& manager, Window* owner, UserRecord& user) = 0;
  // The group properties dialog on `group` (empty name for a new group); on OK it holds the result.
  virtual bool RunGroupProperties(SecurityManager& manager, Window* owner, GroupRecord& group) = 0;
  // The group rights policy dialog; it writes each assignment into the database itself.
  virtual bool RunGroupRightsPolicy(SecurityManager& manager, Window* owner) = 0;
  // The account policy dialog on `values`; on OK they hold the result.
  virtual bool RunAccountPolicy(SecurityManager& manager, Window* owner,
                                AccountPolicyValues& values) = 0;
};

// The audit trail's dialogs that the manager opens (the audit policy dialog and the audit log
// viewer, which live with the audit log); the same arrangement as ManagerDialogs.
class AuditDialogs {
 public:
  virtual ~AuditDialogs() = default;

  // The audit policy dialog on `values`; on OK (true) they hold the result.
  virtual bool RunAuditPolicy(SecurityManager& manager, Window* owner,
                              AuditPolicyValues& values) = 0;
  // The audit log viewer, modal; returns when it is closed.
  virtual void RunAuditLogViewer(SecurityManager& manager, Window* owner) = 0;
};

// Dialogs that are never shown: every one answers as if cancelled. The manager's default until
// the library installs the real ones.
class NoManagerDialogs : public ManagerDialogs {
 public:
  bool RunLogon(SecurityManager&, Window*) override { return false; }
  bool RunUserProperties(SecurityManager&, Window*, UserRecord&) override { return false; }
  bool RunGroupProperties(SecurityManager&, Window*, GroupRecord&) override { return false; }
  bool RunGroupRightsPolicy(SecurityManager&, Window*) override { return false; }
  bool RunAccountPolicy(SecurityManager&, Window*, AccountPolicyValues&) override { return false; }
};

class NoAuditDialogs : public AuditDialogs {
 public:
  bool RunAuditPolicy(SecurityManager&, Window*, AuditPolicyValues&) override { return false; }
  void RunAuditLogViewer(SecurityManager&, Window*) override {}
};

}  // namespace talmor
