#include "database/security_database.h"

#include <algorithm>

#include "platform/names.h"

namespace talmor {

namespace {

// Hands out a copy of a stored record: false when there is none; a null `out` only asks.
template <typename Record>
bool CopyOut(const Record* stored, Record* out) {
  if (stored == nullptr) return false;
  if (out != nullptr) *out = *stored;
  return true;
}

std::string_view NameOf(const UserRecord& user) { return user.UserName(); }
std::string_view NameOf(const GroupRecord& group) { return group.GroupName(); }

}  // namespace

template <typename Record>
void SecurityDatabase::NameIndex<Record>::Grow() {
  // One entry more than a table of this size takes: twice the size, or the first table.
  Reserve(slots.empty() ? 1 : slots.size() / 4 * 3 + 1);
}

template <typename Record>
void SecurityDatabase::NameIndex<Record>::Reserve(std::size_t count) {
  std::size_t wanted = slots.empty() ? 64 : slots.size();
  while (count * 4 > wanted * 3) wanted *= 2;
  if (wanted == slots.size()) return;
  std::vector<Entry> old(wanted, Entry{0, 0, nullptr});
  old.swap(slots);
  const std::size_t mask = slots.size() - 1;
  for (const Entry& entry : old) {
    if (entry.record == nullptr) continue;
    std::size_t i = entry.hash & mask;
    while (slots[i].record != nullptr) i = (i + 1) & mask;
    slots[i] = entry;
  }
}

template <typename Record>
void SecurityDatabase::NameIndex<Record>::InsertHashed(std::uint64_t hash,
                                                       std::uint64_t sequence, Record* record) {
  if ((size + 1) * 4 > slots.size() * 3) Grow();
  const std::size_t mask = slots.size() - 1;
  std::size_t i = hash & mask;
  while (slots[i].record != nullptr) i = (i + 1) & mask;
  slots[i] = Entry{hash, sequence, record};
  ++size;
}

template <typename Record>
void SecurityDatabase::NameIndex<Record>::Prefetch(std::uint64_t hash) const {
#if defined(__GNUC__)
  if (!slots.empty()) __builtin_prefetch(&slots[hash & (slots.size() - 1)], 1);
#else
  (void)hash;
#endif
}

template <typename Record>
template <typename Fn>
void SecurityDatabase::NameIndex<Record>::ForEachMatch(std::string_view name, Fn&& fn) const {
  if (size == 0) return;
  const std::uint64_t hash = HashIgnoringCase(name);
  const std::size_t mask = slots.size() - 1;
  for (std::size_t i = hash & mask; slots[i].record != nullptr; i = (i + 1) & mask) {
    if (slots[i].hash == hash && EqualIgnoringCase(NameOf(*slots[i].record), name)) fn(slots[i]);
  }
}

template <typename Record>
std::uint64_t SecurityDatabase::NameIndex<Record>::Erase(std::string_view name,
                                                         const Record* record) {
  if (size == 0) return 0;
  const std::uint64_t hash = HashIgnoringCase(name);
  const std::size_t mask = slots.size() - 1;
  std::size_t i = hash & mask;
  while (slots[i].record != nullptr && slots[i].record != record) i = (i + 1) & mask;
  if (slots[i].record == nullptr) return 0;  // not reached: every stored record is indexed
  const std::uint64_t sequence = slots[i].sequence;
  // Backward shift: entries after the hole that may not sit before their home slot move in.
  for (std::size_t j = (i + 1) & mask; slots[j].record != nullptr; j = (j + 1) & mask) {
    const std::size_t home = slots[j].hash & mask;
    // The entry at j stays when its home lies cyclically in (i, j].
    const bool stays = i <= j ? (home > i && home <= j) : (home > i || home <= j);
    if (stays) continue;
    slots[i] = slots[j];
    i = j;
  }
  slots[i] = Entry{0, 0, nullptr};
  --size;
  return sequence;
}

template <typename Record>
Record* SecurityDatabase::NameIndex<Record>::First(std::string_view name) const {
  const Entry* best = nullptr;
  ForEachMatch(name, [&best](const Entry& entry) {
    if (best == nullptr || entry.sequence > best->sequence) best = &entry;
  });
  return best == nullptr ? nullptr : best->record;
}

template <typename Record>
std::vector<Record*> SecurityDatabase::NameIndex<Record>::All(std::string_view name) const {
  std::vector<Entry> found;
  ForEachMatch(name, [&found](const Entry& entry) { found.push_back(entry); });
  std::sort(found.begin(), found.end(),
            [](const Entry& a, const Entry& b) { return a.sequence > b.sequence; });
  std::vector<Record*> records;
  records.reserve(found.size());
  for (const Entry& entry : found) records.push_back(entry.record);
  return records;
}

SecurityDatabase::SecurityDatabase() {
  for (int right = 0; right < kRightCount; ++right) {
    rights_.push_front(std::make_unique<RightRecord>(right));
  }
}

SecurityDatabase::~SecurityDatabase() {
  user_index_.Clear();
  group_index_.Clear();
  users_.clear();
  groups_.clear();
  rights_.clear();
}

const UserRecord* SecurityDatabase::UserAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= users_.size()) return nullptr;
  return users_[static_cast<std::size_t>(index)];
}

