#include "manager/account_protection.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <utility>

#include "manager/security_manager.h"
#include "platform/crypto.h"
#include "platform/file_exception.h"
#include "platform/local_time.h"
#include "platform/names.h"
#include "platform/profile_file.h"

namespace talmor {
namespace {

constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;

std::int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(CurrentTime().time_since_epoch()).count();
}

}  // namespace

ProtectionSettings ReadProtectionSettings(std::vector<std::string>* clamped) {
  ProtectionSettings settings;
  const ProfileSnapshot profile("qvtalmor.ini");
  for (const ProtectionKey& key : kProtectionKeys) {
    const std::string text = profile.Get(kProtectionSection, key.key, "", 32);
    if (text.empty()) continue;
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    const bool number = ec == std::errc() && end == text.data() + text.size();
    const long long kept = number ? std::clamp<long long>(value, 0, key.max) : 0;
    if ((!number || kept != value) && clamped != nullptr) clamped->push_back(key.key);
    settings.*key.field = static_cast<int>(kept);
  }
  return settings;
}

PasswordHash HashPassword(std::string_view password) {
  PasswordHash hash;
  hash.iterations = kPasswordHashIterations;
  hash.salt.resize(kPasswordSaltSize);
  RandomBytes(hash.salt.data(), hash.salt.size());
  const Digest digest = Pbkdf2Sha256(password, hash.salt, hash.iterations);
  hash.hash.assign(reinterpret_cast<const char*>(digest.data()), digest.size());
  return hash;
}

bool MatchesHash(std::string_view password, const PasswordHash& hash) {
  const Digest digest = Pbkdf2Sha256(password, hash.salt, hash.iterations);
  if (hash.hash.size() != digest.size()) return false;
  unsigned difference = 0;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    difference |= digest[i] ^ static_cast<unsigned char>(hash.hash[i]);
  }
  return difference == 0;
}

void AccountProtection::Refresh() {
  password_expired_ = false;
  std::vector<std::string> clamped;
  settings_ = ReadProtectionSettings(&clamped);
  if (clamped.empty() || clamp_said_) return;
  clamp_said_ = true;
  std::string text = "Account protection settings clamped to their range:";
  for (const std::string& key : clamped) text += " " + key;
  manager_.RecordAuditEvent(3, text + ".");
}

bool AccountProtection::AdmitLogOn(std::string_view account, bool matches, std::string& refusal) {
  password_expired_ = false;
  refusal.clear();
  const std::int64_t now = NowSeconds();
  const std::string key = FoldCase(account);
  bool locked = false, locked_now = false;
  auto check = [&](AccountStates& states) {
    const auto found = states.find(key);
    const AccountState before = found != states.end() ? found->second : AccountState{};
    AccountState state = before;
    locked = locked_now = password_expired_ = false;
    // A lock ends when its time is up, and when lockout is switched off.
    if (state.locked_until != 0 &&
        (now >= state.locked_until || settings_.lockout_threshold == 0)) {
      state.locked_until = state.failed = 0;
    }
    if (state.locked_until != 0) {
      locked = true;
    } else if (!matches) {
      if (settings_.lockout_threshold > 0 && ++state.failed >= settings_.lockout_threshold) {
        int minutes = settings_.lockout_minutes;
        if (minutes == 0 && EqualIgnoringCase(account, kBuiltInUserName)) {
          minutes = kBuiltInLockMinutes;
        }
        state.locked_until = minutes == 0 ? kLockedIndefinitely : now + minutes * 60LL;
        locked_now = true;
      }
    } else {
      state.failed = 0;
      if (settings_.max_age_days > 0) {
        if (state.password_changed == 0) {
          state.password_changed = now;  // unknown until now: ages from here
        } else if (now - state.password_changed >= settings_.max_age_days * kSecondsPerDay) {
          password_expired_ = true;
        }
      }
    }
    if (state == before) return false;
    if (state == AccountState{}) {
      states.erase(key);
    } else {
      states[key] = state;
    }
    return true;
  };
  try {
    if (!UpdateAccountStates(check)) {
      refusal = kStateRefusal;
      return false;
    }
  } catch (const FileException&) {
    refusal = kStateRefusal;
    return false;
  }
  if (locked_now) manager_.RecordAuditEventAs(account, 1, "Account locked.");
  if (locked || locked_now) {
    refusal = kLockedRefusal;
    return false;
  }
  if (password_expired_) {
    refusal = kExpiredRefusal;
    return false;
  }
  return matches;
}

