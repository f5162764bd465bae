// Random three-way merges checked against a model written from the rules with plain maps: a
// record this side changed takes this side's fields, every other record the files'; member
// lists lose what this side removed and gain what it added, at the front.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "database/database_merge.h"
#include "platform/names.h"

namespace talmor {
namespace {

using Names = std::vector<std::string>;        // front first
using Record = std::pair<std::string, Names>;  // the fields but the members; the members
using Model = std::map<std::string, Record>;   // by "u", "g" or "r" and the folded name

Model Of(const SecurityDatabase& db) {
  Model m;
  auto listed = [](const MemberList& list) {
    Names names;
    for (std::size_t i = 0; i < list.Count(); ++i) names.push_back(list.At(i));
    return names;
  };
  for (int i = 0; const UserRecord* u = db.UserAt(i); ++i) m["u" + FoldCase(u->UserName())] = {std::string(u->UserName()) + '|' + std::string(u->Password()), {}};
  for (int i = 0; const GroupRecord* g = db.GroupAt(i); ++i) m["g" + FoldCase(g->GroupName())] = {g->GroupName() + '|' + g->Description(), listed(g->Members())};
  for (int i = 0; const RightRecord* r = db.RightAt(i); ++i) m["r" + std::to_string(i)] = {"", listed(r->Members())};
  return m;
}

bool Has(const Names& list, const std::string& name) {
  return std::any_of(list.begin(), list.end(), [&](const std::string& n) { return EqualIgnoringCase(n, name); });
}

Model Expected(const Model& base, const Model& ours, const Model& theirs) {
  auto find = [](const Model& m, const std::string& k) { auto it = m.find(k); return it == m.end() ? std::nullopt : std::optional(it->second); };
  Model keys = theirs, out;
  keys.insert(ours.begin(), ours.end());
  for (const auto& [key, unused] : keys) {
    const auto b = find(base, key), o = find(ours, key), t = find(theirs, key);
    if (b == o || !o) {
      if (b == o && t) out[key] = *t;
    } else if (!t) {
      out[key] = *o;
    } else {  // changed here and present there: fields by who changed them, members merged
      Names added, kept, was = b ? b->second : Names{};
      for (const std::string& n : t->second) {
        if (Has(o->second, n) || !Has(was, n)) kept.push_back(n);
      }
      for (const std::string& n : o->second) {
        if (!Has(was, n) && !Has(kept, n)) added.push_back(n);
      }
      added.insert(added.end(), kept.begin(), kept.end());
      out[key] = {b && b->first == o->first ? t->first : o->first, added};
    }
  }
  return out;
}

// A random change of a database whose names are u0..u7 and g0..g4, in mixed letter case.
void Change(SecurityDatabase& db, std::mt19937& rng) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::string user = (pick(2) ? "u" : "U") + std::to_string(pick(8)), group = (pick(2) ? "g" : "G") + std::to_string(pick(5));
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