const GroupRecord* SecurityDatabase::GroupAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= groups_.size()) return nullptr;
  return groups_[static_cast<std::size_t>(index)];
}

const RightRecord* SecurityDatabase::RightAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= rights_.size()) return nullptr;
  return rights_[static_cast<std::size_t>(index)].get();
}

void SecurityDatabase::CopyContentFrom(const SecurityDatabase& other) {
  if (&other == this) return;
  ++generation_;
  user_index_.Clear();
  group_index_.Clear();
  users_.clear();
  groups_.clear();
  for (const UserRecord* user : other.users_) AppendUser(*user);
  for (const GroupRecord* group : other.groups_) AppendGroupAsStored(*group);
  for (const auto& right : other.rights_) SetRightMembersAsStored(right->GetRight(), right->Members());
}

void SecurityDatabase::SwapContent(SecurityDatabase& other) {
  ++generation_;
  ++other.generation_;
  std::swap(rights_, other.rights_);
  groups_.swap(other.groups_);
  users_.swap(other.users_);
  std::swap(group_index_, other.group_index_);
  std::swap(user_index_, other.user_index_);
  std::swap(next_sequence_, other.next_sequence_);
  std::swap(back_sequence_, other.back_sequence_);
}

void SecurityDatabase::AppendUser(const UserRecord& user) {
  ++generation_;
  UserRecord* stored = users_.EmplaceBack(user);
  user_index_.Insert(stored->UserName(), back_sequence_--, stored);
}

void SecurityDatabase::AppendGroupAsStored(const GroupRecord& group) {
  ++generation_;
  GroupRecord* stored = groups_.EmplaceBack(group.GroupName(), group.Description());
  stored->Members() = group.Members();
  group_index_.Insert(stored->GroupName(), back_sequence_--, stored);
}

bool SecurityDatabase::SetRightMembersAsStored(int right, const MemberList& stored) {
  ++generation_;
  RightRecord* record = FindStoredRight(right);
  if (record == nullptr) return false;
  if (&record->Members() != &stored) record->Members() = stored;
  return true;
}

bool SecurityDatabase::GetUserAt(int index, UserRecord* out) const {
  return CopyOut(UserAt(index), out);
}

bool SecurityDatabase::FindUser(std::string_view name, UserRecord* out) const {
  return CopyOut(user_index_.First(name), out);
}

bool SecurityDatabase::AddUser(const UserRecord& user) {
  ++generation_;
  UserRecord* stored = users_.EmplaceFront(user);
  user_index_.Insert(stored->UserName(), next_sequence_++, stored);
  return true;
}

