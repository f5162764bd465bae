#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/security_database.h"
#include "manager/protection_settings.h"
#include "storage/account_states.h"

namespace talmor {

class SecurityManager;

// Reads the settings; the keys whose values were clamped are added to `clamped`.
ProtectionSettings ReadProtectionSettings(std::vector<std::string>* clamped = nullptr);

// With LockoutMinutes 0 the built-in account still unlocks after this long, so that a site can
// never lock itself out.
inline constexpr int kBuiltInLockMinutes = 15;
// PBKDF2-HMAC-SHA-256 rounds for the password history: slow enough to make guessing from a
// copied state file costly, fast enough that checking a new password against the longest history
// (24) takes about a second.
inline constexpr unsigned kPasswordHashIterations = 100000;
inline constexpr std::size_t kPasswordSaltSize = 16;

// A salted hash of `password` with a fresh random salt.
PasswordHash HashPassword(std::string_view password);
// Whether `password` gives `hash` (compared in constant time).
bool MatchesHash(std::string_view password, const PasswordHash& hash);

inline constexpr std::string_view kLockedRefusal =
    "This account is locked. Try again later or ask your administrator.";
inline constexpr std::string_view kExpiredRefusal =
    "Your password has expired and must be changed.";
inline constexpr std::string_view kStateRefusal =
    "The account could not be checked. Try again later or ask your administrator.";

// Lockout, password aging and history of the local accounts, on behalf of one manager. The
// state lives in "\ACCOUNTS.REC" (storage/account_states.h), read and written at each use, so
// that every process of the host sees the same counts and locks.
class AccountProtection {
 public:
  explicit AccountProtection(SecurityManager& manager) : manager_(manager) {}

  // Reads the settings again and forgets an earlier attempt's expired password (each log-on
  // calls it first). The first time in this process that a value is clamped, the audit log says
  // so ("Policy Change").
  void Refresh();
  const ProtectionSettings& settings() const { return settings_; }

  // LogInUser's check of an existing, enabled local account; `matches` tells whether the
  // password was right. A locked account is refused whatever the password; a wrong password
  // counts and, at the threshold, locks the account ("Account locked." under its name); a right
  // one clears the count, and is refused when it has expired (password_expired() then true). A
  // password whose change time is unknown starts aging now. False refuses; `refusal` is then the
  // text to show, empty for the usual failure.
  bool AdmitLogOn(std::string_view account, bool matches, std::string& refusal);
  bool password_expired() const { return password_expired_; }

  // Whether `password` is among the account's remembered previous passwords.
  bool IsInHistory(std::string_view account, std::string_view password) const;

  // After a save under the database lock, with what the files held before it and what it wrote:
  // each account of `after` whose password differs from `before` (or that is new) is dated now,
  // and its previous password goes to the front of its history, which keeps the newest
  // PasswordHistory entries. Raises FileException.
  void NoteSavedPasswords(const SecurityDatabase& before, const SecurityDatabase& after);

  bool IsLocked(std::string_view account) const;
  // Clears the account's lock and count, and records "Account unlocked." under its name. False
  // when the state could not be updated.
  bool Unlock(std::string_view account);

 private:
  SecurityManager& manager_;
  ProtectionSettings settings_;
  bool clamp_said_ = false;
  bool password_expired_ = false;
};

}  // namespace talmor
