#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace talmor {

// The protection state of the local accounts, kept beside the record files in "\ACCOUNTS.REC"
// and shared by every process of the host. Only written once account protection is configured.
//
// Format: text lines. The first is "ACCOUNTS 1"; each further line is one account:
//   <name>\t<failed>\t<locked until>\t<password changed>\t<history>
// The name is the account name with its ASCII letters folded, bytes below 0x21, above 0x7E and
// '%' written as %XX. Times are seconds since 1970 (0 = none). The history is a comma-separated
// list of "<iterations>:<salt hex>:<PBKDF2 hex>", newest first. A line that does not parse is
// skipped; a file with another first line, or none, holds no state.
inline constexpr std::string_view kAccountsFileName = "\\ACCOUNTS.REC";

// Locked until an administrator unlocks.
inline constexpr std::int64_t kLockedIndefinitely = INT64_MAX;

struct PasswordHash {
  std::uint32_t iterations = 0;
  std::string salt;  // raw bytes
  std::string hash;  // raw bytes
  bool operator==(const PasswordHash&) const = default;
};

struct AccountState {
  std::int32_t failed = 0;
  std::int64_t locked_until = 0;
  std::int64_t password_changed = 0;
  std::vector<PasswordHash> history;  // newest first
  bool operator==(const AccountState&) const = default;
};

// Keyed by FoldCase(name).
using AccountStates = std::map<std::string, AccountState>;

AccountStates ParseAccountStates(std::string_view text);
std::string FormatAccountStates(const AccountStates& states);

// Reads the file as it is (no lock): a missing, unreadable or damaged file is no state.
AccountStates ReadAccountStates();

// Read-modify-write under the database lock ("\SECURITY.LCK"; `lock_held` when the caller holds
// it already): `change` gets the state as the file has it and answers whether it changed it; the
// file is then replaced in one step (a private temporary file renamed over it). False, with
// `change` not called, when the lock could not be had. Raises FileException when the file cannot
// be written; the file is then as it was.
bool UpdateAccountStates(const std::function<bool(AccountStates&)>& change, bool lock_held = false);

}  // namespace talmor
