#include "database/security_records.h"

#include <algorithm>
#include <cstring>

namespace talmor {

namespace {
bool IsPresent(OptionalText name) { return name.has_value() && !name->empty(); }

void Store(OptionalText value, std::string& field) {
  if (value.has_value()) field.assign(*value);
}

void Yield(std::string_view field, std::string* out) {
  if (out != nullptr) out->assign(field);
}
}  // namespace

UserRecord::UserRecord(std::string_view user_name, std::string_view full_name,
                       std::string_view description, std::string_view password) {
  Fill(user_name, full_name, description, password);
}

UserRecord::UserRecord(const UserRecord& other)
    : SecurityRecord(other),
      cannot_change_password_(other.cannot_change_password_),
      account_disabled_(other.account_disabled_) {
  Fill(other.UserName(), other.FullName(), other.Description(), other.Password());
}

UserRecord& UserRecord::operator=(const UserRecord& other) {
  if (this != &other) {
    Assign(other.UserName(), other.FullName(), other.Description(), other.Password());
    cannot_change_password_ = other.cannot_change_password_;
    account_disabled_ = other.account_disabled_;
  }
  return *this;
}

UserRecord::UserRecord(UserRecord&& other) noexcept
    : SecurityRecord(other),
      cannot_change_password_(other.cannot_change_password_),
      account_disabled_(other.account_disabled_) {
  TakeTexts(other);
}

UserRecord& UserRecord::operator=(UserRecord&& other) noexcept {
  if (this != &other) {
    TakeTexts(other);
    cannot_change_password_ = other.cannot_change_password_;
    account_disabled_ = other.account_disabled_;
  }
  return *this;
}

void UserRecord::TakeTexts(UserRecord& other) noexcept {
  heap_ = std::move(other.heap_);
  if (heap_ == nullptr) std::memcpy(inline_, other.inline_, other.ends_[kFieldCount - 1]);
  std::copy(other.ends_, other.ends_ + kFieldCount, ends_);
  std::fill(other.ends_, other.ends_ + kFieldCount, 0);
}

void UserRecord::Assign(std::string_view user_name, std::string_view full_name,
                        std::string_view description, std::string_view password) {
  // The arguments may view this record's own text: the new text is built apart, then taken.
  UserRecord built(user_name, full_name, description, password);
  TakeTexts(built);
}

void UserRecord::Fill(std::string_view user_name, std::string_view full_name,
                      std::string_view description, std::string_view password) {
  const std::string_view fields[kFieldCount] = {user_name, full_name, description, password};
  const std::size_t total =
      user_name.size() + full_name.size() + description.size() + password.size();
  if (total > kInlineRoom) heap_.reset(new char[total]);
  char* out = heap_ != nullptr ? heap_.get() : inline_;
  std::size_t at = 0;
  for (int i = 0; i < kFieldCount; ++i) {
    if (!fields[i].empty()) std::memcpy(out + at, fields[i].data(), fields[i].size());
    at += fields[i].size();
    ends_[i] = at;
  }
}

void UserRecord::SetStrings(OptionalText user_name, OptionalText full_name,
                            OptionalText description, OptionalText password) {
  Assign(user_name.value_or(UserName()), full_name.value_or(FullName()),
         description.value_or(Description()), password.value_or(Password()));
}

void UserRecord::GetStrings(std::string* user_name, std::string* full_name,
                            std::string* description, std::string* password) const {
  Yield(UserName(), user_name);
  Yield(FullName(), full_name);
  Yield(Description(), description);
  Yield(Password(), password);
}

MembershipRecord::MembershipRecord(const MembershipRecord& other) : SecurityRecord(other) {
  members_.CopyFrom(other.members_);
}

MembershipRecord& MembershipRecord::operator=(const MembershipRecord& other) {
  // Assigning a record to itself keeps it as it is.
  if (this != &other) members_.CopyFrom(other.members_);
  return *this;
}

bool MembershipRecord::AddMember(OptionalText name) {
  return members_.AddUnlisted(name);
}

bool MembershipRecord::RemoveMember(OptionalText name) {
  if (!IsPresent(name) || !members_.Contains(name)) return false;
  return members_.Remove(name);
}

bool MembershipRecord::RenameMember(OptionalText old_name, OptionalText new_name) {
  if (!IsPresent(old_name) || !IsPresent(new_name)) return false;
  if (!members_.Contains(old_name) || members_.Contains(new_name)) return false;
  return members_.Rename(old_name, new_name);
}

bool MembershipRecord::GetMemberAt(int index, std::string* out) const {
  if (index < 0 || static_cast<std::size_t>(index) >= members_.Count()) return false;
  if (out != nullptr) *out = members_.At(static_cast<std::size_t>(index));
  return true;
}

GroupRecord::GroupRecord(std::string_view group_name, std::string_view description)
    : group_name_(group_name), description_(description) {}

void GroupRecord::SetNameDesc(OptionalText group_name, OptionalText description) {
  Store(group_name, group_name_);
  Store(description, description_);
}

void GroupRecord::GetNameDesc(std::string* group_name, std::string* description) const {
  Yield(group_name_, group_name);
  Yield(description_, description);
}

}  // namespace talmor
