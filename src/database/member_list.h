#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace talmor {

// A text argument that may be absent. Absent is std::nullopt; a std::string, std::string_view or
// string literal converts implicitly. Never pass a null `const char*`: pass std::nullopt.
using OptionalText = std::optional<std::string_view>;

// An ordered list of names, at most kCapacity of them, into which names are always inserted at
// the front (index 0). Used for the user names of a group and the group names of a right.
//
// Beside the sequence the list keeps a count of its entries by case-folded name, so that
// Contains (the ignoring-case test) costs one hash lookup however long the list is. Every change
// goes through this class, so the count can never disagree with the entries. The count is made
// on the first Contains and is not copied: copies of whole databases stay cheap.
class MemberList {
 public:
  static constexpr std::size_t kCapacity = 1024;

  MemberList() = default;
  // Copies keep the same order; the records' reversing copy is CopyFrom.
  MemberList(const MemberList& other) : names_(other.names_) {}
  MemberList& operator=(const MemberList& other) {
    if (this != &other) {
      names_ = other.names_;
      DropCounts();
    }
    return *this;
  }
  MemberList(MemberList&&) noexcept = default;
  MemberList& operator=(MemberList&&) noexcept = default;

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

  std::size_t Count() const { return names_.size(); }
  bool IsEmpty() const { return names_.empty(); }
  // The entry at `index` counting from the front; index must be below Count().
  const std::string& At(std::size_t index) const { return names_[names_.size() - 1 - index]; }
  void RemoveAll();

 private:
  void CountIn(std::string_view name);
  void CountOut(std::string_view name);
  // Keys compare ignoring case, so a key is kept in the spelling first counted and lookups
  // need no folded copy.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
  };
  struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };

  // Makes the count when there is none yet.
  void CountAll() const;
  void DropCounts() {
    folded_counts_.clear();
    counted_ = false;
  }

  // Stored back to front: names_.back() is index 0, so front insertion is push_back.
  std::vector<std::string> names_;
  // Folded name -> number of entries that fold to it, once counted_.
  mutable std::unordered_map<std::string, std::uint32_t, NameHash, NameEqual> folded_counts_;
  mutable bool counted_ = false;
};

}  // namespace talmor
