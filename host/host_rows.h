#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

// The rows of the host's user and group lists: the name the exports take and the text shown.
struct HostRow {
  std::string name;
  std::string shown;
  bool operator==(const HostRow&) const = default;
};

// A user as listed: "name (full name)", or the name alone when the full name is empty.
inline std::string UserRowText(const std::string& name, const std::string& full) {
  return full.empty() ? name : name + " (" + full + ")";
}

// Sorted by name ignoring case, as the library compares names; names equal but for case keep
// byte order, so that the order never depends on the file's.
inline void SortRows(std::vector<HostRow>& rows) {
  auto lower = [](const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  std::sort(rows.begin(), rows.end(), [&](const HostRow& a, const HostRow& b) {
    const std::string la = lower(a.name), lb = lower(b.name);
    return la != lb ? la < lb : a.name < b.name;
  });
}
