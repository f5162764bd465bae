#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/security_database.h"
#include "directory/directory_client.h"
#include "directory/directory_settings.h"
#include "manager/account_protection.h"
#include "manager/manager_dialogs.h"
#include "platform/coarse_clock.h"
#include "storage/database_files.h"
#include "storage/security_options.h"
#include "ui/window.h"

namespace talmor {

// The one object the library revolves around: the security database, the policy options (the
// fields of SecurityOptions, under the names of their keys in "\OPTIONS.REC") and the log-on
// state of this process, the current user ("" = nobody).
//
// All calls come from the host's user-interface thread, one at a time. Audit events are written
// at once, each through its own AuditLogFile; everything else stays in memory until Save.
//
// Several processes share the database files. Beside the working database the manager keeps
// the base: the files' content as this process last loaded or saved them. Save merges this
// process's changes since the base onto what the files hold now (MergeDatabases, MergeOptions).
// Every operation that reads the database begins by catching up (CatchUp): when another process
// has saved since the base, the files are loaded again and this process's unsaved changes are
// merged onto them.
// Operations do not raise, except Save (FileException) and out of memory; a log that cannot take
// an event drops it silently.
class SecurityManager : public SecurityDatabase, public SecurityOptions {
 public:
  // An empty database (the 26 rights granted to nobody), the options at their defaults, nobody
  // logged on, no dialogs (see SetDialogs). Nothing is read.
  SecurityManager();
  // Forgets the current user; saves nothing and leaves the host's status slot alone.
  ~SecurityManager() override;

  // Start-up: loads "\OPTIONS.REC", "\RIGHTS.REC", "\GROUPS.REC" and "\USERS.REC" from the data
  // directory (a file that cannot be read is skipped), repairs the built-in account and group
  // (CreateBuiltInAccounts) and, when no host is running, clears the user name slot so that a
  // name left over from an earlier run does not count as logged on.
  void StartUp();

  // Makes sure the account "Administrator" exists, enabled, with the branding's full name and
  // description and its stored password (a new one gets the initial password), that the group
  // "Administrators" exists with the branding's description and lists the account, and that the
  // group holds every right.
  void CreateBuiltInAccounts();

  // The dialogs that Login and the administration operations open; not owned, must outlive the
  // manager. Null restores the default, which shows nothing and answers cancel.
  void SetDialogs(ManagerDialogs* dialogs);
  ManagerDialogs& dialogs() const { return *dialogs_; }
  // The same for the audit trail's dialogs.
  void SetAuditDialogs(AuditDialogs* dialogs);
  AuditDialogs& audit_dialogs() const { return *audit_dialogs_; }

  // ---- Log-on and log-off ----

  const std::string& current_user() const { return current_user_; }

  // With security disabled: the current user becomes "Administrator", 1. Otherwise 1 when
  // `name` (ignoring case) is an enabled account whose password equals `password` exactly; the
  // current user becomes the name as stored. 0 leaves the current user unchanged. A name that is
  // no local account is checked against the site's directory when one is set up
  // (LogInDirectoryUser); the current user is then the name as typed.
  int LogInUser(std::string_view name, std::string_view password);

  // Why the last LogInUser answered 0 when the usual failure message would not say it (a locked
  // account, a directory that cannot be reached): the text the log-on dialog shows instead.
  // Empty after a log-on and after the usual failures (unknown name, wrong password, disabled).
  const std::string& logon_refusal() const { return logon_refusal_; }

  // Logs a user on through the log-on dialog owned by `owner` (with security disabled, at once as
  // "Administrator" without a dialog) and records "Successful logon."; 1. A cancelled dialog
  // records "Failed logon." and leaves the current user as it was; 0.
  int Login(Window* owner);

  // Records "User logged off." (or the reason given, under the leaving user's name), compacts the
  // audit log and clears the current user and the user name slot. Done in full also when nobody
  // is logged on.
  void Logoff(std::string_view description = "User logged off.");

  // Lockout, password aging and history (account_protection.h).
  AccountProtection& protection() { return protection_; }
  // With IdleLogoffMinutes set: logs the user off with "Idle log-off." when no call but the idle
  // one has come for that long and no operation (a dialog) is running. The host's idle time.
  void LogOffWhenIdle();

  // Empties the current user and the user name slot.
  void ClearCurrentUser();

  // The current user's record (adopting the name published in the user name slot when nobody is
  // logged on in this process). 1 with the four strings filled; 0 with them empty when nobody is
  // logged on anywhere or the record does not exist.
  int GetCurrentUserRecord(std::string& user_name, std::string& full_name,
                           std::string& description, std::string& password);

