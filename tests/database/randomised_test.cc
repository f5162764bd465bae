// Long random sequences of operations, checked after every step against a plain model that
// keeps the records in vectors and answers every question by walking them, as the rules are
// written. A stale name index, a stale member count or a wrong cascade shows up as a difference.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "database/security_database.h"
#include "platform/names.h"

namespace talmor {
namespace {

using Names = std::vector<std::string>;  // front first

bool ListHas(const Names& list, std::string_view name) {
  if (name.empty()) return false;
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& e) { return EqualIgnoringCase(e, name); });
}
void ListAdd(Names& list, std::string_view name) {
  if (name.empty() || ListHas(list, name) || list.size() >= 1024) return;
  list.insert(list.begin(), std::string(name));
}
void ListRemoveIc(Names& list, std::string_view name) {
  std::erase_if(list, [&](const std::string& e) { return EqualIgnoringCase(e, name); });
}
bool ListRemoveMember(Names& list, std::string_view name) {
  return ListHas(list, name) && std::erase(list, std::string(name)) > 0;
}
bool ListRenameMember(Names& list, std::string_view from, std::string_view to) {
  if (from.empty() || to.empty() || !ListHas(list, from) || ListHas(list, to)) return false;
  bool any = false;
  for (auto& e : list) {
    if (e == from) e = to, any = true;
  }
  return any;
}
bool ListRenameIc(Names& list, std::string_view from, std::string_view to) {
  if (from.empty() || to.empty() || !ListHas(list, from)) return false;
  for (auto& e : list) {
    if (EqualIgnoringCase(e, from)) e = to;
  }
  return true;
}
// The cascade rule: a case-only rename leaves entries; otherwise, when no record of the old
// name is left, every entry of it follows (or goes, when the new name is listed or empty).
void ListCascadeRename(Names& list, const std::string& from, const std::string& to, bool stale) {
  if (EqualIgnoringCase(from, to) || !ListHas(list, from)) return;
  if (!stale) {
    ListRenameMember(list, from, to);
  } else if (!to.empty() && !ListHas(list, to)) {
    ListRenameIc(list, from, to);
  } else {
    ListRemoveIc(list, from);
  }
}

struct ModelUser {
  std::string name, full, desc, password;
  bool cannot_change = false, disabled = false;
};
struct ModelGroup {
  std::string name, desc;
  Names members;
};

struct Model {
  std::vector<ModelUser> users;                        // front first
  std::vector<ModelGroup> groups;                      // front first
  std::vector<Names> rights = std::vector<Names>(26);  // by number

  const ModelGroup* FirstGroup(std::string_view name) const {
    for (const auto& g : groups) {
      if (EqualIgnoringCase(g.name, name)) return &g;
    }
    return nullptr;
  }
  bool HoldsRight(std::string_view user, int right) const {
    if (right < 0 || right > 25) return false;
    for (const auto& name : rights[right]) {
      const ModelGroup* g = FirstGroup(name);
      if (g != nullptr && ListHas(g->members, user)) return true;
    }
    return false;
  }
  bool InUse(std::string_view candidate, std::string_view current) const {
    for (const auto& g : groups) {
      if (!EqualIgnoringCase(g.name, current) && EqualIgnoringCase(g.name, candidate)) return true;
    }
    for (const auto& u : users) {
      if (!EqualIgnoringCase(u.name, current) && EqualIgnoringCase(u.name, candidate)) return true;
    }
    return false;
  }
};

class TestDatabase : public SecurityDatabase {
 public:
  RightRecord& StoredRight(int number) { return StoredRightAt(25 - number); }
};

class Randomised : public ::testing::TestWithParam<unsigned> {
 protected:
  std::mt19937 rng{GetParam()};

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

  std::string Name() {
    static const char* const kBases[] = {"ann", "bob", "lab", "qc", "x", "admins"};
    if (Pick(40) == 0) return "";
    std::string name = kBases[Pick(6)];
    for (char& c : name) {
      if (Pick(4) == 0) c = static_cast<char>(c - 'a' + 'A');
    }
    return name;
  }

  Names RandomNames(int max) {
    Names names;
    for (int i = Pick(max + 1); i > 0; --i) names.push_back(Name());
    return names;
  }

