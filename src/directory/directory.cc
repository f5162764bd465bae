#include "directory/directory.h"

#include <memory>

#include "platform/names.h"

namespace talmor {
namespace {

// Resolves `name` through the search account: its DN and mapped local groups.
DirectoryAnswer Resolve(const DirectorySettings& settings, std::string_view name,
                        std::unique_ptr<DirectoryConnection>& connection, std::string& dn) {
  DirectoryAnswer answer;
  if (settings.Insecure() && !settings.allow_insecure) {
    answer.status = DirectoryStatus::kInsecure;
    return answer;
  }
  std::string secret;
  if (!settings.search_bind_password_file.empty() &&
      !ReadSecretFile(settings.search_bind_password_file, secret)) {
    answer.status = DirectoryStatus::kError;
    return answer;
  }
  connection = ConnectToDirectory(settings, answer.status);
  if (!connection) return answer;
  answer.status = connection->Bind(settings.search_bind_dn, secret);
  if (answer.status != DirectoryStatus::kOk) {
    // A refused search account is a setting to correct, not the user's failure.
    if (answer.status != DirectoryStatus::kUnreachable) answer.status = DirectoryStatus::kError;
    return answer;
  }
  std::vector<DirectoryEntry> found;
  answer.status =
      connection->Search(settings.base_dn, true, FillFilter(settings.user_filter, name), found);
  if (answer.status != DirectoryStatus::kOk) return answer;
  if (found.size() != 1) {  // nobody, or a name that does not pick one entry
    answer.status = DirectoryStatus::kInvalidCredentials;
    return answer;
  }
  dn = found[0].dn;
  std::vector<std::string> member_of;
  for (const std::string& group : found[0].member_of) member_of.push_back(NormalizeDn(group));
  const std::string escaped_dn = EscapeFilterValue(dn);
  const std::string member_filter =
      "(|(member=" + escaped_dn + ")(uniqueMember=" + escaped_dn + "))";
  for (const DirectoryGroupMapping& mapping : settings.groups) {
    bool member = false;
    for (const std::string& group : member_of) member = member || group == NormalizeDn(mapping.dn);
    if (!member) {
      std::vector<DirectoryEntry> group;
      answer.status = connection->Search(mapping.dn, false, member_filter, group);
      if (answer.status != DirectoryStatus::kOk) return answer;
      member = !group.empty();
    }
    bool listed = false;
    for (const std::string& local : answer.local_groups) {
      listed = listed || EqualIgnoringCase(local, mapping.local_group);
    }
    if (member && !listed) answer.local_groups.push_back(mapping.local_group);
  }
  if (answer.local_groups.empty()) answer.status = DirectoryStatus::kInvalidCredentials;
  return answer;
}

}  // namespace

DirectoryAnswer DirectoryLogOn(const DirectorySettings& settings, std::string_view name,
                               std::string_view password) {
  if (password.empty() || name.empty()) return {DirectoryStatus::kInvalidCredentials, {}};
  std::unique_ptr<DirectoryConnection> connection;
  std::string dn;
  DirectoryAnswer answer = Resolve(settings, name, connection, dn);
  if (answer.status != DirectoryStatus::kOk) return answer;
  answer.status = connection->Bind(dn, password);
  if (answer.status != DirectoryStatus::kOk) answer.local_groups.clear();
  return answer;
}

DirectoryAnswer DirectoryLookUp(const DirectorySettings& settings, std::string_view name) {
  if (name.empty()) return {DirectoryStatus::kInvalidCredentials, {}};
  std::unique_ptr<DirectoryConnection> connection;
  std::string dn;
  return Resolve(settings, name, connection, dn);
}

std::string_view DirectoryRefusalText(DirectoryStatus status) {
  switch (status) {
    case DirectoryStatus::kOk:
    case DirectoryStatus::kInvalidCredentials:
      return "";
    case DirectoryStatus::kUnreachable:
      return "The directory server cannot be reached.\n"
             "Please try again later, or log on with a local account.";
    case DirectoryStatus::kInsecure:
      return "The connection to the directory server is not secure.\n"
             "Directory log-on is refused. Please contact your Administrator.";
    case DirectoryStatus::kLocked:
      return "Your directory account is locked.\nPlease contact your Administrator.";
    case DirectoryStatus::kExpired:
      return "Your directory password has expired.\nPlease change it, then log on again.";
    case DirectoryStatus::kMustChange:
      return "Your directory password must be changed before you can log on.";
    case DirectoryStatus::kDisabled:
      return "Your directory account is disabled.\nPlease contact your Administrator.";
    case DirectoryStatus::kError:
      break;
  }
  return "The directory log-on is not set up correctly.\nPlease contact your Administrator.";
}

DirectoryStatus StatusFromDiagnostic(std::string_view diagnostic) {
  // Sub-codes given after "data " in a refused bind's diagnostic text.
  struct Code {
    std::string_view data;
    DirectoryStatus status;
  };
  static constexpr Code kCodes[] = {
      {"775", DirectoryStatus::kLocked},   {"532", DirectoryStatus::kExpired},
      {"701", DirectoryStatus::kDisabled}, {"773", DirectoryStatus::kMustChange},
      {"533", DirectoryStatus::kDisabled},
  };
  const size_t at = diagnostic.find("data ");
  if (at == std::string_view::npos) return DirectoryStatus::kInvalidCredentials;
  const std::string_view data = diagnostic.substr(at + 5, 3);
  for (const Code& code : kCodes) {
    if (data == code.data) return code.status;
  }
  return DirectoryStatus::kInvalidCredentials;
}

}  // namespace talmor
