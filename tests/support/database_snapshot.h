#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "database/security_database.h"
#include "storage/security_options.h"

namespace talmor {

// Everything a load gives, as plain values, per file: for comparing one load with another.
struct DatabaseSnapshot {
  std::string options;
  std::vector<std::string> rights;  // right 0 first
  std::vector<std::string> groups;  // collection order
  std::vector<std::string> users;   // collection order

  bool operator==(const DatabaseSnapshot&) const = default;

  // The groups and users in the opposite order: what a save and reload of this one gives.
  DatabaseSnapshot Reversed() const {
    DatabaseSnapshot r = *this;
    std::reverse(r.groups.begin(), r.groups.end());
    std::reverse(r.users.begin(), r.users.end());
    return r;
  }

  // The member names, sorted: the order of a member list is not kept by a copy.
  static std::string Members(const MembershipRecord& record) {
    std::vector<std::string> names;
    std::string name;
    for (int i = 0; record.GetMemberAt(i, &name); ++i) names.push_back(name);
    std::sort(names.begin(), names.end());
    std::string list;
    for (const std::string& n : names) list += n + '\x02';
    return list;
  }

  static DatabaseSnapshot Of(const SecurityDatabase& db, const SecurityOptions& o) {
    DatabaseSnapshot s;
    for (int v : {o.SecurityDisable, o.IndividualINI, o.AuditEnable, o.AuditLogon, o.AuditPolicy,
                  o.AuditObject, o.AuditOther, o.AuditMaxEvents, o.AuditOverwrite,
                  o.BlankPasswordOK, o.PasswordMinChars}) {
      s.options += std::to_string(v) + ',';
    }
    RightRecord right;
    for (int n = 0; db.FindRight(n, &right); ++n) s.rights.push_back(Members(right));
    GroupRecord group;
    for (int i = 0; db.GetGroupAt(i, &group); ++i) {
      s.groups.push_back(group.GroupName() + '\x01' + group.Description() + '\x01' +
                         Members(group));
    }
    for (int i = 0; i < db.UserCount(); ++i) {
      const UserRecord& u = *db.UserAt(i);
      s.users.push_back(std::string(u.UserName()) + '\x01' + std::string(u.FullName()) + '\x01' + std::string(u.Description()) + '\x01' +
                        std::string(u.Password()) + '\x01' + (u.GetCannotChangePassword() ? '1' : '0') +
                        (u.GetAccountDisabled() ? '1' : '0'));
    }
    return s;
  }
};

}  // namespace talmor
