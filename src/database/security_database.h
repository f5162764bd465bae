#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "database/record_store.h"
#include "database/security_records.h"
#include "platform/names.h"

namespace talmor {

// Every user, group and right assignment, in memory, with the operations that keep the name
// links between them consistent. No input or output.
//
// Order: `Rights` runs from right 25 at the front to right 0 at the back; users and groups run
// from the most recently added to the oldest. Positions count from the front, from 0.
// Lookups by name ignore case and take the first record from the front.
//
// Beside the sequences the database keeps an index of users and groups by case-folded name
// (each entry knows its record's insertion number, so the first match from the front is the
// entry with the highest number). Records only ever enter at the front and never move, so
// insertion order is position order. The index is kept by the operations below; the stored
// user and group records are never handed out for change. Member lists index themselves
// (MemberList), so changes made directly to stored right records need no refresh here.
class SecurityDatabase {
 public:
  static constexpr int kRightCount = 26;

  SecurityDatabase();
  virtual ~SecurityDatabase();
  SecurityDatabase(const SecurityDatabase&) = delete;
  SecurityDatabase& operator=(const SecurityDatabase&) = delete;

  // Out records may be null when only the result matters; they are left untouched on false.
  bool GetUserAt(int index, UserRecord* out) const;
  bool FindUser(std::string_view name, UserRecord* out) const;
  // Always true: a copy goes to the front of the users.
  bool AddUser(const UserRecord& user);
  // A user to add by its fields, the texts viewed, not held.
  struct UserFields {
    std::string_view user_name, full_name, description, password;
    std::int32_t cannot_change_password = 0, account_disabled = 0;
  };
  // Adds each user in turn as AddUser would (the last one ends at the front), the records made
  // in place. The index slots are fetched for all of them first: with many users they are rarely
  // cached, and a loader adds users by the thousand.
  void AddUsers(const UserFields* users, std::size_t count);
  // Makes room in the user index for `count` users more, so that adding them does not grow it
  // step by step; a hint only, any number can still be added.
  void ReserveUsers(std::size_t count) { user_index_.Reserve(user_index_.size + count); }
  // Replaces every user matching `name` by the new record's fields and renames it in the groups.
  bool EditUser(std::string_view name, const UserRecord& user);
  // Deletes every user matching `name` and removes it from the groups.
  bool DeleteUser(std::string_view name);

  bool GetGroupAt(int index, GroupRecord* out) const;
  bool FindGroup(std::string_view name, GroupRecord* out) const;
  bool AddGroup(const GroupRecord& group);
  // The same, taking the record's members over (stored reversed, as a copy would be).
  bool AddGroup(GroupRecord&& group);
  // Replaces name, description and members of the first group matching `name`, and renames it
  // in the rights.
  bool EditGroup(std::string_view name, const GroupRecord& group);
  // Deletes every group matching `name` and removes it from the rights. Users are untouched.
  bool DeleteGroup(std::string_view name);

  bool FindRight(int right, RightRecord* out) const;
  // Replaces the groups granted the right. The stored right keeps its number.
  bool EditRight(int right, const RightRecord& record);

  // Always true. Adds `new_name` to every group that lists `source_name` ignoring case, unless
  // the two names are exactly equal.
  bool CopyUserMemberships(std::string_view new_name, std::string_view source_name);
  // Always true. Grants `new_name` every right whose groups list `source_name` ignoring case.
  bool CopyGroupRights(std::string_view new_name, std::string_view source_name);
  // True if a group or user whose name does not match `current` has the name `candidate`.
  bool IsNameInUse(std::string_view candidate, std::string_view current) const;

  // Queries without copies. Their answers equal the plain walks:
  // IsUserInGroup: FindGroup(group) succeeds and that group's IsMember(user).
  // UserHoldsRight: for some group name listed by the right, FindGroup of it succeeds and that
  // first matching group's IsMember(user). False for a right number outside 0..25.
  bool IsUserInGroup(std::string_view user, std::string_view group) const;
  bool UserHoldsRight(std::string_view user, int right) const;

  int UserCount() const { return static_cast<int>(users_.size()); }
  int GroupCount() const { return static_cast<int>(groups_.size()); }
  // The stored record at a position, or null outside the collection; for reading only.
  const UserRecord* UserAt(int index) const;
  const GroupRecord* GroupAt(int index) const;
  const RightRecord* RightAt(int index) const;

