// Log-on against the site's directory, and the rights of a directory user. Directory users have
// no record in the database: their local groups come from the directory at log-on (or when
// another process's user is adopted) and are kept for the session.
#include "directory/directory.h"
#include "manager/security_manager.h"
#include "platform/local_time.h"
#include "platform/names.h"
#include "platform/system_log.h"

namespace talmor {

void SecurityManager::StartDirectory() { directory_ = ReadDirectorySettings("qvtalmor.ini"); }

int SecurityManager::LogInDirectoryUser(std::string_view name, std::string_view password) {
  if (directory_->Insecure() && directory_->allow_insecure && !directory_insecure_warned_) {
    directory_insecure_warned_ = true;
    RecordDirectoryWarning("Directory log-on over a connection without TLS (AllowInsecure=1).");
  }
  const DirectoryAnswer answer = DirectoryLogOn(*directory_, name, password);
  NoteDirectoryContact(answer.status);
  if (answer.status != DirectoryStatus::kOk) {
    logon_refusal_ = DirectoryRefusalText(answer.status);
    return 0;
  }
  current_user_ = std::string(name);
  directory_user_ = current_user_;
  directory_groups_ = answer.local_groups;
  rights_cache_ = RightsCache{};
  return 1;
}

void SecurityManager::AdoptDirectoryUser() {
  if (FindUser(current_user_, nullptr) || EqualIgnoringCase(directory_user_, current_user_)) return;
  const DirectoryAnswer answer = DirectoryLookUp(*directory_, current_user_);
  NoteDirectoryContact(answer.status);
  // Kept for the session whatever the answer: a user the directory does not confirm holds
  // nothing, and the directory is not asked again on every enquiry.
  directory_user_ = current_user_;
  directory_groups_ =
      answer.status == DirectoryStatus::kOk ? answer.local_groups : std::vector<std::string>{};
  rights_cache_ = RightsCache{};
}

bool SecurityManager::CurrentUserHoldsRight(int right) const {
  if (directory_user_.empty() || !EqualIgnoringCase(directory_user_, current_user_)) {
    return UserHoldsRight(current_user_, right);
  }
  RightRecord record;
  if (!FindRight(right, &record)) return false;
  const MemberList& holders = record.Members();
  for (std::size_t i = 0; i < holders.Count(); ++i) {
    for (const std::string& group : directory_groups_) {
      if (EqualIgnoringCase(group, holders.At(i)) && FindGroup(group, nullptr)) return true;
    }
  }
  return false;
}

void SecurityManager::NoteDirectoryContact(DirectoryStatus status) {
  if (status == DirectoryStatus::kUnreachable) {
    if (!directory_outage_) {
      directory_outage_ = true;
      RecordDirectoryWarning("The directory server " + directory_->url + " cannot be reached.");
    }
  } else if (status != DirectoryStatus::kInsecure && status != DirectoryStatus::kError) {
    directory_outage_ = false;
  }
}

void SecurityManager::RecordDirectoryWarning(std::string_view text) {
  RecordNote("Directory", text);
  SystemLogEvent event;
  const LocalTime now = ToLocalTime(CurrentTime());
  event.severity = SystemLogSeverity::kWarning;
  event.date = FormatDate(now);
  event.time = FormatTime(now);
  event.source = "Directory";
  event.user = current_user_;
  event.description = text;
  event.message = "Directory: " + std::string(text);
  SendToSystemLog(event, system_log_socket_);
}

}  // namespace talmor