bool AccountProtection::IsInHistory(std::string_view account, std::string_view password) const {
  const AccountStates states = ReadAccountStates();
  const auto found = states.find(FoldCase(account));
  if (found == states.end()) return false;
  const std::vector<PasswordHash>& history = found->second.history;
  const std::size_t count = std::min<std::size_t>(history.size(), settings_.history);
  for (std::size_t i = 0; i < count; ++i) {
    if (MatchesHash(password, history[i])) return true;
  }
  return false;
}

void AccountProtection::NoteSavedPasswords(const SecurityDatabase& before,
                                           const SecurityDatabase& after) {
  Refresh();
  if (!settings_.TracksPasswords()) return;
  const std::int64_t now = NowSeconds();
  struct Change {
    std::string key;
    std::optional<PasswordHash> previous;
  };
  std::vector<Change> changes;
  for (int i = 0; i < after.UserCount(); ++i) {
    const UserRecord& user = *after.UserAt(i);
    UserRecord old;
    const bool existed = before.FindUser(user.UserName(), &old);
    if (existed && old.Password() == user.Password()) continue;
    Change change{FoldCase(user.UserName()), std::nullopt};
    // The hashing is done before the state file is read, so that no other process waits on it.
    if (existed && settings_.history > 0) change.previous = HashPassword(old.Password());
    changes.push_back(std::move(change));
  }
  if (changes.empty()) return;
  UpdateAccountStates(
      [&](AccountStates& states) {
        for (Change& change : changes) {
          AccountState& state = states[change.key];
          state.password_changed = now;
          if (change.previous) {
            state.history.insert(state.history.begin(), std::move(*change.previous));
          }
          if (state.history.size() > static_cast<std::size_t>(settings_.history)) {
            state.history.resize(static_cast<std::size_t>(settings_.history));
          }
        }
        return true;
      },
      /*lock_held=*/true);
}

bool AccountProtection::IsLocked(std::string_view account) const {
  // Locks apply only while lockout is on; the settings are read afresh, since an
  // administrator may look without having logged on in this process.
  if (ReadProtectionSettings().lockout_threshold == 0) return false;
  const AccountStates states = ReadAccountStates();
  const auto found = states.find(FoldCase(account));
  return found != states.end() && found->second.locked_until != 0 &&
         NowSeconds() < found->second.locked_until;
}

bool AccountProtection::Unlock(std::string_view account) {
  const std::string key = FoldCase(account);
  bool was_locked = false;
  try {
    const bool updated = UpdateAccountStates([&](AccountStates& states) {
      const auto found = states.find(key);
      if (found == states.end()) return false;
      was_locked = found->second.locked_until != 0;
      if (!was_locked && found->second.failed == 0) return false;
      found->second.failed = 0;
      found->second.locked_until = 0;
      return true;
    });
    if (!updated) return false;
  } catch (const FileException&) {
    return false;
  }
  if (was_locked) manager_.RecordAuditEventAs(account, 1, "Account unlocked.");
  return true;
}

// ---- The manager's side of account protection ----

int SecurityManager::RecordAuditEventAs(std::string_view user, std::uint32_t code,
                                        std::string_view description) {
  std::string saved = std::exchange(current_user_, std::string(user));
  const int written = RecordAuditEvent(code, description);
  current_user_ = std::move(saved);
  return written;
}

void SecurityManager::LogOffWhenIdle() {
  const std::int64_t limit_ms = protection_.settings().idle_minutes * 60000LL;
  if (limit_ms == 0 || running_ != 0 || current_user_.empty()) return;
  if (CoarseSteadyMilliseconds() - last_activity_ms_ < limit_ms) return;
  Logoff("Idle log-off.");
}

}  // namespace talmor
