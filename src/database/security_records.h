#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "database/member_list.h"

namespace talmor {

// The common base of the records the database holds: it owns them through this base's virtual
// destructor. Records are values; there is no other virtual operation.
class SecurityRecord {
 public:
  virtual ~SecurityRecord() = default;

 protected:
  SecurityRecord() = default;
  SecurityRecord(const SecurityRecord&) = default;
  SecurityRecord& operator=(const SecurityRecord&) = default;
};

// A user account. Out-strings of GetStrings may be null; those are skipped.
class UserRecord final : public SecurityRecord {
 public:
  UserRecord() = default;
  // Both flags 0.
  UserRecord(std::string_view user_name, std::string_view full_name, std::string_view description,
             std::string_view password);
  UserRecord(const UserRecord& other);
  UserRecord& operator=(const UserRecord& other);
  UserRecord(UserRecord&& other) noexcept;
  UserRecord& operator=(UserRecord&& other) noexcept;
  ~UserRecord() override = default;

  // An absent argument leaves its field as it is; a present one, also an empty one, replaces it.
  void SetStrings(OptionalText user_name, OptionalText full_name, OptionalText description,
                  OptionalText password);
  void GetStrings(std::string* user_name, std::string* full_name, std::string* description,
                  std::string* password) const;

  // Store 1 for any non-zero value, else 0.
  void SetCannotChangePassword(int value) { cannot_change_password_ = value != 0 ? 1 : 0; }
  void SetAccountDisabled(int value) { account_disabled_ = value != 0 ? 1 : 0; }
  bool GetCannotChangePassword() const { return cannot_change_password_ != 0; }
  bool GetAccountDisabled() const { return account_disabled_ != 0; }

  // Views into the record: valid until the record is changed, assigned or destroyed.
  std::string_view UserName() const { return Field(0); }
  std::string_view FullName() const { return Field(1); }
  std::string_view Description() const { return Field(2); }
  std::string_view Password() const { return Field(3); }

 private:
  static constexpr int kFieldCount = 4;
  // Texts up to this many bytes in all are kept inside the record: loading a database then
  // allocates nothing per user.
  static constexpr std::size_t kInlineRoom = 104;

  const char* Text() const { return heap_ != nullptr ? heap_.get() : inline_; }
  std::string_view Field(int index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(Text() + begin, ends_[index] - begin);
  }
  void Assign(std::string_view user_name, std::string_view full_name, std::string_view description,
              std::string_view password);
  // Sets the texts of a record that has none yet, in place.
  void Fill(std::string_view user_name, std::string_view full_name, std::string_view description,
            std::string_view password);
  void TakeTexts(UserRecord& other) noexcept;

  // The four texts one after another, in inline_ or, when longer, in heap_; ends_[i] is where
  // field i ends.
  std::unique_ptr<char[]> heap_;
  std::size_t ends_[kFieldCount] = {};
  std::int32_t cannot_change_password_ = 0;
  std::int32_t account_disabled_ = 0;
  char inline_[kInlineRoom];
};

// The membership part shared by groups (members are user names) and rights (members are group
// names). Copy construction and assignment copy the list with CopyFrom, so a copy's members are
// in reverse order.
class MembershipRecord : public SecurityRecord {
 public:
  // Fails for an absent or empty name, a name already listed ignoring case, or a full list.
  bool AddMember(OptionalText name);
  // Fails for an absent or empty name, a name not listed ignoring case, or one listed only in
  // another letter case (removal is exact); otherwise every exactly equal entry goes.
  bool RemoveMember(OptionalText name);
  // Fails for an absent or empty name, an old name not listed ignoring case, a new name listed
  // ignoring case (so also a change of letter case only), or an old name listed only in another
  // letter case; otherwise every entry exactly equal to the old name is renamed in place.
  bool RenameMember(OptionalText old_name, OptionalText new_name);
  // True if the list holds the name ignoring case; false for an absent or empty name.
  bool IsMember(OptionalText name) const { return members_.Contains(name); }
  // The name at `index` (0 = front) into *out; false and *out untouched outside the list.
  bool GetMemberAt(int index, std::string* out) const;
  void ClearMembers() { members_.RemoveAll(); }

  const MemberList& Members() const { return members_; }
  MemberList& Members() { return members_; }

 protected:
  MembershipRecord() = default;
  MembershipRecord(const MembershipRecord& other);
  MembershipRecord& operator=(const MembershipRecord& other);
  ~MembershipRecord() override = default;

 private:
  MemberList members_;
};

class GroupRecord final : public MembershipRecord {
 public:
  GroupRecord() = default;
  GroupRecord(std::string_view group_name, std::string_view description);
  GroupRecord(const GroupRecord&) = default;
  GroupRecord& operator=(const GroupRecord&) = default;
  ~GroupRecord() override = default;

  // An absent argument leaves its field unchanged.
  void SetNameDesc(OptionalText group_name, OptionalText description);
  // Null out-strings are skipped.
  void GetNameDesc(std::string* group_name, std::string* description) const;

  const std::string& GroupName() const { return group_name_; }
  const std::string& Description() const { return description_; }

 private:
  std::string group_name_;
  std::string description_;
};

class RightRecord final : public MembershipRecord {
 public:
  RightRecord() = default;
  explicit RightRecord(std::int32_t right) : right_(right) {}
  RightRecord(const RightRecord&) = default;
  RightRecord& operator=(const RightRecord&) = default;
  ~RightRecord() override = default;

  void SetRight(std::int32_t right) { right_ = right; }
  std::int32_t GetRight() const { return right_; }

 private:
  std::int32_t right_ = 0;
};

}  // namespace talmor
