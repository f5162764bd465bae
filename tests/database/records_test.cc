#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/member_list.h"
#include "database/security_records.h"

namespace talmor {
namespace {

std::vector<std::string> Names(const MembershipRecord& record) {
  std::vector<std::string> names;
  std::string name;
  for (int i = 0; record.GetMemberAt(i, &name); ++i) names.push_back(name);
  return names;
}

std::vector<std::string> Names(const MemberList& list) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < list.Count(); ++i) names.push_back(list.At(i));
  return names;
}

using List = std::vector<std::string>;

TEST(MemberListTest, FrontInsertionCapacityAndExactRemovalAndRename) {
  MemberList list;
  EXPECT_FALSE(list.Add(""));
  EXPECT_FALSE(list.Add(std::nullopt));
  EXPECT_FALSE(list.Remove("a"));  // empty list
  EXPECT_TRUE(list.Add("a"));
  EXPECT_TRUE(list.Add("b"));
  EXPECT_TRUE(list.Add("Bob"));
  EXPECT_TRUE(list.Add("Bob"));  // the list itself takes duplicates
  EXPECT_EQ(Names(list), (List{"Bob", "Bob", "b", "a"}));

  EXPECT_TRUE(list.Contains("BOB"));
  EXPECT_FALSE(list.Contains(""));
  EXPECT_FALSE(list.Remove("bob"));  // exact only
  EXPECT_FALSE(list.Rename("bob", "x"));
  EXPECT_TRUE(list.Rename("Bob", "Carl"));  // both, in place
  EXPECT_EQ(Names(list), (List{"Carl", "Carl", "b", "a"}));
  EXPECT_FALSE(list.Contains("bob"));
  EXPECT_FALSE(list.Rename("Carl", ""));
  EXPECT_TRUE(list.Remove("Carl"));
  EXPECT_EQ(Names(list), (List{"b", "a"}));
  EXPECT_FALSE(list.Contains("carl"));

  MemberList copy;
  copy.Add("stale");
  copy.CopyFrom(list);
  EXPECT_EQ(Names(copy), (List{"a", "b"}));
  EXPECT_FALSE(copy.Contains("stale"));
  copy.CopyFrom(copy);  // reverses in place, loses nothing
  EXPECT_EQ(Names(copy), (List{"b", "a"}));
  copy.RemoveAll();
  EXPECT_EQ(copy.Count(), 0u);
  EXPECT_FALSE(copy.Contains("a"));

  MemberList full;
  for (int i = 0; i < 1024; ++i) ASSERT_TRUE(full.Add("n" + std::to_string(i)));
  EXPECT_FALSE(full.Add("one-more"));
  EXPECT_FALSE(full.Contains("one-more"));
  MemberList over;
  over.CopyFrom(full);  // no capacity check on a copy
  EXPECT_EQ(over.Count(), 1024u);
  EXPECT_EQ(over.At(0), "n0");
}

TEST(MemberListTest, IgnoringCaseHelpersTouchEveryCase) {
  MemberList list;
  for (const char* name : {"bob", "x", "BOB", "Bob"}) list.Add(name);
  EXPECT_TRUE(list.RenameIgnoringCase("bOb", "Ann"));
  EXPECT_EQ(Names(list), (List{"Ann", "Ann", "x", "Ann"}));
  EXPECT_FALSE(list.Contains("bob"));
  EXPECT_TRUE(list.RemoveIgnoringCase("ANN"));
  EXPECT_EQ(Names(list), (List{"x"}));
  EXPECT_FALSE(list.Contains("ann"));
  EXPECT_FALSE(list.RemoveIgnoringCase("ann"));
}

