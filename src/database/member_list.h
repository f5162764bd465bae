#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talmor {

// A text argument that may be absent. Absent is std::nullopt; a std::string, std::string_view or
// string literal converts implicitly. Never pass a null `const char*`: pass std::nullopt.
using OptionalText = std::optional<std::string_view>;

// An ordered list of names, at most kCapacity of them, into which names are always inserted at
// the front (index 0). Used for the user names of a group and the group names of a right.
//
// Beside the sequence the list keeps an index of its distinct names ignoring case, so that
// Contains (the ignoring-case test) costs one probe however long the list is: a flat open table
// of positions in the sequence, no allocation per entry. Every change goes through this class,
// so the index can never disagree with the entries: changes that move or rewrite entries drop
// it, and it is made again on the next Contains. It is not copied: copies of whole databases
// stay cheap.
class MemberList {
 public:
  static constexpr std::size_t kCapacity = 1024;

  MemberList() = default;
  // Copies keep the same order; the records' reversing copy is CopyFrom.
  MemberList(const MemberList& other) : names_(other.names_) {}
  MemberList& operator=(const MemberList& other) {
    if (this != &other) {
      names_ = other.names_;
      DropIndex();
    }
    return *this;
  }
  // A moved-from list is empty.
  MemberList(MemberList&& other) noexcept { *this = std::move(other); }
  MemberList& operator=(MemberList&& other) noexcept {
    if (this != &other) {
      names_ = std::move(other.names_);
      slots_ = std::move(other.slots_);
      distinct_ = other.distinct_;
      indexed_ = other.indexed_;
      other.names_.clear();
      other.DropIndex();
    }
    return *this;
  }

  // Inserts the name at the front. False for an absent or empty name or a full list.
  bool Add(OptionalText name);
  // Inserts the name at the front unless it is absent or empty, listed ignoring case, or the
  // list is full; true if inserted. One hash of the name where Contains then Add take two.
  bool AddUnlisted(OptionalText name);
  // Removes every entry exactly equal to the name. True if at least one went.
  bool Remove(OptionalText name);
  // Replaces every entry exactly equal to `old_name` by `new_name` in place. True if at least
  // one entry was replaced.
  bool Rename(OptionalText old_name, OptionalText new_name);
  // True if some entry equals the name ignoring case; false for an absent or empty name.
  bool Contains(OptionalText name) const;
  // Empties this list, then inserts the other's names at the front from its front to its back:
  // this list ends with the same names in reverse order. No capacity or duplicate check.
  // CopyFrom(*this) reverses the list in place.
  void CopyFrom(const MemberList& other);

  // Removes every entry equal to the name ignoring case. True if at least one went.
  bool RemoveIgnoringCase(std::string_view name);
  // Replaces every entry equal to `old_name` ignoring case by `new_name`, in place. True if at
  // least one was replaced. `new_name` must not be empty.
  bool RenameIgnoringCase(std::string_view old_name, std::string_view new_name);

  // Makes room for `count` names in all (at most the capacity), so that adding them neither moves
  // the names nor grows the index step by step; a hint only.
  void Reserve(std::size_t count);

  std::size_t Count() const { return names_.size(); }
  bool IsEmpty() const { return names_.empty(); }
  // The entry at `index` counting from the front; index must be below Count().
  const std::string& At(std::size_t index) const { return names_[names_.size() - 1 - index]; }
  void RemoveAll();

 private:
  // One slot of the index: the low 16 bits of the name's hash (enough to place it in any table
  // a full list needs) and 1 + the position in names_ of one entry of that name (0: a free
  // slot).
  struct Slot {
    std::uint16_t hash;
    std::uint16_t entry;
  };
  static_assert(kCapacity * 2 <= 0xFFFF, "positions and table sizes must fit a slot");

  // Makes the index when there is none yet.
  void IndexAll() const;
  void DropIndex() {
    slots_.clear();
    distinct_ = 0;
    indexed_ = false;
  }
  // The slot of the name ignoring case, or the free slot where it would go. The index must
  // exist and have a free slot.
  Slot& Probe(std::string_view name, std::uint16_t hash) const;
  // Indexes names_[entry] unless its name is indexed already; true if it was not.
  bool IndexEntry(std::size_t entry, std::uint16_t hash) const;
  // Doubles the table (or makes the first one) when one more name would fill it over half.
  void ReserveOneMore() const;
  // Moves the index to a table of `size` slots.
  void Rehash(std::size_t size) const;

  // Stored back to front: names_.back() is index 0, so front insertion is push_back, and the
  // positions the index holds stay valid as names are added.
  std::vector<std::string> names_;
  // Open table probed linearly, empty or a power of two in size, at most half full, once
  // indexed_.
  mutable std::vector<Slot> slots_;
  mutable std::size_t distinct_ = 0;
  mutable bool indexed_ = false;
};

}  // namespace talmor
