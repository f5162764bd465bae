#include "database/security_records.h"

namespace talmor {

namespace {
bool IsPresent(OptionalText name) { return name.has_value() && !name->empty(); }

void Store(OptionalText value, std::string& field) {
  if (value.has_value()) field.assign(*value);
}

void Yield(const std::string& field, std::string* out) {
  if (out != nullptr) *out = field;
}
}  // namespace

UserRecord::UserRecord(std::string_view user_name, std::string_view full_name,
                       std::string_view description, std::string_view password)
    : user_name_(user_name),
      full_name_(full_name),
      description_(description),
      password_(password) {}

void UserRecord::SetStrings(OptionalText user_name, OptionalText full_name,
                            OptionalText description, OptionalText password) {
  Store(user_name, user_name_);
  Store(full_name, full_name_);
  Store(description, description_);
  Store(password, password_);
}

void UserRecord::GetStrings(std::string* user_name, std::string* full_name,
                            std::string* description, std::string* password) const {
  Yield(user_name_, user_name);
  Yield(full_name_, full_name);
  Yield(description_, description);
  Yield(password_, password);
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