TEST(GroupRecordTest, MembershipRulesAndCaseConflicts) {
  GroupRecord group("Lab", "chemists");
  EXPECT_TRUE(group.AddMember("Bob"));
  EXPECT_FALSE(group.AddMember("bob"));  // listed ignoring case
  EXPECT_FALSE(group.AddMember(""));
  EXPECT_EQ(Names(group), (List{"Bob"}));

  EXPECT_FALSE(group.RemoveMember("bob"));  // found ignoring case, no exact entry
  EXPECT_EQ(Names(group), (List{"Bob"}));
  EXPECT_FALSE(group.RenameMember("Bob", "BOB"));  // case-only rename refused
  EXPECT_FALSE(group.RenameMember("bob", "Zed"));  // only in another case
  EXPECT_FALSE(group.RenameMember("Bob", ""));
  EXPECT_EQ(Names(group), (List{"Bob"}));
  EXPECT_TRUE(group.IsMember("BOB"));
  EXPECT_FALSE(group.IsMember(""));
  EXPECT_FALSE(group.IsMember(std::nullopt));
  EXPECT_TRUE(group.RemoveMember("Bob"));
  EXPECT_FALSE(group.IsMember("bob"));

  group.Members().Add("Bob");  // duplicates only through the list itself
  group.Members().Add("Bob");
  EXPECT_TRUE(group.RenameMember("Bob", "Amy"));
  EXPECT_EQ(Names(group), (List{"Amy", "Amy"}));
  EXPECT_FALSE(group.RenameMember("Amy", "amy"));
  EXPECT_TRUE(group.RemoveMember("Amy"));
  EXPECT_EQ(group.Members().Count(), 0u);
  EXPECT_FALSE(group.RemoveMember("Amy"));

  for (int i = 0; i < 1024; ++i) ASSERT_TRUE(group.AddMember("u" + std::to_string(i)));
  EXPECT_FALSE(group.AddMember("u1024"));
  EXPECT_FALSE(group.IsMember("u1024"));
  group.ClearMembers();
  EXPECT_FALSE(group.GetMemberAt(0, nullptr));
}

TEST(GroupRecordTest, CopiesReverseMembersAndOutOfRangeLeavesOut) {
  GroupRecord group("Lab", "d");
  for (const char* name : {"a", "b", "c"}) group.AddMember(name);
  EXPECT_EQ(Names(group), (List{"c", "b", "a"}));
  std::string out = "untouched";
  EXPECT_FALSE(group.GetMemberAt(3, &out));
  EXPECT_FALSE(group.GetMemberAt(-1, &out));
  EXPECT_EQ(out, "untouched");

  GroupRecord copy(group);
  EXPECT_EQ(Names(copy), (List{"a", "b", "c"}));
  EXPECT_EQ(copy.GroupName(), "Lab");
  GroupRecord assigned;
  assigned.AddMember("old");
  assigned = copy;
  EXPECT_EQ(Names(assigned), (List{"c", "b", "a"}));
  EXPECT_FALSE(assigned.IsMember("old"));
  EXPECT_TRUE(assigned.IsMember("A"));
  GroupRecord& alias = assigned;
  assigned = alias;  // self-assignment keeps the record
  EXPECT_EQ(Names(assigned), (List{"c", "b", "a"}));

  RightRecord right(7);
  right.AddMember("g1");
  right.AddMember("g2");
  RightRecord right_copy = right;
  EXPECT_EQ(right_copy.GetRight(), 7);
  EXPECT_EQ(Names(right_copy), (List{"g1", "g2"}));
  EXPECT_EQ(RightRecord().GetRight(), 0);

  group.SetNameDesc(std::nullopt, "new");
  std::string name, desc;
  group.GetNameDesc(&name, &desc);
  EXPECT_EQ(name, "Lab");
  EXPECT_EQ(desc, "new");
  group.SetNameDesc("", std::nullopt);
  EXPECT_EQ(group.GroupName(), "");
  EXPECT_EQ(group.Description(), "new");
}

TEST(UserRecordTest, StringsAndFlags) {
  UserRecord user("bob", "Bob Smith", "analyst", "pw");
  EXPECT_FALSE(user.GetCannotChangePassword());
  EXPECT_FALSE(user.GetAccountDisabled());
  user.SetStrings(std::nullopt, "", std::nullopt, "new");
  std::string name, full, desc, password;
  user.GetStrings(&name, &full, &desc, &password);
  EXPECT_EQ(name, "bob");
  EXPECT_EQ(full, "");
  EXPECT_EQ(desc, "analyst");
  EXPECT_EQ(password, "new");
  user.GetStrings(nullptr, nullptr, nullptr, &password);  // null outs skipped

  user.SetAccountDisabled(5);
  EXPECT_TRUE(user.GetAccountDisabled());
  user.SetAccountDisabled(0);
  EXPECT_FALSE(user.GetAccountDisabled());
  user.SetCannotChangePassword(-1);
  EXPECT_TRUE(user.GetCannotChangePassword());
  const UserRecord copy = user;
  EXPECT_TRUE(copy.GetCannotChangePassword());
  EXPECT_EQ(copy.Password(), "new");
  EXPECT_EQ(UserRecord().UserName(), "");
}

}  // namespace
}  // namespace talmor
