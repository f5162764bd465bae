#pragma once

#include <cstdint>

namespace talmor {

// The account and audit policy options, stored in "\OPTIONS.REC" under keys of the same names.
// Each starts at the value the security manager sets before loading; a key the file does not
// supply leaves it there. The account and audit policy dialogs edit one part each.

// The account policy: what the account policy dialog edits.
struct AccountPolicyValues {
  std::int32_t PasswordMinChars = 6;  // minimum password length, unbounded
  std::int32_t SecurityDisable = 0;   // 0 or 1: every log-on succeeds as the administrator
  std::int32_t IndividualINI = 1;     // 0 or 1: the host keeps individual settings per user
  std::int32_t BlankPasswordOK = 1;   // 0 or 1: blank passwords permitted

  bool operator==(const AccountPolicyValues&) const = default;
};

// The audit options: what the audit policy dialog edits.
struct AuditPolicyValues {
  std::int32_t AuditEnable = 1;        // 0 or 1: master switch of the audit trail
  std::int32_t AuditLogon = 1;         // 0 or 1: log-on, failed log-on and log-off events
  std::int32_t AuditPolicy = 1;        // 0 or 1: policy changes
  std::int32_t AuditObject = 1;        // 0 or 1: object access, viewed and modified events
  std::int32_t AuditOther = 1;         // 0 or 1: other categories and the host's notes
  std::int32_t AuditMaxEvents = 1000;  // capacity of the audit log in events
  std::int32_t AuditOverwrite = 1;     // not negative; non-zero overwrites the oldest events

  bool operator==(const AuditPolicyValues&) const = default;
};

struct SecurityOptions : AccountPolicyValues, AuditPolicyValues {
  bool operator==(const SecurityOptions&) const = default;
};

}  // namespace talmor
