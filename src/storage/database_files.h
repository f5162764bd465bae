#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "database/security_database.h"
#include "storage/security_options.h"

namespace talmor {

// The four database files, in the order in which they are loaded and saved. Each is looked up
// in the data directory (DataFilePath) afresh at every load and save.
inline constexpr std::string_view kOptionsFileName = "\\OPTIONS.REC";
inline constexpr std::string_view kRightsFileName = "\\RIGHTS.REC";
inline constexpr std::string_view kGroupsFileName = "\\GROUPS.REC";
inline constexpr std::string_view kUsersFileName = "\\USERS.REC";

// Reads the options, the groups granted each right, the groups and the users into `options` and
// `database`, which hold the defaults and the catalogue's rights beforehand. Never fails: a
// missing or unreadable file leaves its part as it was, a damaged one adds what can be read.
// New groups and users go to the front of their collections, so they end up in the reverse of
// file order.
void LoadSecurityDatabase(SecurityDatabase& database, SecurityOptions& options);

// Rewrites the four files from `options` and `database`, in order, each replaced in one step
// (RecordWriter). A failure raises FileException: the files before the failing one are already
// rewritten, the failing one and those after it are as they were.
void SaveSecurityDatabase(const SecurityDatabase& database, const SecurityOptions& options);

// A list value: each name followed by 0x02. Bytes 0x02 inside a name cannot be stored and are
// dropped from it, so that a reload neither splits nor merges names.
void AppendNameToList(std::string& list, std::string_view name);

// The names of a list value: the runs of bytes ended by 0x02, except empty ones. Bytes after the
// last 0x02 are not a name.
std::vector<std::string> SplitNameList(std::string_view list);

}  // namespace talmor