void SecurityDatabase::AddUsers(const UserFields* users, std::size_t count) {
  ++generation_;
  constexpr std::size_t kBatch = 16;
  std::uint64_t hashes[kBatch];
  for (std::size_t done = 0; done < count; done += kBatch) {
    const std::size_t n = std::min(kBatch, count - done);
    for (std::size_t i = 0; i < n; ++i) {
      hashes[i] = HashIgnoringCase(users[done + i].user_name);
      user_index_.Prefetch(hashes[i]);
    }
    for (std::size_t i = 0; i < n; ++i) {
      const UserFields& user = users[done + i];
      UserRecord* stored =
          users_.EmplaceFront(user.user_name, user.full_name, user.description, user.password);
      stored->SetCannotChangePassword(user.cannot_change_password);
      stored->SetAccountDisabled(user.account_disabled);
      user_index_.InsertHashed(hashes[i], next_sequence_++, stored);
    }
  }
}

void SecurityDatabase::RenameInList(MembershipRecord& record, const std::string& old_name,
                                    const std::string& new_name, bool stale) {
  // A change of letter case only leaves the entries as they are: they still match the record.
  if (EqualIgnoringCase(old_name, new_name)) return;
  MemberList& members = record.Members();
  if (!members.Contains(old_name)) return;
  if (!stale) {
    // Another record still carries the old name: only exact entries follow the renamed one.
    record.RenameMember(old_name, new_name);
    return;
  }
  // No record of the old name is left, so no entry of it, in whatever letter case, may stay
  // behind to match a later record of that name: rename them all, or drop them when the list
  // names the new name already (or there is no new name).
  if (!new_name.empty() && !members.Contains(new_name)) {
    members.RenameIgnoringCase(old_name, new_name);
  } else {
    members.RemoveIgnoringCase(old_name);
  }
}

bool SecurityDatabase::EditUser(std::string_view name, const UserRecord& user) {
  ++generation_;
  const std::vector<UserRecord*> matches = user_index_.All(name);
  if (matches.empty()) return false;
  const UserRecord replacement = user;  // the argument may be one of the matches
  const std::string new_name(replacement.UserName());
  for (UserRecord* stored : matches) {
    const std::string old_name(stored->UserName());
    const std::uint64_t sequence = user_index_.Erase(old_name, stored);
    *stored = replacement;
    user_index_.Insert(new_name, sequence, stored);
    // Every user matching `name` takes the new name, so none of the old name remains.
    for (GroupRecord* group : groups_) RenameInList(*group, old_name, new_name, /*stale=*/true);
  }
  return true;
}

bool SecurityDatabase::DeleteUser(std::string_view name) {
  ++generation_;
  const std::vector<UserRecord*> matches = user_index_.All(name);
  if (matches.empty()) return false;
  const std::string removed_name(name);
  for (UserRecord* stored : matches) user_index_.Erase(stored->UserName(), stored);
  users_.EraseIf([&matches](const UserRecord* user) {
    return std::find(matches.begin(), matches.end(), user) != matches.end();
  });
  // Every user of the name is gone: its entries go in every letter case.
  for (GroupRecord* group : groups_) group->Members().RemoveIgnoringCase(removed_name);
  return true;
}

bool SecurityDatabase::GetGroupAt(int index, GroupRecord* out) const {
  return CopyOut(GroupAt(index), out);
}

bool SecurityDatabase::FindGroup(std::string_view name, GroupRecord* out) const {
  return CopyOut(group_index_.First(name), out);
}

bool SecurityDatabase::AddGroup(const GroupRecord& group) {
  ++generation_;
  GroupRecord* stored = groups_.EmplaceFront(group);
  group_index_.Insert(stored->GroupName(), next_sequence_++, stored);
  return true;
}

bool SecurityDatabase::AddGroup(GroupRecord&& group) {
  ++generation_;
  GroupRecord* stored = groups_.EmplaceFront(group.GroupName(), group.Description());
  MemberList& members = stored->Members();
  members = std::move(group.Members());
  members.CopyFrom(members);  // reversed in place, as the copy of AddGroup(const&) is
  group_index_.Insert(stored->GroupName(), next_sequence_++, stored);
  return true;
}