  // ---- Whole-database copies and merges ----
  //
  // The records below keep the member order they are given: `stored` lists are in the order
  // the database itself stores (index 0 = front), not reversed as a record copy would be.

  // Replaces everything this database holds by a copy of `other`, in the same order.
  void CopyContentFrom(const SecurityDatabase& other);
  // Exchanges everything the two databases hold; both count as changed.
  void SwapContent(SecurityDatabase& other);
  // Appends a copy at the back of the users or groups (a group with its members as listed).
  void AppendUser(const UserRecord& user);
  void AppendGroupAsStored(const GroupRecord& group);
  // Replaces the groups granted a right by `stored`, as listed. False for a number not 0..25.
  bool SetRightMembersAsStored(int right, const MemberList& stored);

  // A number that changes whenever the users, groups or right assignments may have changed
  // (every call of a changing operation, and every access to a stored right for change), so
  // that answers derived from the database can be kept until it moves.
  std::uint64_t generation() const { return generation_; }

 protected:
  // The stored right records, in collection order (right 25 first). Changes to their members
  // (AddMember and the like) need no notification. Their numbers should not be changed.
  int RightCount() const { return static_cast<int>(rights_.size()); }
  RightRecord& StoredRightAt(int index) {
    ++generation_;
    return *rights_[static_cast<std::size_t>(index)];
  }
  template <typename Fn>
  void ForEachStoredRight(Fn&& fn) {
    ++generation_;
    for (auto& right : rights_) fn(*right);
  }

 private:
  // Name ignoring case -> (insertion number, record) of every record with that name: an open
  // table probed linearly, at most three quarters full. Entries keep no name of their own; they compare
  // against their record's current name, so a record's name changes only while it is out of
  // the index.
  template <typename Record>
  struct NameIndex {
    struct Entry {
      std::uint64_t hash;
      std::uint64_t sequence;
      Record* record;  // null: a free slot
    };
    std::vector<Entry> slots;  // empty, or a power of two in size
    std::size_t size = 0;

    void Insert(std::string_view name, std::uint64_t sequence, Record* record) {
      InsertHashed(HashIgnoringCase(name), sequence, record);
    }
    // The same, given the name's HashIgnoringCase.
    void InsertHashed(std::uint64_t hash, std::uint64_t sequence, Record* record);
    // Asks for the memory of the slot a name of this hash starts probing at, so that an insert
    // soon after finds it at hand.
    void Prefetch(std::uint64_t hash) const;
    // Removes the record's entry under `name`; returns its insertion number.
    std::uint64_t Erase(std::string_view name, const Record* record);
    // The first match from the front, or null.
    Record* First(std::string_view name) const;
    // Every match, from the front.
    std::vector<Record*> All(std::string_view name) const;
    bool Has(std::string_view name) const { return First(name) != nullptr; }
    void Clear() {
      slots.clear();
      size = 0;
    }
    // Calls fn(entry) for every entry whose record is named `name` ignoring case.
    template <typename Fn>
    void ForEachMatch(std::string_view name, Fn&& fn) const;
    void Grow();
    // Grows the table at once to hold `count` entries.
    void Reserve(std::size_t count);
  };

  RightRecord* FindStoredRight(int right) const;
  // Brings a member list along when a record named `old_name` is renamed to `new_name`.
  // `stale` says no record of the old name is left, so its entries must not stay behind.
  static void RenameInList(MembershipRecord& record, const std::string& old_name,
                           const std::string& new_name, bool stale);

  std::deque<std::unique_ptr<RightRecord>> rights_;
  RecordStore<GroupRecord> groups_;
  RecordStore<UserRecord> users_;
  NameIndex<GroupRecord> group_index_;
  NameIndex<UserRecord> user_index_;
  // Records added at the front take rising numbers, records appended at the back falling ones.
  static constexpr std::uint64_t kFirstSequence = std::uint64_t{1} << 62;
  std::uint64_t next_sequence_ = kFirstSequence;
  std::uint64_t back_sequence_ = kFirstSequence - 1;
  std::uint64_t generation_ = 0;
};

}  // namespace talmor
