#include "database/database_merge.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/names.h"

namespace talmor {

namespace {

bool SameList(const MemberList& a, const MemberList& b) {
  if (a.Count() != b.Count()) return false;
  for (std::size_t i = 0; i < a.Count(); ++i) {
    if (a.At(i) != b.At(i)) return false;
  }
  return true;
}

bool Same(const UserRecord& a, const UserRecord& b) {
  return a.UserName() == b.UserName() && a.FullName() == b.FullName() &&
         a.Description() == b.Description() && a.Password() == b.Password() &&
         a.GetCannotChangePassword() == b.GetCannotChangePassword() &&
         a.GetAccountDisabled() == b.GetAccountDisabled();
}

bool Same(const GroupRecord& a, const GroupRecord& b) {
  return a.GroupName() == b.GroupName() && a.Description() == b.Description() &&
         SameList(a.Members(), b.Members());
}

std::string_view NameOf(const UserRecord& user) { return user.UserName(); }
std::string_view NameOf(const GroupRecord& group) { return group.GroupName(); }
const UserRecord* RecordAt(const SecurityDatabase& db, int i, const UserRecord*) {
  return db.UserAt(i);
}
const GroupRecord* RecordAt(const SecurityDatabase& db, int i, const GroupRecord*) {
  return db.GroupAt(i);
}

// The records of one database by folded name, each name's records in collection order.
template <typename Record>
class ByName {
 public:
  explicit ByName(const SecurityDatabase& db) {
    for (int i = 0;; ++i) {
      const Record* record = RecordAt(db, i, static_cast<const Record*>(nullptr));
      if (record == nullptr) break;
      order_.push_back(record);
      map_[FoldCase(NameOf(*record))].push_back(record);
    }
  }
  const std::vector<const Record*>& Of(const std::string& key) const {
    static const std::vector<const Record*> kNone;
    const auto it = map_.find(key);
    return it == map_.end() ? kNone : it->second;
  }
  bool Has(const std::string& key) const { return map_.count(key) != 0; }
  const std::vector<const Record*>& order() const { return order_; }

 private:
  std::vector<const Record*> order_;
  std::unordered_map<std::string, std::vector<const Record*>> map_;
};

// Whether this process changed the records of a name since the base; remembered per name.
template <typename Record>
class ChangedHere {
 public:
  ChangedHere(const ByName<Record>& base, const ByName<Record>& ours) : base_(base), ours_(ours) {}
  bool operator()(const std::string& key) {
    const auto [it, fresh] = known_.try_emplace(key, false);
    if (fresh) {
      const auto& b = base_.Of(key);
      const auto& o = ours_.Of(key);
      bool differ = b.size() != o.size();
      for (std::size_t i = 0; !differ && i < b.size(); ++i) differ = !Same(*b[i], *o[i]);
      it->second = differ;
    }
    return it->second;
  }

 private:
  const ByName<Record>& base_;
  const ByName<Record>& ours_;
  std::unordered_map<std::string, bool> known_;
};

void MergeUsers(const SecurityDatabase& base_db, const SecurityDatabase& ours_db,
                const SecurityDatabase& theirs_db, SecurityDatabase& result) {
  const ByName<UserRecord> base(base_db), ours(ours_db), theirs(theirs_db);
  ChangedHere<UserRecord> changed(base, ours);
  for (const UserRecord* user : ours.order()) {
    const std::string key = FoldCase(user->UserName());
    if (!theirs.Has(key) && changed(key)) result.AppendUser(*user);
  }
  std::unordered_set<std::string> taken;
  for (const UserRecord* user : theirs.order()) {
    const std::string key = FoldCase(user->UserName());
    if (!changed(key)) {
      result.AppendUser(*user);
    } else if (taken.insert(key).second) {
      for (const UserRecord* mine : ours.Of(key)) result.AppendUser(*mine);
    }
  }
}

void MergeGroups(const SecurityDatabase& base_db, const SecurityDatabase& ours_db,
                 const SecurityDatabase& theirs_db, SecurityDatabase& result) {
  const ByName<GroupRecord> base(base_db), ours(ours_db), theirs(theirs_db);
  ChangedHere<GroupRecord> changed(base, ours);
  for (const GroupRecord* group : ours.order()) {
    const std::string key = FoldCase(group->GroupName());
    if (!theirs.Has(key) && changed(key)) result.AppendGroupAsStored(*group);
  }
  const MemberList no_members;
  std::unordered_set<std::string> taken;
  for (const GroupRecord* group : theirs.order()) {
    const std::string key = FoldCase(group->GroupName());
    if (!changed(key)) {
      result.AppendGroupAsStored(*group);
      continue;
    }
    if (!taken.insert(key).second) continue;
    // The records of the name, paired by position: ours (none when deleted here) over theirs.
    const auto& b = base.Of(key);
    const auto& o = ours.Of(key);
    const auto& t = theirs.Of(key);
    for (std::size_t i = 0; i < o.size(); ++i) {
      if (i >= t.size()) {
        result.AppendGroupAsStored(*o[i]);
        continue;
      }
      const GroupRecord* was = i < b.size() ? b[i] : nullptr;
      const bool renamed_here = was == nullptr || was->GroupName() != o[i]->GroupName() ||
                                was->Description() != o[i]->Description();
      const GroupRecord& fields = renamed_here ? *o[i] : *t[i];
      GroupRecord merged(fields.GroupName(), fields.Description());
      merged.Members() = MergeMemberLists(was != nullptr ? was->Members() : no_members,
                                          o[i]->Members(), t[i]->Members());
      result.AppendGroupAsStored(merged);
    }
  }
}

}  // namespace

MemberList MergeMemberLists(const MemberList& base, const MemberList& ours,
                            const MemberList& theirs) {
  if (SameList(base, ours)) return theirs;
  std::unordered_set<std::string> in_base, in_ours;
  for (std::size_t i = 0; i < base.Count(); ++i) in_base.insert(FoldCase(base.At(i)));
  for (std::size_t i = 0; i < ours.Count(); ++i) in_ours.insert(FoldCase(ours.At(i)));

  std::vector<const std::string*> kept;  // theirs' names that stay, front first
  for (std::size_t i = 0; i < theirs.Count(); ++i) {
    const std::string folded = FoldCase(theirs.At(i));
    if (in_ours.count(folded) != 0 || in_base.count(folded) == 0) kept.push_back(&theirs.At(i));
  }
  std::vector<const std::string*> added;  // ours' new names, front first
  for (std::size_t i = 0; i < ours.Count(); ++i) {
    if (in_base.count(FoldCase(ours.At(i))) == 0) added.push_back(&ours.At(i));
  }

  MemberList merged;
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) merged.Add(**it);
  for (auto it = added.rbegin(); it != added.rend(); ++it) {
    if (!merged.Contains(**it)) merged.Add(**it);
  }
  return merged;
}

void MergeDatabases(const SecurityDatabase& base, const SecurityDatabase& ours,
                    const SecurityDatabase& theirs, SecurityDatabase& result) {
  MergeUsers(base, ours, theirs, result);
  MergeGroups(base, ours, theirs, result);
  for (int i = 0; i < SecurityDatabase::kRightCount; ++i) {
    const RightRecord* mine = ours.RightAt(i);
    const RightRecord* was = base.RightAt(i);
    const RightRecord* now = theirs.RightAt(i);
    if (mine == nullptr || was == nullptr || now == nullptr) continue;
    result.SetRightMembersAsStored(mine->GetRight(),
                                   MergeMemberLists(was->Members(), mine->Members(),
                                                    now->Members()));
  }
}

}  // namespace talmor
