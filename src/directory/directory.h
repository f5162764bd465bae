#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_client.h"
#include "directory/directory_settings.h"

namespace talmor {

// What the directory says of a user: the status and, on kOk, the local groups its directory
// groups map to (each once, in the order of the mappings; never empty on kOk).
struct DirectoryAnswer {
  DirectoryStatus status = DirectoryStatus::kError;
  std::vector<std::string> local_groups;
};

// A log-on: finds `name` with the search account, collects its groups (memberOf on the entry,
// member/uniqueMember on each mapped group), then checks `password` by a bind as its DN. An
// empty password is refused before any contact (an empty simple bind would be anonymous).
DirectoryAnswer DirectoryLogOn(const DirectorySettings& settings, std::string_view name,
                               std::string_view password);

// The same without a password, for a user logged on by another process.
DirectoryAnswer DirectoryLookUp(const DirectorySettings& settings, std::string_view name);

// The text the log-on dialog shows for a refusal; empty for the usual failure.
std::string_view DirectoryRefusalText(DirectoryStatus status);

}  // namespace talmor