  // Writes this process's database to the four files, under the database lock. When nobody
  // saved since the base, exactly the working database is written. Otherwise the files are loaded
  // and this process's changes since the base are merged onto them; the merged database is
  // written and, unless an operation (a dialog) is running, becomes the working database.
  // Either way what was written becomes the base. Raises FileException when the lock cannot be
  // had or a file cannot be written: the files before it are rewritten, it and those after it
  // are as they were.
  void Save();

  // When no operation is running and the last look is kCatchUpIntervalMs or more ago: if another
  // process saved since the base, loads the files, merges this process's unsaved changes onto
  // them, repairs the built-in account and group again and forgets the HasRight answers.
  // Every call but the idle one passes here, which makes it the time of the last activity.
  void CatchUp() {
    const std::int64_t now = CoarseSteadyMilliseconds();
    last_activity_ms_ = now;
    if (running_ == 0 && now >= next_catch_up_ms_) CatchUpNow();
  }
  static constexpr std::int64_t kCatchUpIntervalMs = 250;

  // ---- Rights and the access enquiry ----

  // The name of right `right` in the current branding, cut to size - 1 characters and a zero
  // byte; 1. 0 with the buffer untouched for a null buffer, a size below 1 or a number above 25.
  int GetRightName(std::uint32_t right, char* buffer, int size) const;

  // Whether the current user (adopted from the user name slot when nobody is logged on here)
  // belongs to a group that holds right `right`. 0 for a number above 25. No message, no event.
  int HasRight(std::uint32_t right);

  // HasRight, telling the user of a refusal in a stop box owned by `parent` (none without a
  // parent), and, when `audit` is set, recording the attempt as an "Object Access" event.
  int Enquire(Window* parent, std::uint32_t right, bool audit);

  // ---- Audit events ----

  // Records an event of category `code` (1 logon/logoff, 2 object access, 3 policy change,
  // 4 object viewed, 5 object modified, other: "n/a") under the current user, if the audit trail
  // and the category's option are on. 1 when written.
  int RecordAuditEvent(std::uint32_t code, std::string_view description);
  // The same under `user` instead of the current user.
  int RecordAuditEventAs(std::string_view user, std::uint32_t code, std::string_view description);

  // Records an event with the caller's category text, if the audit trail and the option for
  // other events are on. 1 when written.
  int RecordNote(std::string_view category, std::string_view description);

  // The host's note: code 0 records `category` through RecordNote, any other code through
  // RecordAuditEvent (the category text unused). Written or not, 1.
  int Note(std::uint32_t code, std::string_view category, std::string_view description);

  // ---- Administration ----
  //
  // Each operation but the enumerations begins with the enquiry of right 0 (with auditing and
  // `owner` as parent; the own-account edit excepted) and returns 0 at once when it is refused.
  // Dialogs and message boxes are owned by `owner`; null shows them without an owner. A name is
  // absent (nullopt) when the host gave none. Changes are made in memory only.

  // The account policy dialog on PasswordMinChars, SecurityDisable, IndividualINI and
  // BlankPasswordOK; OK stores them and records "Accounts policy modified.". 1 on OK.
  int AdminAccountPolicy(Window* owner);
  // The group rights policy dialog (which assigns as it goes); its Close button records
  // "Group Rights policy modified.". 1 on Close.
  int AdminRightsPolicy(Window* owner);
  // The audit policy dialog on the seven audit options; OK stores them first and then records
  // "Audit policy modified." under the new options. 1 on OK.
  int AdminAuditPolicy(Window* owner);
  // The audit log viewer; 1 once it was shown, however it was closed.
  int AdminLogView(Window* owner);

  // Users and groups by position (0 = most recently added): 1 with the strings filled, else 0
  // with them empty. No enquiry, nothing recorded, passwords never given out.
  // Index 0 starts an enumeration and catches up; the later indexes do not, so that one
  // enumeration sees one database.
  int GetUserStrings(int index, std::string& user_name, std::string& full_name,
                     std::string& description);
  int GetGroupStrings(int index, std::string& group_name, std::string& description);