  void Check(const TestDatabase& db, const Model& m, int step) {
    SCOPED_TRACE("step " + std::to_string(step));
    ASSERT_EQ(db.UserCount(), static_cast<int>(m.users.size()));
    for (int i = 0; i < db.UserCount(); ++i) {
      UserRecord u;
      ASSERT_TRUE(db.GetUserAt(i, &u));
      const ModelUser& mu = m.users[i];
      EXPECT_EQ(std::string(u.UserName()) + "|" + std::string(u.FullName()) + "|" + std::string(u.Password()) + "|" + (u.GetAccountDisabled() ? "1" : "0"),
                mu.name + "|" + mu.full + "|" + mu.password + "|" + (mu.disabled ? "1" : "0"));
    }
    ASSERT_EQ(db.GroupCount(), static_cast<int>(m.groups.size()));
    for (int i = 0; i < db.GroupCount(); ++i) {
      const GroupRecord* g = db.GroupAt(i);
      EXPECT_EQ(g->GroupName() + "|" + g->Description(), m.groups[i].name + "|" + m.groups[i].desc);
      Names stored;
      std::string member;
      for (int k = 0; g->GetMemberAt(k, &member); ++k) stored.push_back(member);
      EXPECT_EQ(stored, m.groups[i].members);
      EXPECT_FALSE(g->GetMemberAt(-1, &member));
    }
    for (int r = 0; r < 26; ++r) {
      const RightRecord* right = db.RightAt(25 - r);
      ASSERT_EQ(right->GetRight(), r);
      Names stored;
      for (std::size_t k = 0; k < right->Members().Count(); ++k) {
        stored.push_back(right->Members().At(k));
      }
      EXPECT_EQ(stored, m.rights[r]);
    }
    // Every indexed answer against the walk, for a spread of names in every case.
    for (int probe = 0; probe < 12; ++probe) {
      const std::string a = Name(), b = Name();
      UserRecord u;
      const bool found_user = db.FindUser(a, &u);
      const auto mu = std::find_if(m.users.begin(), m.users.end(), [&](const ModelUser& x) {
        return EqualIgnoringCase(x.name, a);
      });
      EXPECT_EQ(found_user, mu != m.users.end()) << a;
      EXPECT_TRUE(!found_user || mu == m.users.end() || u.FullName() == mu->full) << a;

      GroupRecord g;
      const ModelGroup* mg = m.FirstGroup(a);
      EXPECT_EQ(db.FindGroup(a, &g), mg != nullptr) << a;
      if (mg != nullptr) {
        EXPECT_EQ(g.Description(), mg->desc);
        for (const auto& member : mg->members) EXPECT_TRUE(g.IsMember(member));
      }
      EXPECT_EQ(db.IsUserInGroup(b, a), mg != nullptr && ListHas(mg->members, b))
          << b << " in " << a;
      EXPECT_EQ(db.IsNameInUse(a, b), m.InUse(a, b)) << a << " / " << b;
      const int right = Pick(27);
      EXPECT_EQ(db.UserHoldsRight(b, right), m.HoldsRight(b, right)) << b << " right " << right;
    }
  }
};

