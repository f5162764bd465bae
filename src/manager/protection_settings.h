#pragma once

#include <string_view>

namespace talmor {

// Section "AccountProtection" of "qvtalmor.ini". Every value 0 (or missing) means off; with all
// five off nothing here reads or writes a file.
struct ProtectionSettings {
  int lockout_threshold = 0;  // failed log-ons before an account locks
  int lockout_minutes = 0;    // 0: until an administrator unlocks
  int max_age_days = 0;       // password expiry
  int history = 0;            // previous passwords that may not be reused
  int idle_minutes = 0;       // idle log-off

  // Whether "\ACCOUNTS.REC" is used at all.
  bool KeepsState() const { return lockout_threshold > 0 || max_age_days > 0 || history > 0; }
  // Whether password changes are dated and remembered.
  bool TracksPasswords() const { return max_age_days > 0 || history > 0; }
};

// The keys, their ranges and where each value lives. A value outside its range (or not a number)
// is clamped into it.
struct ProtectionKey {
  const char* key;
  int ProtectionSettings::*field;
  int max;
};
inline constexpr ProtectionKey kProtectionKeys[] = {
    {"LockoutThreshold", &ProtectionSettings::lockout_threshold, 999},
    {"LockoutMinutes", &ProtectionSettings::lockout_minutes, 99999},
    {"PasswordMaxAgeDays", &ProtectionSettings::max_age_days, 3650},
    {"PasswordHistory", &ProtectionSettings::history, 24},
    {"IdleLogoffMinutes", &ProtectionSettings::idle_minutes, 1440},
};
inline constexpr std::string_view kProtectionSection = "AccountProtection";

}  // namespace talmor
