#include "database/member_list.h"

#include <algorithm>

#include "platform/names.h"

namespace talmor {

namespace {
bool IsPresent(OptionalText name) { return name.has_value() && !name->empty(); }

// The first table's size: lists of a few dozen names need no growing.
constexpr std::size_t kFirstTable = 64;

std::uint16_t IndexHash(std::string_view name) {
  return static_cast<std::uint16_t>(HashIgnoringCase(name));
}
}  // namespace

MemberList::Slot& MemberList::Probe(std::string_view name, std::uint16_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.entry == 0) return slot;
    if (slot.hash == hash && EqualIgnoringCase(names_[slot.entry - 1], name)) return slot;
  }
}

void MemberList::ReserveOneMore() const {
  if ((distinct_ + 1) * 2 <= slots_.size()) return;
  Rehash(slots_.empty() ? kFirstTable : slots_.size() * 2);
}

void MemberList::Reserve(std::size_t count) {
  count = std::min(count, kCapacity);
  names_.reserve(count);
  IndexAll();
  std::size_t size = slots_.size();
  while (size < count * 2) size *= 2;
  if (size != slots_.size()) Rehash(size);
}

void MemberList::Rehash(std::size_t size) const {
  std::vector<Slot> old(size, Slot{0, 0});
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.entry == 0) continue;
    std::size_t i = slot.hash & mask;
    while (slots_[i].entry != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

bool MemberList::IndexEntry(std::size_t entry, std::uint16_t hash) const {
  ReserveOneMore();
  Slot& slot = Probe(names_[entry], hash);
  if (slot.entry != 0) return false;
  slot = Slot{hash, static_cast<std::uint16_t>(entry + 1)};
  ++distinct_;
  return true;
}

void MemberList::IndexAll() const {
  if (indexed_) return;
  slots_.clear();
  distinct_ = 0;
  std::size_t size = kFirstTable;
  while (size < names_.size() * 2) size *= 2;
  slots_.assign(size, Slot{0, 0});
  for (std::size_t i = 0; i < names_.size(); ++i) IndexEntry(i, IndexHash(names_[i]));
  indexed_ = true;
}

bool MemberList::Add(OptionalText name) {
  if (!IsPresent(name) || names_.size() >= kCapacity) return false;
  names_.emplace_back(*name);
  if (indexed_) IndexEntry(names_.size() - 1, IndexHash(*name));
  return true;
}

bool MemberList::AddUnlisted(OptionalText name) {
  if (!IsPresent(name) || names_.size() >= kCapacity) return false;
  IndexAll();
  ReserveOneMore();
  const std::uint16_t hash = IndexHash(*name);
  Slot& slot = Probe(*name, hash);
  if (slot.entry != 0) return false;
  names_.emplace_back(*name);
  slot = Slot{hash, static_cast<std::uint16_t>(names_.size())};
  ++distinct_;
  return true;
}

bool MemberList::Remove(OptionalText name) {
  if (!IsPresent(name) || names_.empty()) return false;
  const auto first = std::remove(names_.begin(), names_.end(), *name);
  if (first == names_.end()) return false;
  names_.erase(first, names_.end());
  DropIndex();  // the entries after the removed ones moved
  return true;
}

bool MemberList::Rename(OptionalText old_name, OptionalText new_name) {
  if (!IsPresent(old_name) || !IsPresent(new_name) || names_.empty()) return false;
  bool renamed = false;
  for (std::string& entry : names_) {
    if (EqualExactly(entry, *old_name)) {
      entry.assign(*new_name);
      renamed = true;
    }
  }
  if (renamed) DropIndex();
  return renamed;
}

bool MemberList::Contains(OptionalText name) const {
  if (!IsPresent(name) || names_.empty()) return false;
  IndexAll();
  return Probe(*name, IndexHash(*name)).entry != 0;
}

void MemberList::CopyFrom(const MemberList& other) {
  if (&other == this) {
    std::reverse(names_.begin(), names_.end());
    // The same names, at mirrored positions.
    const auto last = static_cast<std::uint16_t>(names_.size() + 1);
    for (Slot& slot : slots_) {
      slot.entry = static_cast<std::uint16_t>(slot.entry == 0 ? 0 : last - slot.entry);
    }
    return;
  }
  names_.assign(other.names_.rbegin(), other.names_.rend());
  DropIndex();
}

bool MemberList::RemoveIgnoringCase(std::string_view name) {
  if (name.empty() || !Contains(name)) return false;
  std::erase_if(names_,
                [name](const std::string& entry) { return EqualIgnoringCase(entry, name); });
  DropIndex();
  return true;
}

bool MemberList::RenameIgnoringCase(std::string_view old_name, std::string_view new_name) {
  if (old_name.empty() || new_name.empty() || !Contains(old_name)) return false;
  for (std::string& entry : names_) {
    if (EqualIgnoringCase(entry, old_name)) entry.assign(new_name);
  }
  DropIndex();
  return true;
}

void MemberList::RemoveAll() {
  names_.clear();
  DropIndex();
}

}  // namespace talmor