TEST_P(Randomised, IndexedAnswersEqualThePlainWalk) {
  TestDatabase db;
  Model m;
  for (int step = 0; step < 3000; ++step) {
    switch (Pick(13)) {
      case 0: {  // AddUser
        ModelUser mu{Name(), "full" + std::to_string(step), "d", "pw" + std::to_string(Pick(3))};
        mu.disabled = Pick(2) == 1;
        UserRecord u(mu.name, mu.full, mu.desc, mu.password);
        u.SetAccountDisabled(mu.disabled);
        db.AddUser(u);
        m.users.insert(m.users.begin(), mu);
        break;
      }
      case 1: {  // EditUser
        const std::string name = Name();
        ModelUser mu{Name(), "edit" + std::to_string(step), "e", "p"};
        bool any = false;
        for (auto& u : m.users) {
          if (!EqualIgnoringCase(u.name, name)) continue;
          const std::string old = u.name;
          u = mu;
          for (auto& g : m.groups) ListCascadeRename(g.members, old, mu.name, true);
          any = true;
        }
        EXPECT_EQ(db.EditUser(name, UserRecord(mu.name, mu.full, mu.desc, mu.password)), any);
        break;
      }
      case 2: {  // DeleteUser
        const std::string name = Name();
        const bool any = std::erase_if(m.users, [&](const ModelUser& u) {
                           return EqualIgnoringCase(u.name, name);
                         }) > 0;
        for (auto& g : m.groups) ListRemoveIc(g.members, any ? name : "");
        EXPECT_EQ(db.DeleteUser(name), any);
        break;
      }
      case 3:
      case 4: {  // AddGroup
        GroupRecord g(Name(), "g" + std::to_string(step));
        for (const auto& n : RandomNames(6)) g.AddMember(n);
        ModelGroup mg{g.GroupName(), g.Description(), {}};
        for (std::size_t k = 0; k < g.Members().Count(); ++k) {
          mg.members.insert(mg.members.begin(), g.Members().At(k));  // the stored copy reverses
        }
        db.AddGroup(g);
        m.groups.insert(m.groups.begin(), mg);
        break;
      }
      case 5: {  // EditGroup
        const std::string name = Name();
        GroupRecord g(Name(), "edited" + std::to_string(step));
        for (const auto& n : RandomNames(6)) g.Members().Add(n);  // duplicates too
        auto it = std::find_if(m.groups.begin(), m.groups.end(), [&](const ModelGroup& x) {
          return EqualIgnoringCase(x.name, name);
        });
        if (it != m.groups.end()) {
          const std::string old = it->name;
          it->name = g.GroupName();
          it->desc = g.Description();
          it->members.clear();
          for (std::size_t k = 0; k < g.Members().Count(); ++k)
            ListAdd(it->members, g.Members().At(k));
          const bool stale = m.FirstGroup(old) == nullptr;
          for (auto& r : m.rights) ListCascadeRename(r, old, g.GroupName(), stale);
        }
        EXPECT_EQ(db.EditGroup(name, g), it != m.groups.end());
        break;
      }
      case 6: {  // DeleteGroup
        const std::string name = Name();
        const bool any = std::erase_if(m.groups, [&](const ModelGroup& x) {
                           return EqualIgnoringCase(x.name, name);
                         }) > 0;
        for (auto& r : m.rights) ListRemoveIc(r, any ? name : "");
        EXPECT_EQ(db.DeleteGroup(name), any);
        break;
      }
      case 7: {  // EditRight
        const int number = Pick(27);
        RightRecord r(number);
        for (const auto& n : RandomNames(5)) r.AddMember(n);
        if (number < 26) {
          m.rights[number].clear();
          for (std::size_t k = 0; k < r.Members().Count(); ++k)
            ListAdd(m.rights[number], r.Members().At(k));
        }
        EXPECT_EQ(db.EditRight(number, r), number < 26);
        break;
      }
      case 8: {  // CopyUserMemberships
        const std::string to = Name(), from = Name();
        for (auto& g : m.groups) {
          if (to != from && ListHas(g.members, from)) ListAdd(g.members, to);
        }
        EXPECT_TRUE(db.CopyUserMemberships(to, from));
        break;
      }
      case 9: {  // CopyGroupRights
        const std::string to = Name(), from = Name();
        for (auto& r : m.rights) {
          if (to != from && ListHas(r, from)) ListAdd(r, to);
        }
        EXPECT_TRUE(db.CopyGroupRights(to, from));
        break;
      }
      case 10:
      case 11: {  // direct change of a stored right, as the start-up repair makes
        const int number = Pick(26);
        RightRecord& stored = db.StoredRight(number);
        const std::string a = Name(), b = Pick(4) == 0 ? "" : Name();
        switch (Pick(6)) {
          case 0:
            ListAdd(m.rights[number], a);
            stored.AddMember(a);
            break;
          case 1:
            EXPECT_EQ(stored.RemoveMember(a), ListRemoveMember(m.rights[number], a));
            break;
          case 2:
            EXPECT_EQ(stored.RenameMember(a, b), ListRenameMember(m.rights[number], a, b));
            break;
          case 3:
            EXPECT_EQ(stored.Members().RenameIgnoringCase(a, b),
                      ListRenameIc(m.rights[number], a, b))
                << a << " -> " << b;
            break;
          case 4:
            EXPECT_EQ(stored.Members().RemoveIgnoringCase(a), ListHas(m.rights[number], a));
            ListRemoveIc(m.rights[number], a);
            break;
          default:
            if (Pick(4) == 0) {
              stored.ClearMembers();
              m.rights[number].clear();
            }
        }
        break;
      }
      default: {  // a copy handed out and given back unchanged
        UserRecord u;
        const int index = Pick(static_cast<int>(m.users.size()) + 1);
        if (db.GetUserAt(index, &u)) {
          EXPECT_TRUE(db.EditUser(u.UserName(), u));
          // Re-editing under its own name changes nothing but collapses same-named users into
          // copies of this one, as every matching user takes the record.
          for (auto& x : m.users) {
            if (EqualIgnoringCase(x.name, u.UserName())) {
              x = {std::string(u.UserName()), std::string(u.FullName()), std::string(u.Description()), std::string(u.Password()),
                   u.GetCannotChangePassword(), u.GetAccountDisabled()};
            }
          }
        }
      }
    }
    Check(db, m, step);
    if (::testing::Test::HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, Randomised, ::testing::Values(1u, 2u, 3u, 42u, 2026u));

}  // namespace
}  // namespace talmor
