#include "database/member_list.h"

#include <algorithm>

#include "platform/names.h"

namespace talmor {

namespace {
bool IsPresent(OptionalText name) { return name.has_value() && !name->empty(); }

// One more entry of the name in the count. Most names are new to a list, so the entry is made
// first: the name is hashed once.
template <typename Counts>
void CountOne(Counts& counts, std::string_view name) {
  ++counts.emplace(std::string(name), 0u).first->second;
}
}  // namespace

std::size_t MemberList::NameHash::operator()(std::string_view name) const {
  return static_cast<std::size_t>(HashIgnoringCase(name));
}

bool MemberList::NameEqual::operator()(std::string_view a, std::string_view b) const {
  return EqualIgnoringCase(a, b);
}

void MemberList::CountAll() const {
  if (counted_) return;
  folded_counts_.clear();
  for (const std::string& name : names_) CountOne(folded_counts_, name);
  counted_ = true;
}

void MemberList::CountIn(std::string_view name) {
  if (counted_) CountOne(folded_counts_, name);
}

void MemberList::CountOut(std::string_view name) {
  if (!counted_) return;
  auto it = folded_counts_.find(name);
  if (it != folded_counts_.end() && --it->second == 0) folded_counts_.erase(it);
}

bool MemberList::Add(OptionalText name) {
  if (!IsPresent(name) || names_.size() >= kCapacity) return false;
  names_.emplace_back(*name);
  CountIn(*name);
  return true;
}

bool MemberList::AddUnlisted(OptionalText name) {
  if (!IsPresent(name) || names_.size() >= kCapacity) return false;
  CountAll();
  if (!folded_counts_.emplace(std::string(*name), 1u).second) return false;
  names_.emplace_back(*name);
  return true;
}

bool MemberList::Remove(OptionalText name) {
  if (!IsPresent(name) || names_.empty()) return false;
  const std::string_view target = *name;
  const auto first = std::remove(names_.begin(), names_.end(), target);
  const auto removed = static_cast<std::size_t>(names_.end() - first);
  if (removed == 0) return false;
  names_.erase(first, names_.end());
  if (!counted_) return true;
  auto it = folded_counts_.find(target);
  if (it != folded_counts_.end()) {
    it->second -= static_cast<std::uint32_t>(removed);
    if (it->second == 0) folded_counts_.erase(it);
  }
  return true;
}

bool MemberList::Rename(OptionalText old_name, OptionalText new_name) {
  if (!IsPresent(old_name) || !IsPresent(new_name) || names_.empty()) return false;
  bool renamed = false;
  for (std::string& entry : names_) {
    if (EqualExactly(entry, *old_name)) {
      CountOut(entry);
      entry.assign(*new_name);
      CountIn(entry);
      renamed = true;
    }
  }
  return renamed;
}

bool MemberList::Contains(OptionalText name) const {
  if (!IsPresent(name) || names_.empty()) return false;
  CountAll();
  return folded_counts_.find(*name) != folded_counts_.end();
}

void MemberList::CopyFrom(const MemberList& other) {
  if (&other == this) {
    std::reverse(names_.begin(), names_.end());
    return;
  }
  names_.assign(other.names_.rbegin(), other.names_.rend());
  DropCounts();
}

bool MemberList::RemoveIgnoringCase(std::string_view name) {
  if (name.empty() || !Contains(name)) return false;
  std::erase_if(names_,
                [name](const std::string& entry) { return EqualIgnoringCase(entry, name); });
  if (const auto it = folded_counts_.find(name); it != folded_counts_.end()) {
    folded_counts_.erase(it);
  }
  return true;
}

bool MemberList::RenameIgnoringCase(std::string_view old_name, std::string_view new_name) {
  if (old_name.empty() || new_name.empty() || !Contains(old_name)) return false;
  for (std::string& entry : names_) {
    if (EqualIgnoringCase(entry, old_name)) {
      CountOut(entry);
      entry.assign(new_name);
      CountIn(entry);
    }
  }
  return true;
}

void MemberList::RemoveAll() {
  names_.clear();
  DropCounts();
}

}  // namespace talmor
