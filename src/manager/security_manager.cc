#include "manager/security_manager.h"

#include <string>

#include "audit/audit_log_file.h"
#include "database/database_merge.h"
#include "manager/branding.h"
#include "manager/host_status.h"
#include "manager/rights_catalogue.h"
#include "platform/bounded_copy.h"
#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/host_presence.h"
#include "platform/local_time.h"
#include "platform/names.h"
#include "platform/profile_file.h"
#include "platform/system_log.h"
#include "resources/resource_ids.h"
#include "storage/database_files.h"
#include "ui/message_box.h"

namespace talmor {
namespace {

NoManagerDialogs g_no_dialogs;
NoAuditDialogs g_no_audit_dialogs;

// Right names are copied through a buffer of this size wherever the library itself asks.
constexpr int kRightNameBufferSize = 120;

constexpr std::string_view kRefusalText =
    "You do not have the permissions required to access this feature.\n"
    "Please contact your Administrator for futher advice.";

// An audit log object set up with the manager's capacity and overwrite options.
void ApplyAuditOptions(AuditLogFile& log, const SecurityOptions& options) {
  log.SetMaxEvents(static_cast<uint32_t>(options.AuditMaxEvents));
  log.SetOverwrite(options.AuditOverwrite != 0);
}

}  // namespace

SecurityManager::SecurityManager()
    : dialogs_(&g_no_dialogs), audit_dialogs_(&g_no_audit_dialogs) {}

SecurityManager::~SecurityManager() { current_user_.clear(); }

void SecurityManager::SetDialogs(ManagerDialogs* dialogs) {
  dialogs_ = dialogs != nullptr ? dialogs : &g_no_dialogs;
}

void SecurityManager::SetAuditDialogs(AuditDialogs* dialogs) {
  audit_dialogs_ = dialogs != nullptr ? dialogs : &g_no_audit_dialogs;
}

std::optional<DatabaseStamp> SecurityManager::LoadLocked(SecurityDatabase& database,
                                                         SecurityOptions& options) {
  DatabaseLock lock;
  if (!lock.held()) return std::nullopt;
  const DatabaseStamp stamp = ReadDatabaseStamp();
  LoadSecurityDatabase(database, options);
  return stamp;
}

void SecurityManager::SetBase(const DatabaseStamp& stamp) {
  base_->CopyContentFrom(*this);
  base_options_ = *this;
  base_stamp_ = stamp;
  next_catch_up_ms_ = CoarseSteadyMilliseconds() + kCatchUpIntervalMs;
}

void SecurityManager::StartUp() {
  constexpr size_t kSettingBufferSize = 1024;
  forward_events_ = EqualIgnoringCase(
      GetProfileString("qvtalmor.ini", "AuditLog", "Forward", "", kSettingBufferSize), "syslog");
  system_log_socket_ =
      GetProfileString("qvtalmor.ini", "AuditLog", "Socket", "", kSettingBufferSize);
  // Loading never fails: without the lock the files are read as they are, possibly half saved,
  // so the stamp is one no look at the files gives: the next call loads them again and the
  // next save merges.
  std::optional<DatabaseStamp> stamp = LoadLocked(*this, *this);
  if (!stamp) {
    LoadSecurityDatabase(*this, *this);
    stamp = DatabaseStamp{.exists = true, .size = ~std::uint64_t{0}};
  }
  SetBase(*stamp);
  CreateBuiltInAccounts();
  StartDirectory();
  if (!IsHostWindowPresent()) PublishUserName("");
  protection_.Refresh();
}

void SecurityManager::CreateBuiltInAccounts() {
  const bool alternative = IsAlternativeBranding() != 0;

  UserRecord account(kBuiltInUserName,
                     alternative ? "Sarvento Administrator" : "Quorvane Administrator",
                     alternative ? "Built-in account for administering Sarvento"
                                 : "Built-in account for administering Quorvane",
                     kInitialAdministratorPassword);
  UserRecord stored_account;
  if (FindUser(kBuiltInUserName, &stored_account)) {
    account.SetStrings(std::nullopt, std::nullopt, std::nullopt, stored_account.Password());
    EditUser(kBuiltInUserName, account);
  } else {
    AddUser(account);
  }

  GroupRecord group(kBuiltInGroupName, alternative ? "Members can fully administer Sarvento"
                                                   : "Members can fully administer Quorvane");
  GroupRecord stored_group;
  if (FindGroup(kBuiltInGroupName, &stored_group)) {
    std::string member;
    for (int i = 0; stored_group.GetMemberAt(i, &member); ++i) group.AddMember(member);
    if (!group.IsMember(kBuiltInUserName)) group.AddMember(kBuiltInUserName);
    EditGroup(kBuiltInGroupName, group);
  } else {
    group.AddMember(kBuiltInUserName);
    AddGroup(group);
  }

  ForEachStoredRight([](RightRecord& right) {
    if (!right.IsMember(kBuiltInGroupName)) right.AddMember(kBuiltInGroupName);
  });
}

// ---- Log-on and log-off ----

int SecurityManager::LogInUser(std::string_view name, std::string_view password) {
  const Operation operation(*this);
  logon_refusal_.clear();
  protection_.Refresh();
  if (SecurityDisable) {
    current_user_ = std::string(kBuiltInUserName);
    return 1;
  }
  const UserRecord* user = nullptr;
  UserRecord found;
  if (FindUser(name, &found)) user = &found;
  if (user == nullptr && directory_) return LogInDirectoryUser(name, password);
  if (user == nullptr || user->GetAccountDisabled()) return 0;
  const bool matches = EqualExactly(password, user->Password());
  if (protection_.settings().KeepsState() &&
      !protection_.AdmitLogOn(user->UserName(), matches, logon_refusal_)) {
    return 0;
  }
  if (!matches) return 0;
  current_user_ = user->UserName();
  return 1;
}

int SecurityManager::Login(Window* owner) {
  const Operation operation(*this);
  if (SecurityDisable) {
    LogInUser(kBuiltInUserName, "");
    RecordAuditEvent(1, "Successful logon.");
    return 1;
  }
  if (dialogs_->RunLogon(*this, owner)) {
    RecordAuditEvent(1, "Successful logon.");
    return 1;
  }
  RecordAuditEvent(1, "Failed logon.");
  return 0;
}

void SecurityManager::Logoff(std::string_view description) {
  CatchUp();  // the audit options may have changed elsewhere
  RecordAuditEvent(1, description);
  // A log that cannot be compacted now is compacted at a later log-off; the user leaves anyway.
  try {
    AuditLogFile log;
    ApplyAuditOptions(log, *this);
    log.Compact();
  } catch (const FileException&) {
  }
  ClearCurrentUser();
}

void SecurityManager::ClearCurrentUser() {
  current_user_.clear();
  directory_user_.clear();
  PublishUserName("");
}

bool SecurityManager::EnsureCurrentUser() {
  if (!current_user_.empty()) return true;
  current_user_ = ReadPublishedUserName();
  if (directory_ && !current_user_.empty()) AdoptDirectoryUser();
  return !current_user_.empty();
}

int SecurityManager::GetCurrentUserRecord(std::string& user_name, std::string& full_name,
                                          std::string& description, std::string& password) {
  const Operation operation(*this);
  user_name.clear();
  full_name.clear();
  description.clear();
  password.clear();
  if (!EnsureCurrentUser()) return 0;
  UserRecord user;
  if (!FindUser(current_user_, &user)) return 0;
  user.GetStrings(&user_name, &full_name, &description, &password);
  return 1;
}

void SecurityManager::CatchUpNow() {
  next_catch_up_ms_ = CoarseSteadyMilliseconds() + kCatchUpIntervalMs;
  if (ReadDatabaseStamp() == base_stamp_) return;
  auto theirs = std::make_unique<SecurityDatabase>();
  SecurityOptions theirs_options;
  const std::optional<DatabaseStamp> stamp = LoadLocked(*theirs, theirs_options);
  if (!stamp) return;  // a save is taking long: look again next time
  SecurityDatabase merged;
  MergeDatabases(*base_, *this, *theirs, merged);
  const SecurityOptions merged_options = MergeOptions(base_options_, *this, theirs_options);
  SwapContent(merged);
  static_cast<SecurityOptions&>(*this) = merged_options;
  base_ = std::move(theirs);
  base_options_ = theirs_options;
  base_stamp_ = *stamp;
  CreateBuiltInAccounts();
  rights_cache_ = RightsCache{};
}

void SecurityManager::Save() {
  DatabaseLock lock;
  if (!lock.held()) {
    throw FileException(FileException::Cause::kSharingViolation, DataFilePath(kLockFileName), 0,
                        "the security database is locked by another process");
  }
  const DatabaseStamp stamp = ReadDatabaseStamp();
  if (stamp == base_stamp_) {
    // Nobody saved since the base: this process's database is the whole truth.
    lock.MarkSaved();
    SaveSecurityDatabase(*this, *this);
    protection_.NoteSavedPasswords(*base_, *this);
    SetBase(ReadDatabaseStamp());
    return;
  }
  SecurityDatabase theirs;
  SecurityOptions theirs_options;
  LoadSecurityDatabase(theirs, theirs_options);
  SecurityDatabase merged;
  MergeDatabases(*base_, *this, theirs, merged);
  const SecurityOptions merged_options = MergeOptions(base_options_, *this, theirs_options);
  // The mark goes first: should a file fail, the others still learn that the files changed.
  lock.MarkSaved();
  SaveSecurityDatabase(merged, merged_options);
  protection_.NoteSavedPasswords(theirs, merged);
  // Under an open dialog the working database stays as it is; the base and its stamp stay too,
  // so the first call after the dialog merges it onto what was written here.
  if (running_ != 0) return;
  SwapContent(merged);
  static_cast<SecurityOptions&>(*this) = merged_options;
  SetBase(ReadDatabaseStamp());
}

// ---- Rights and the access enquiry ----

int SecurityManager::GetRightName(std::uint32_t right, char* buffer, int size) const {
  if (buffer == nullptr || size < 1 || right >= kRightCount) return 0;
  CopyToBuffer(RightName(right, IsAlternativeBranding() != 0), buffer, size);
  return 1;
}

int SecurityManager::HasRight(std::uint32_t right) {
  CatchUp();
  if (!EnsureCurrentUser()) return 0;
  if (right >= kRightCount) return 0;
  RightsCache& cache = rights_cache_;
  if (cache.generation != generation() || cache.user != current_user_) {
    cache.user = current_user_;
    cache.generation = generation();
    cache.known = cache.held = 0;
  }
  const std::uint32_t bit = std::uint32_t{1} << right;
  if ((cache.known & bit) == 0) {
    cache.known |= bit;
    if (CurrentUserHoldsRight(static_cast<int>(right))) cache.held |= bit;
  }
  return (cache.held & bit) != 0 ? 1 : 0;
}

int SecurityManager::Enquire(Window* parent, std::uint32_t right, bool audit) {
  const int granted = HasRight(right);
  if (!granted && parent != nullptr) {
    MessageBox(parent, kRefusalText, SecurityManagerCaption(), kMbIconStop | kMbOk);
  }
  std::string description =
      granted ? "Successful object access.\r\n" : "Failed object access.\r\n";
  char name[kRightNameBufferSize];
  if (GetRightName(right, name, kRightNameBufferSize)) {
    description += "Access attempted : ";
    description += name;
  }
  if (audit) RecordAuditEvent(2, description);
  return granted;
}

// ---- Audit events ----

int SecurityManager::RecordAuditEvent(std::uint32_t code, std::string_view description) {
  if (!AuditEnable) return 0;
  const AuditCategory category = AuditCategoryFor(code);
  bool gate_open = false;
  switch (category.gate) {
    case AuditGate::kLogon: gate_open = AuditLogon != 0; break;
    case AuditGate::kObject: gate_open = AuditObject != 0; break;
    case AuditGate::kPolicy: gate_open = AuditPolicy != 0; break;
    case AuditGate::kOther: gate_open = AuditOther != 0; break;
  }
  // The log is opened before the category's option is looked at, as it always has been: a
  // gated event still creates a missing log pair.
  return AppendToAuditLog(category.text, description, gate_open) ? 1 : 0;
}

bool SecurityManager::AppendToAuditLog(std::string_view source, std::string_view description,
                                       bool append) {
  // An event the log cannot take is dropped; the operation that caused it goes on.
  bool attempted = false;
  const char* failure = nullptr;
  try {
    AuditLogFile log;
    ApplyAuditOptions(log, *this);
    if (!append) return false;
    attempted = true;
    if (log.failed()) {
      failure = "the audit log could not be opened";
    } else if (!log.AppendEvent(source, current_user_, description)) {
      failure = "the audit log is full";
    }
  } catch (const FileException&) {
    failure = "the audit log could not be written";
  }
  if (attempted) ForwardAuditEvent(source, description, failure);
  return attempted && failure == nullptr;
}

void SecurityManager::ForwardAuditEvent(std::string_view source, std::string_view description,
                                        const char* failure) const {
  if (failure == nullptr && !forward_events_) return;
  SystemLogEvent event;
  const LocalTime now = ToLocalTime(CurrentTime());
  event.date = FormatDate(now);
  event.time = FormatTime(now);
  event.source = source;
  event.user = current_user_;
  event.description = description;
  if (failure == nullptr) {
    event.message = std::string(source) + ": " + std::string(description);
  } else {
    event.severity = SystemLogSeverity::kWarning;
    event.message = "Audit event not recorded (" + std::string(failure) + "): " +
                    std::string(source) + ": " + std::string(description);
  }
  SendToSystemLog(event, system_log_socket_);
}

int SecurityManager::RecordNote(std::string_view category, std::string_view description) {
  if (!AuditEnable || !AuditOther) return 0;
  return AppendToAuditLog(category, description) ? 1 : 0;
}

int SecurityManager::Note(std::uint32_t code, std::string_view category,
                          std::string_view description) {
  CatchUp();
  if (code != 0) {
    RecordAuditEvent(code, description);
  } else {
    RecordNote(category, description);
  }
  return 1;
}

}  // namespace talmor