  // With a name: edits that user (no enquiry when it is the current user's own account, ignoring
  // case) and applies the change on OK. Without: a new user, added on OK. 1 when applied.
  int AdminEditUser(Window* owner, std::optional<std::string_view> name);
  // The same for groups; the enquiry is made in every case.
  int AdminEditGroup(Window* owner, std::optional<std::string_view> name);
  // A new user from the named one (its description and flags), added on OK into every group of
  // the source. 1 when added; 0 at once without a name.
  int AdminCopyUser(Window* owner, std::optional<std::string_view> name);
  // A new group from the named one (its description and members), added on OK with every right
  // of the source. 1 when added; 0 at once without a name.
  int AdminCopyGroup(Window* owner, std::optional<std::string_view> name);
  // Deletes the named user after confirmation; the built-in account is refused with a message.
  // 1 when deleted; 0 at once without a name.
  int AdminDeleteUser(Window* owner, std::optional<std::string_view> name);
  // The same for groups and the built-in group.
  int AdminDeleteGroup(Window* owner, std::optional<std::string_view> name);

 private:
  // An operation in progress: catches up first, then holds catching up off until it ends, so
  // that nothing reloads under an open dialog.
  class Operation {
   public:
    explicit Operation(SecurityManager& manager) : manager_(manager) {
      manager_.CatchUp();
      ++manager_.running_;
    }
    ~Operation() { --manager_.running_; }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

   private:
    SecurityManager& manager_;
  };

  void CatchUpNow();
  // Loads the files into `database` and `options` (defaults beforehand) under the lock; the
  // stamp of what was loaded, or nullopt when the lock could not be had (nothing loaded).
  static std::optional<DatabaseStamp> LoadLocked(SecurityDatabase& database,
                                                 SecurityOptions& options);
  // Makes the working database what was just written or loaded, and the base too.
  void SetBase(const DatabaseStamp& stamp);

  // Adopts the name in the user name slot when nobody is logged on here; false when there is
  // still nobody.
  bool EnsureCurrentUser();
  // Opens the audit log with the capacity and overwrite options and, if `append`, appends one
  // event under the current user; false when nothing was written.
  bool AppendToAuditLog(std::string_view source, std::string_view description,
                        bool append = true);

  // Sends a recorded event to the system log when forwarding is on, and an event the log could
  // not take (`failure` says why) at warning severity whether forwarding is on or not.
  void ForwardAuditEvent(std::string_view source, std::string_view description,
                         const char* failure) const;

  // ---- The site's directory (directory_logon.cc) ----
  // Reads the Directory section of "qvtalmor.ini"; without one the directory is never used.
  void StartDirectory();
  // Log-on of a name that is not a local account; as LogInUser.
  int LogInDirectoryUser(std::string_view name, std::string_view password);
  // Resolves the groups of a directory user adopted from the user name slot, once a session.
  void AdoptDirectoryUser();
  // UserHoldsRight for the current user, through its mapped groups when it is a directory user.
  bool CurrentUserHoldsRight(int right) const;
  // Keeps track of outages: one warning per outage, another after a contact succeeded.
  void NoteDirectoryContact(DirectoryStatus status);
  // Records a directory warning in the audit trail and, at warning severity, the system log.
  void RecordDirectoryWarning(std::string_view text);

  std::string current_user_;
  std::string logon_refusal_;
  std::optional<DirectorySettings> directory_;
  // The directory user of this session (as typed or adopted) and the local groups it maps to.
  std::string directory_user_;
  std::vector<std::string> directory_groups_;
  bool directory_outage_ = false;
  bool directory_insecure_warned_ = false;
  // "Forward" and "Socket" of [AuditLog] in "qvtalmor.ini", read at start-up: whether recorded
  // events go to the system log ("syslog"), and a datagram socket to send to instead of the
  // system's own receiver (for a local collector or a test).
  bool forward_events_ = false;
  std::string system_log_socket_;
  ManagerDialogs* dialogs_;
  AuditDialogs* audit_dialogs_;

  // Answers of HasRight for one user name at one database generation: bit n of `known` says
  // right n was tested, bit n of `held` gives the answer.
  struct RightsCache {
    std::string user;
    std::uint64_t generation = 0;
    std::uint32_t known = 0;
    std::uint32_t held = 0;
  };
  RightsCache rights_cache_;

  // The files' content as last loaded or saved here, and their stamp then.
  std::unique_ptr<SecurityDatabase> base_ = std::make_unique<SecurityDatabase>();
  SecurityOptions base_options_;
  DatabaseStamp base_stamp_;
  std::int64_t next_catch_up_ms_ = 0;
  std::int64_t last_activity_ms_ = 0;
  AccountProtection protection_{*this};
  int running_ = 0;  // operations in progress (nested through dialogs)
};

// The built-in names.
inline constexpr std::string_view kBuiltInUserName = "Administrator";
inline constexpr std::string_view kBuiltInGroupName = "Administrators";
// The password of a freshly created built-in account.
inline constexpr std::string_view kInitialAdministratorPassword = "BlueHarbour";

}  // namespace talmor
