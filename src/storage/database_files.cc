#include "storage/database_files.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "storage/record_format.h"
#include "storage/record_reader.h"
#include "storage/record_writer.h"

namespace talmor {

namespace {

enum class OptionRule {
  kFlag,         // non-zero gives 1
  kNotNegative,  // a negative value gives 0
  kAsStored,
};

struct OptionKey {
  const char* key;
  std::int32_t SecurityOptions::*field;
  OptionRule rule;
};

// The options file's keys, in the order they are written.
constexpr OptionKey kOptionKeys[] = {
    {"AuditEnable", &SecurityOptions::AuditEnable, OptionRule::kFlag},
    {"AuditLogon", &SecurityOptions::AuditLogon, OptionRule::kFlag},
    {"AuditPolicy", &SecurityOptions::AuditPolicy, OptionRule::kFlag},
    {"AuditObject", &SecurityOptions::AuditObject, OptionRule::kFlag},
    {"AuditOther", &SecurityOptions::AuditOther, OptionRule::kFlag},
    {"AuditMaxEvents", &SecurityOptions::AuditMaxEvents, OptionRule::kNotNegative},
    {"AuditOverwrite", &SecurityOptions::AuditOverwrite, OptionRule::kNotNegative},
    {"BlankPasswordOK", &SecurityOptions::BlankPasswordOK, OptionRule::kFlag},
    {"PasswordMinChars", &SecurityOptions::PasswordMinChars, OptionRule::kAsStored},
    {"SecurityDisable", &SecurityOptions::SecurityDisable, OptionRule::kFlag},
    {"IndividualINI", &SecurityOptions::IndividualINI, OptionRule::kFlag},
};

// Calls fn(name) for each non-empty name of a list, from its start, as SplitNameList lists them.
template <typename Fn>
void ForEachListedName(std::string_view list, Fn&& fn) {
  std::size_t begin = 0;
  for (std::size_t end; (end = list.find(kListSeparator, begin)) != std::string_view::npos;
       begin = end + 1) {
    if (end > begin) fn(list.substr(begin, end - begin));
  }
}

void LoadOptions(SecurityOptions& options) {
  RecordReader reader(DataFilePath(kOptionsFileName));
  if (!reader.FindFirstRecord()) return;  // only the first record counts
  for (const OptionKey& option : kOptionKeys) {
    std::int32_t value;
    if (!reader.GetInteger(option.key, value)) continue;
    switch (option.rule) {
      case OptionRule::kFlag:
        value = value != 0 ? 1 : 0;
        break;
      case OptionRule::kNotNegative:
        if (value < 0) value = 0;
        break;
      case OptionRule::kAsStored:
        break;
    }
    options.*option.field = value;
  }
}

void LoadRights(SecurityDatabase& database) {
  RecordReader reader(DataFilePath(kRightsFileName));
  std::string members;
  for (bool found = reader.FindFirstRecord(); found; found = reader.FindNextRecord()) {
    std::int32_t number;
    if (!reader.GetInteger("Right", number)) continue;
    if (!database.FindRight(number, nullptr)) continue;
    if (!reader.GetString("Members", members)) continue;
    RightRecord right(number);
    for (const std::string& name : SplitNameList(members)) right.AddMember(name);
    database.EditRight(number, right);
  }
}

void LoadGroups(SecurityDatabase& database) {
  RecordReader reader(DataFilePath(kGroupsFileName));
  std::string_view name, description, members;
  for (bool found = reader.FindFirstRecord(); found; found = reader.FindNextRecord()) {
    reader.GetView("GroupName", name);
    reader.GetView("Description", description);
    if (name.empty()) continue;
    GroupRecord group(name, description);
    reader.GetView("Members", members);
    // Each listed name ends with a separator: the list is sized once.
    group.Members().Reserve(
        static_cast<std::size_t>(std::count(members.begin(), members.end(), kListSeparator)));
    // Duplicates and names beyond the list's capacity are refused by AddMember; that is all.
    ForEachListedName(members, [&group](std::string_view member) { group.AddMember(member); });
    database.AddGroup(std::move(group));
  }
}

void LoadUsers(SecurityDatabase& database) {
  RecordReader reader(DataFilePath(kUsersFileName));
  static constexpr std::string_view kKeys[] = {"UserName", "FullName", "Description",
                                               "Password", "CannotChangePassword",
                                               "AccountDisabled"};
  std::string_view values[std::size(kKeys)];
  // A user as written takes eight lines (start, six fields, end): the index is sized once.
  database.ReserveUsers(reader.LineCount() / 8);
  // Users go to the database in batches, their texts viewing the reader's.
  SecurityDatabase::UserFields batch[32];
  std::size_t pending = 0;
  for (bool found = reader.FindFirstRecord(); found; found = reader.FindNextRecord()) {
    reader.GetViews(kKeys, values, std::size(kKeys));
    if (values[0].empty()) continue;
    batch[pending++] = {values[0], values[1], values[2], values[3],
                        ParseRecordInteger(values[4]), ParseRecordInteger(values[5])};
    if (pending == std::size(batch)) {
      database.AddUsers(batch, pending);
      pending = 0;
    }
  }
  database.AddUsers(batch, pending);
}

void SaveOptions(const SecurityOptions& options) {
  RecordWriter writer(DataFilePath(kOptionsFileName));
  writer.WriteStart();
  for (const OptionKey& option : kOptionKeys)
    writer.WriteInteger(option.key, options.*option.field);
  writer.WriteEnd();
  writer.Close();
}

// The members of a record in the order of a copy handed out by the database.
template <typename Record>
std::string MemberListValue(const Record& record) {
  std::string list, name;
  for (int i = 0; record.GetMemberAt(i, &name); ++i) AppendNameToList(list, name);
  return list;
}

void SaveRights(const SecurityDatabase& database) {
  RecordWriter writer(DataFilePath(kRightsFileName));
  RightRecord right;
  for (int number = 0; database.FindRight(number, &right); ++number) {
    writer.WriteStart();
    writer.WriteInteger("Right", right.GetRight());
    writer.WriteString("Members", MemberListValue(right));
    writer.WriteEnd();
  }
  writer.Close();
}

void SaveGroups(const SecurityDatabase& database) {
  RecordWriter writer(DataFilePath(kGroupsFileName));
  GroupRecord group;
  for (int i = 0; database.GetGroupAt(i, &group); ++i) {
    writer.WriteStart();
    writer.WriteString("GroupName", group.GroupName());
    writer.WriteString("Description", group.Description());
    writer.WriteString("Members", MemberListValue(group));
    writer.WriteEnd();
  }
  writer.Close();
}

void SaveUsers(const SecurityDatabase& database) {
  RecordWriter writer(DataFilePath(kUsersFileName));
  // The stored records are read in place: a user has no member list whose copy would differ.
  for (int i = 0; i < database.UserCount(); ++i) {
    const UserRecord& user = *database.UserAt(i);
    writer.WriteStart();
    writer.WriteString("UserName", user.UserName());
    writer.WriteString("FullName", user.FullName());
    writer.WriteString("Description", user.Description());
    writer.WriteString("Password", user.Password());
    writer.WriteInteger("CannotChangePassword", user.GetCannotChangePassword() ? 1 : 0);
    writer.WriteInteger("AccountDisabled", user.GetAccountDisabled() ? 1 : 0);
    writer.WriteEnd();
  }
  writer.Close();
}

}  // namespace

void AppendNameToList(std::string& list, std::string_view name) {
  for (const char ch : name) {
    if (ch != kListSeparator) list.push_back(ch);
  }
  list.push_back(kListSeparator);
}

std::vector<std::string> SplitNameList(std::string_view list) {
  std::vector<std::string> names;
  ForEachListedName(list, [&names](std::string_view name) { names.emplace_back(name); });
  return names;
}

DatabaseStamp ReadDatabaseStamp() {
  DatabaseStamp stamp;
  if (const auto status = FileSystem::Default().GetStatus(DataFilePath(kLockFileName))) {
    stamp.exists = true;
    stamp.size = status->size;
    stamp.modified = status->modified;
    stamp.changed = status->created;
  }
  return stamp;
}

DatabaseLock::DatabaseLock() {
  // Waited for as the audit log's lock is, but longer: a save holds it for four synced files,
  // and a busy machine may queue several saves.
  constexpr auto kLockWait = std::chrono::milliseconds(10000);
  try {
    auto file = FileSystem::Default().Open(DataFilePath(kLockFileName), OpenMode::kOpenOrCreate);
    if (file->LockExclusive(kLockWait)) file_ = std::move(file);
  } catch (const FileException&) {
    // Not held: the caller decides whether to go on without it.
  }
}

DatabaseLock::~DatabaseLock() = default;  // closing the file releases the lock

void DatabaseLock::MarkSaved() {
  if (file_ == nullptr) {
    throw FileException(FileException::Cause::kGeneric, DataFilePath(kLockFileName), 0,
                        "security database lock not held");
  }
  FileSystem& fs = FileSystem::Default();
  const std::string path = DataFilePath(kLockFileName);
  const auto before = fs.GetStatus(path);
  // The content is the number of saves so far, in decimal.
  char text[32] = {};
  file_->Seek(0);
  const std::size_t got = file_->Read(text, sizeof text - 1);
  std::uint64_t saves = 0;
  for (std::size_t i = 0; i < got && text[i] >= '0' && text[i] <= '9'; ++i) {
    saves = saves * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  const std::string next = std::to_string(saves + 1) + "\n";
  file_->Seek(0);
  file_->Write(next.data(), next.size());
  file_->SetLength(next.size());
  // A save within the file system's time resolution of the last one must still change the
  // stamp: the modification time moves forward by at least a millisecond.
  auto status = fs.GetStatus(path);
  if (!status) throw FileException(FileException::Cause::kGeneric, path, 0, "lock file gone");
  if (before && status->modified < before->modified + std::chrono::milliseconds(1)) {
    status->modified = before->modified + std::chrono::milliseconds(1);
    status->attributes = kAttributeNormal;
    fs.SetStatus(path, *status);
  }
}

SecurityOptions MergeOptions(const SecurityOptions& base, const SecurityOptions& ours,
                             const SecurityOptions& theirs) {
  SecurityOptions merged = theirs;
  for (const OptionKey& option : kOptionKeys) {
    if (ours.*option.field != base.*option.field) merged.*option.field = ours.*option.field;
  }
  return merged;
}

void LoadSecurityDatabase(SecurityDatabase& database, SecurityOptions& options) {
  LoadOptions(options);
  LoadRights(database);
  LoadGroups(database);
  LoadUsers(database);
}

void SaveSecurityDatabase(const SecurityDatabase& database, const SecurityOptions& options) {
  SaveOptions(options);
  SaveRights(database);
  SaveGroups(database);
  SaveUsers(database);
}

}  // namespace talmor