bool SecurityDatabase::EditGroup(std::string_view name, const GroupRecord& group) {
  ++generation_;
  GroupRecord* stored = group_index_.First(name);
  if (stored == nullptr) return false;
  // Taken first: the argument may be the stored record itself.
  const std::string new_name = group.GroupName();
  const std::string new_description = group.Description();
  const MemberList new_members = group.Members();

  const std::string old_name = stored->GroupName();
  const std::uint64_t sequence = group_index_.Erase(old_name, stored);
  stored->SetNameDesc(new_name, new_description);
  stored->ClearMembers();
  for (std::size_t i = 0; i < new_members.Count(); ++i) stored->AddMember(new_members.At(i));
  group_index_.Insert(new_name, sequence, stored);

  const bool stale = !group_index_.Has(old_name);
  for (auto& right : rights_) RenameInList(*right, old_name, new_name, stale);
  return true;
}

bool SecurityDatabase::DeleteGroup(std::string_view name) {
  ++generation_;
  const std::vector<GroupRecord*> matches = group_index_.All(name);
  if (matches.empty()) return false;
  const std::string removed_name(name);
  for (GroupRecord* stored : matches) group_index_.Erase(stored->GroupName(), stored);
  groups_.EraseIf([&matches](const GroupRecord* group) {
    return std::find(matches.begin(), matches.end(), group) != matches.end();
  });
  for (auto& right : rights_) right->Members().RemoveIgnoringCase(removed_name);
  return true;
}

RightRecord* SecurityDatabase::FindStoredRight(int right) const {
  for (const auto& record : rights_) {
    if (record->GetRight() == right) return record.get();
  }
  return nullptr;
}

bool SecurityDatabase::FindRight(int right, RightRecord* out) const {
  const RightRecord* record = FindStoredRight(right);
  if (record == nullptr) return false;
  if (out != nullptr) *out = *record;
  return true;
}

bool SecurityDatabase::EditRight(int right, const RightRecord& record) {
  ++generation_;
  RightRecord* stored = FindStoredRight(right);
  if (stored == nullptr) return false;
  const MemberList new_members = record.Members();  // the argument may be the stored record
  // The number is kept: taking another number from the record would leave two rights of one
  // number and none of this one, and the rights file would end at the gap.
  stored->ClearMembers();
  for (std::size_t i = 0; i < new_members.Count(); ++i) stored->AddMember(new_members.At(i));
  return true;
}

bool SecurityDatabase::CopyUserMemberships(std::string_view new_name,
                                           std::string_view source_name) {
  ++generation_;
  if (EqualExactly(new_name, source_name)) return true;
  for (GroupRecord* group : groups_) {
    if (group->IsMember(source_name)) group->AddMember(new_name);
  }
  return true;
}

bool SecurityDatabase::CopyGroupRights(std::string_view new_name, std::string_view source_name) {
  ++generation_;
  if (EqualExactly(new_name, source_name)) return true;
  for (auto& right : rights_) {
    if (right->IsMember(source_name)) right->AddMember(new_name);
  }
  return true;
}

bool SecurityDatabase::IsNameInUse(std::string_view candidate, std::string_view current) const {
  // A record counts when its name matches the candidate and not the current name; matching is
  // equality of folded names, so no record counts when the two names match each other.
  if (EqualIgnoringCase(candidate, current)) return false;
  return group_index_.Has(candidate) || user_index_.Has(candidate);
}

bool SecurityDatabase::IsUserInGroup(std::string_view user, std::string_view group) const {
  const GroupRecord* stored = group_index_.First(group);
  return stored != nullptr && stored->IsMember(user);
}

bool SecurityDatabase::UserHoldsRight(std::string_view user, int right) const {
  if (user.empty()) return false;
  const RightRecord* record = FindStoredRight(right);
  if (record == nullptr) return false;
  const MemberList& groups = record->Members();
  for (std::size_t i = 0; i < groups.Count(); ++i) {
    const GroupRecord* group = group_index_.First(groups.At(i));
    if (group != nullptr && group->IsMember(user)) return true;
  }
  return false;
}

}  // namespace talmor
