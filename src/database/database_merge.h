#pragma once

#include "database/member_list.h"
#include "database/security_database.h"

namespace talmor {

// Three-way merge of the security database, for a save made over files that another process
// has saved since this one last loaded or saved them.
//
// `base` is the database as this process last loaded or saved it, `ours` this process's working
// database, `theirs` what the files hold now. Users and groups are matched by name ignoring
// case, rights by number.
// - Users: a name whose records in `ours` differ from those in `base` (added, changed or
//   deleted here) takes ours; every other name takes theirs, including names another process
//   added, changed or deleted.
// - Groups: a group deleted here stays deleted; a group added or changed here and missing from
//   theirs is ours as it stands; otherwise its name and description are ours if changed here,
//   else theirs, and its members merge as below.
// - Rights: the granted groups merge as below.
// - Member lists merge by name (MergeMemberLists).
// Order: records taken from theirs keep theirs' order; records of ours that theirs lacks go to
// the front, in ours' order. `result` must be freshly constructed.
void MergeDatabases(const SecurityDatabase& base, const SecurityDatabase& ours,
                    const SecurityDatabase& theirs, SecurityDatabase& result);

// Theirs' names, without the names `ours` removed since `base` and with the names `ours` added
// since `base` at the front, in ours' order (names theirs lists already are not added twice;
// names beyond the capacity are dropped). Names compare ignoring case. Lists are as stored
// (index 0 = front).
MemberList MergeMemberLists(const MemberList& base, const MemberList& ours,
                            const MemberList& theirs);

}  // namespace talmor
