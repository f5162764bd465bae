#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talmor {

// The two rules by which the system compares names. "Ignoring case" folds the ASCII letters
// A-Z onto a-z, byte by byte; every other byte, including every byte above 0x7F, compares
// exactly. "Exactly" is byte for byte.

// Negative, zero or positive as `a` sorts before, equal to or after `b` ignoring case
// (bytes compared as unsigned after folding).
int CompareIgnoringCase(std::string_view a, std::string_view b);

inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareIgnoringCase(a, b) == 0;
}

inline bool EqualExactly(std::string_view a, std::string_view b) { return a == b; }

inline char FoldAsciiCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A hash that ignores case: names equal ignoring case hash alike, and names differing only in
// their last characters (user1, user2) differ in all bits.
std::uint64_t HashIgnoringCase(std::string_view name);

// The name with its ASCII letters folded: two names are equal ignoring case exactly when their
// folded forms are equal byte for byte. Suitable as a key for lookups by name.
std::string FoldCase(std::string_view name);

}  // namespace talmor
