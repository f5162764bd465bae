#include "database/security_database.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talmor {
namespace {

using List = std::vector<std::string>;

List Names(const MembershipRecord& record) {
  List names;
  std::string name;
  for (int i = 0; record.GetMemberAt(i, &name); ++i) names.push_back(name);
  return names;
}

// The stored order of a group's members (a copy is reversed, so reverse it back).
List StoredMembers(const SecurityDatabase& db, std::string_view group) {
  GroupRecord copy;
  if (!db.FindGroup(group, &copy)) return {"<no group>"};
  List names = Names(copy);
  return List(names.rbegin(), names.rend());
}

List StoredGroupsOfRight(const SecurityDatabase& db, int right) {
  RightRecord copy;
  if (!db.FindRight(right, &copy)) return {"<no right>"};
  List names = Names(copy);
  return List(names.rbegin(), names.rend());
}

List UserNames(const SecurityDatabase& db) {
  List names;
  UserRecord user;
  for (int i = 0; db.GetUserAt(i, &user); ++i) names.push_back(user.UserName());
  return names;
}

GroupRecord Group(std::string_view name, const List& members) {
  GroupRecord group(name, "");
  for (const auto& member : members) group.AddMember(member);
  return group;
}

// Adds a group whose stored member list reads `members` from the front.
void AddGroupReading(SecurityDatabase& db, std::string_view name, const List& members) {
  // Group() reads `members` reversed; AddGroup stores a copy, which reverses them back.
  db.AddGroup(Group(name, members));
}

TEST(SecurityDatabaseTest, FreshDatabaseAndRightsOrder) {
  SecurityDatabase db;
  UserRecord user("keep", "", "", "");
  GroupRecord group("keep", "");
  EXPECT_FALSE(db.GetUserAt(0, &user));
  EXPECT_FALSE(db.GetGroupAt(0, &group));
  EXPECT_EQ(user.UserName(), "keep");
  for (int right = 0; right < 26; ++right) {
    RightRecord record;
    ASSERT_TRUE(db.FindRight(right, &record));
    EXPECT_EQ(record.GetRight(), right);
    EXPECT_EQ(record.Members().Count(), 0u);
    EXPECT_EQ(db.RightAt(25 - right)->GetRight(), right);  // right 25 at the front
  }
  EXPECT_FALSE(db.FindRight(26, nullptr));
  EXPECT_FALSE(db.FindRight(-1, nullptr));
  EXPECT_FALSE(db.EditRight(26, RightRecord(26)));
  EXPECT_FALSE(db.UserHoldsRight("x", 26));
}

TEST(SecurityDatabaseTest, OrderFirstMatchAndDuplicates) {
  SecurityDatabase db;
  db.AddUser(UserRecord("u1", "", "", ""));
  db.AddUser(UserRecord("u2", "", "", ""));
  db.AddUser(UserRecord("u3", "", "", ""));
  EXPECT_EQ(UserNames(db), (List{"u3", "u2", "u1"}));
  EXPECT_FALSE(db.GetUserAt(3, nullptr));
  EXPECT_FALSE(db.GetUserAt(-1, nullptr));

  db.AddUser(UserRecord("Administrator", "old", "", ""));
  UserRecord found;
  ASSERT_TRUE(db.FindUser("ADMINISTRATOR", &found));
  EXPECT_EQ(found.UserName(), "Administrator");
  db.AddUser(UserRecord("administrator", "new", "", ""));
  ASSERT_TRUE(db.FindUser("Administrator", &found));
  EXPECT_EQ(found.FullName(), "new");  // the more recent one is in front
  EXPECT_TRUE(db.DeleteUser("ADMINISTRATOR"));
  EXPECT_FALSE(db.FindUser("administrator", nullptr));
  EXPECT_EQ(UserNames(db), (List{"u3", "u2", "u1"}));
  EXPECT_FALSE(db.DeleteUser("nobody"));
  EXPECT_TRUE(db.DeleteUser("u2"));
  EXPECT_EQ(UserNames(db), (List{"u3", "u1"}));

  // Two groups of one name: the front one answers, the second takes over when it goes.
  db.AddGroup(Group("Lab", {"u1"}));
  db.AddGroup(Group("LAB", {"u3"}));
  EXPECT_TRUE(db.IsUserInGroup("u3", "lab"));
  EXPECT_FALSE(db.IsUserInGroup("u1", "lab"));
  RightRecord right(4);
  right.AddMember("lab");
  db.EditRight(4, right);
  EXPECT_TRUE(db.UserHoldsRight("U3", 4));
  EXPECT_FALSE(db.UserHoldsRight("u1", 4));  // listed only by the second "lab"
  // Editing the first leaves the second as the match for the old name.
  EXPECT_TRUE(db.EditGroup("lab", Group("Bench", {"u3"})));
  EXPECT_TRUE(db.UserHoldsRight("u1", 4));
  EXPECT_EQ(StoredGroupsOfRight(db, 4), (List{"lab"}));  // not exactly "LAB": not renamed
  EXPECT_TRUE(db.IsUserInGroup("u1", "Lab"));
  // Empty names match only empty names.
  EXPECT_FALSE(db.FindUser("", nullptr));
  db.AddUser(UserRecord("", "", "", ""));
  EXPECT_TRUE(db.FindUser("", nullptr));
  EXPECT_FALSE(db.UserHoldsRight("", 4));
}

TEST(SecurityDatabaseTest, EditUserRenamesInGroupsAndKeepsCaseOnlyRename) {
  SecurityDatabase db;
  db.AddUser(UserRecord("bob", "Bob", "d", "pw"));
  AddGroupReading(db, "g1", {"x", "bob", "y"});
  AddGroupReading(db, "g2", {"bob", "u1"});
  AddGroupReading(db, "g3", {"y"});

  UserRecord renamed("u1", "Full", "Desc", "pw2");
  renamed.SetAccountDisabled(1);
  ASSERT_TRUE(db.EditUser("BOB", renamed));
  UserRecord found;
  ASSERT_TRUE(db.FindUser("u1", &found));
  EXPECT_EQ(found.FullName(), "Full");
  EXPECT_TRUE(found.GetAccountDisabled());
  EXPECT_FALSE(db.FindUser("bob", nullptr));
  EXPECT_EQ(StoredMembers(db, "g1"), (List{"x", "u1", "y"}));  // same position
  // Already listing the new name: the stale old entry goes, the new one stays once.
  EXPECT_EQ(StoredMembers(db, "g2"), (List{"u1"}));
  EXPECT_EQ(StoredMembers(db, "g3"), (List{"y"}));
  EXPECT_FALSE(db.EditUser("bob", renamed));

  // Only the letter case changes: the record changes, the entries stay as they are.
  ASSERT_TRUE(db.EditUser("u1", UserRecord("U1", "", "", "")));
  ASSERT_TRUE(db.FindUser("u1", &found));
  EXPECT_EQ(found.UserName(), "U1");
  EXPECT_EQ(StoredMembers(db, "g1"), (List{"x", "u1", "y"}));
  EXPECT_TRUE(db.IsUserInGroup("U1", "g1"));

  // Deleting "U1" removes "u1" too, although it is not exactly equal.
  ASSERT_TRUE(db.DeleteUser("U1"));
  EXPECT_EQ(StoredMembers(db, "g1"), (List{"x", "y"}));
  EXPECT_EQ(StoredMembers(db, "g2"), (List{}));
  // A later account of that name inherits nothing.
  db.AddUser(UserRecord("u1", "", "", ""));
  EXPECT_FALSE(db.IsUserInGroup("u1", "g1"));
}

TEST(SecurityDatabaseTest, EditUserRenamesEntriesInAnotherCase) {
  SecurityDatabase db;
  db.AddUser(UserRecord("Bob", "", "", ""));
  AddGroupReading(db, "g", {"a", "BOB", "b"});
  ASSERT_TRUE(db.EditUser("bob", UserRecord("carl", "", "", "")));
  EXPECT_EQ(StoredMembers(db, "g"), (List{"a", "carl", "b"}));
  db.AddUser(UserRecord("bob", "", "", ""));
  EXPECT_FALSE(db.IsUserInGroup("bob", "g"));
  EXPECT_TRUE(db.IsUserInGroup("CARL", "g"));
  // Renamed to an empty name: the old entries cannot follow, so they go.
  ASSERT_TRUE(db.EditUser("carl", UserRecord("", "", "", "")));
  EXPECT_EQ(StoredMembers(db, "g"), (List{"a", "b"}));
}

TEST(SecurityDatabaseTest, EditGroupReordersMembersAndCascadesToRights) {
  SecurityDatabase db;
  db.AddGroup(GroupRecord("Lab", "old"));
  RightRecord right(3);
  right.AddMember("x");
  right.AddMember("LAB");
  right.AddMember("y");
  ASSERT_TRUE(db.EditRight(3, right));
  EXPECT_EQ(StoredGroupsOfRight(db, 3), (List{"x", "LAB", "y"}));  // stored reversed
  RightRecord other(9);
  other.AddMember("Lab");
  other.AddMember("Bench");
  db.EditRight(9, other);

  GroupRecord edited("Bench", "new");
  edited.Members().Add("a");  // the record reads "c", "b", "a", "a" from the front
  edited.Members().Add("a");
  edited.Members().Add("b");
  edited.Members().Add("c");
  ASSERT_TRUE(db.EditGroup("lab", edited));
  // Taken in index order through AddMember: duplicates dropped, stored reversed.
  EXPECT_EQ(StoredMembers(db, "bench"), (List{"a", "b", "c"}));
  GroupRecord copy;
  db.FindGroup("bench", &copy);
  EXPECT_EQ(Names(copy), (List{"c", "b", "a"}));
  EXPECT_EQ(copy.Description(), "new");
  EXPECT_EQ(StoredGroupsOfRight(db, 3), (List{"x", "Bench", "y"}));
  EXPECT_EQ(StoredGroupsOfRight(db, 9), (List{"Bench"}));  // already listed: "Lab" dropped
  EXPECT_FALSE(db.EditGroup("lab", edited));

  ASSERT_TRUE(db.EditGroup("bench", GroupRecord("BENCH", "")));  // case only
  EXPECT_EQ(StoredGroupsOfRight(db, 3), (List{"x", "Bench", "y"}));
  EXPECT_EQ(StoredMembers(db, "bench"), (List{}));

  db.AddUser(UserRecord("a", "", "", ""));
  ASSERT_TRUE(db.DeleteGroup("bench"));
  EXPECT_EQ(StoredGroupsOfRight(db, 3), (List{"x", "y"}));
  EXPECT_EQ(StoredGroupsOfRight(db, 9), (List{}));
  EXPECT_TRUE(db.FindUser("a", nullptr));
  EXPECT_FALSE(db.DeleteGroup("bench"));

  // EditRight stores names of no group and keeps its own number.
  RightRecord wrong(7);
  wrong.AddMember("ghost");
  ASSERT_TRUE(db.EditRight(5, wrong));
  EXPECT_EQ(StoredGroupsOfRight(db, 5), (List{"ghost"}));
  EXPECT_EQ(StoredGroupsOfRight(db, 7), (List{}));
  for (int r = 0; r < 26; ++r) EXPECT_TRUE(db.FindRight(r, nullptr));
}

TEST(SecurityDatabaseTest, DeleteGroupRemovesEntriesInEveryCase) {
  SecurityDatabase db;
  db.AddGroup(Group("Lab", {"ann"}));
  db.AddGroup(Group("QC", {"ann"}));
  RightRecord right(2);
  right.AddMember("LAB");
  right.AddMember("qc");
  db.EditRight(2, right);
  EXPECT_TRUE(db.UserHoldsRight("ann", 2));
  ASSERT_TRUE(db.DeleteGroup("lab"));
  EXPECT_EQ(StoredGroupsOfRight(db, 2), (List{"qc"}));
  EXPECT_TRUE(db.FindGroup("qc", nullptr));
  // A later group of the deleted name is granted nothing.
  db.AddGroup(Group("lab", {"bob"}));
  EXPECT_FALSE(db.UserHoldsRight("bob", 2));
  EXPECT_TRUE(db.UserHoldsRight("ANN", 2));
}

TEST(SecurityDatabaseTest, CopiesOfMembershipsAndRights) {
  SecurityDatabase db;
  AddGroupReading(db, "g1", {"SRC"});
  AddGroupReading(db, "g2", {"other"});
  AddGroupReading(db, "g3", {"src", "NEW"});
  EXPECT_TRUE(db.CopyUserMemberships("new", "src"));
  EXPECT_EQ(StoredMembers(db, "g1"), (List{"new", "SRC"}));
  EXPECT_EQ(StoredMembers(db, "g2"), (List{"other"}));
  EXPECT_EQ(StoredMembers(db, "g3"), (List{"src", "NEW"}));  // listed once already
  EXPECT_TRUE(db.CopyUserMemberships("src", "src"));
  EXPECT_TRUE(db.CopyUserMemberships("Src", "src"));  // each AddMember fails
  EXPECT_EQ(StoredMembers(db, "g1"), (List{"new", "SRC"}));

  RightRecord right(0);
  right.AddMember("g1");
  db.EditRight(0, right);
  EXPECT_TRUE(db.CopyGroupRights("g9", "G1"));
  EXPECT_EQ(StoredGroupsOfRight(db, 0), (List{"g9", "g1"}));
  EXPECT_EQ(StoredGroupsOfRight(db, 1), (List{}));
}

TEST(SecurityDatabaseTest, NameInUse) {
  SecurityDatabase db;
  db.AddGroup(GroupRecord("lab", ""));
  EXPECT_FALSE(db.IsNameInUse("Lab", "lab"));
  EXPECT_TRUE(db.IsNameInUse("Lab", ""));
  EXPECT_FALSE(db.IsNameInUse("other", ""));
  db.AddUser(UserRecord("bob", "", "", ""));
  EXPECT_TRUE(db.IsNameInUse("BOB", "lab"));
  EXPECT_FALSE(db.IsNameInUse("BOB", "Bob"));
  db.AddUser(UserRecord("lab", "", "", ""));
  EXPECT_TRUE(db.IsNameInUse("Lab", "x"));
  EXPECT_FALSE(db.IsNameInUse("Lab", "LAB"));
}

// The start-up repair changes stored right records directly; the queries follow at once.
class RepairingDatabase : public SecurityDatabase {
 public:
  void GrantEverything(const std::string& group) {
    ForEachStoredRight([&](RightRecord& right) {
      if (!right.IsMember(group)) right.AddMember(group);
    });
  }
  void RevokeFromFront(const std::string& group) { StoredRightAt(0).RemoveMember(group); }
};

TEST(SecurityDatabaseTest, DirectChangesToStoredRightsAreSeen) {
  RepairingDatabase db;
  db.AddGroup(Group("Administrators", {"Administrator"}));
  EXPECT_FALSE(db.UserHoldsRight("administrator", 0));
  db.GrantEverything("Administrators");
  for (int r = 0; r < 26; ++r) EXPECT_TRUE(db.UserHoldsRight("ADMINISTRATOR", r)) << r;
  db.RevokeFromFront("Administrators");
  EXPECT_FALSE(db.UserHoldsRight("administrator", 25));
  EXPECT_TRUE(db.UserHoldsRight("administrator", 24));
}

}  // namespace
}  // namespace talmor
