// Random three-way merges checked against a model written from the rules with plain maps: a
// record this side changed takes this side's fields, every other record the files'; member
// lists lose what this side removed and gain what it added, at the front.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "database/database_merge.h"
#include "platform/names.h"

namespace talmor {
namespace {

using Names = std::vector<std::string>;  // front first
using Record = std::pair<std::string, Names>;  // every field but the members; the members
using Model = std::map<std::string, Record>;   // users "u", groups "g", rights "r" + name

Names Listed(const MemberList& list) {
  Names names;
  for (std::size_t i = 0; i < list.Count(); ++i) names.push_back(list.At(i));
  return names;
}

Model Of(const SecurityDatabase& db) {
  Model m;
  for (int i = 0; const UserRecord* u = db.UserAt(i); ++i) {
    m["u" + FoldCase(u->UserName())] = {u->UserName() + '|' + u->Password() + std::to_string(u->GetAccountDisabled()), {}};
  }
  for (int i = 0; const GroupRecord* g = db.GroupAt(i); ++i) {
    m["g" + FoldCase(g->GroupName())] = {g->GroupName() + '|' + g->Description(), Listed(g->Members())};
  }
  for (int i = 0; const RightRecord* r = db.RightAt(i); ++i) m["r" + std::to_string(i)] = {"", Listed(r->Members())};
  return m;
}

bool Has(const Names& list, const std::string& name) {
  for (const std::string& n : list) {
    if (EqualIgnoringCase(n, name)) return true;
  }
  return false;
}

Names MergedList(const Names& base, const Names& ours, const Names& theirs) {
  Names merged, kept;
  for (const std::string& n : theirs) {
    if (Has(ours, n) || !Has(base, n)) kept.push_back(n);
  }
  for (const std::string& n : ours) {
    if (!Has(base, n) && !Has(kept, n)) merged.push_back(n);
  }
  merged.insert(merged.end(), kept.begin(), kept.end());
  return merged;
}

Model Expected(const Model& base, const Model& ours, const Model& theirs) {
  auto find = [](const Model& m, const std::string& k) { auto it = m.find(k); return it == m.end() ? std::nullopt : std::optional(it->second); };
  Model keys = theirs, out;
  keys.insert(ours.begin(), ours.end());
  for (const auto& [key, unused] : keys) {
    const auto b = find(base, key), o = find(ours, key), t = find(theirs, key);
    if (b == o) {
      if (t) out[key] = *t;
    } else if (o && t) {
      out[key] = {b && b->first == o->first ? t->first : o->first, MergedList(b ? b->second : Names{}, o->second, t->second)};
    } else if (o) {
      out[key] = *o;
    }
  }
  return out;
}

// A random change of a database whose names are u0..u7 and g0..g4, in mixed letter case.
void Change(SecurityDatabase& db, std::mt19937& rng) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::string user = (pick(2) ? "u" : "U") + std::to_string(pick(8));
  const std::string group = (pick(2) ? "g" : "G") + std::to_string(pick(5));
  GroupRecord g;
  RightRecord r;
  switch (pick(7)) {
    case 0: if (!db.IsNameInUse(user, "")) db.AddUser(UserRecord(user, "", "", "p" + std::to_string(pick(3)))); break;
    case 1: db.EditUser(user, UserRecord(user, "", "", "q" + std::to_string(pick(3)))); break;
    case 2: db.DeleteUser(user); break;
    case 3: if (!db.IsNameInUse(group, "")) db.AddGroup(GroupRecord(group, "d")); break;
    case 4:
      if (!db.FindGroup(group, &g)) break;
      pick(2) ? g.SetNameDesc(std::nullopt, "e" + std::to_string(pick(2))) : void(g.IsMember(user) ? g.RemoveMember(user) : g.AddMember(user));
      db.EditGroup(group, g);
      break;
    case 5: db.DeleteGroup(group); break;
    default: db.FindRight(pick(26), &r), r.IsMember(group) ? r.RemoveMember(group) : r.AddMember(group), db.EditRight(r.GetRight(), r);
  }
}

TEST(DatabaseMerge, RandomMergesFollowTheRules) {
  std::mt19937 rng(23);
  for (int round = 0; round < 3000; ++round) {
    SecurityDatabase base, ours, theirs, merged;
    for (int i = 0; i < 12; ++i) Change(base, rng);
    ours.CopyContentFrom(base);
    theirs.CopyContentFrom(base);
    for (int i = static_cast<int>(rng() % 6); i > 0; --i) Change(ours, rng);
    for (int i = static_cast<int>(rng() % 6); i > 0; --i) Change(theirs, rng);
    MergeDatabases(base, ours, theirs, merged);
    ASSERT_EQ(Of(merged), Expected(Of(base), Of(ours), Of(theirs))) << "round " << round;
  }
}

}  // namespace
}  // namespace talmor
