#include "storage/database_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "database/security_database.h"
#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "storage/record_reader.h"
#include "storage/record_writer.h"
#include "support/data_dir.h"

namespace talmor {
namespace {

class DatabaseFilesTest : public testing::DataDirTest {
 protected:
  std::string Path(const char* name) const { return File(name); }
  std::vector<std::string> DirectoryNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // A file of records, each given as its lines.
  void WriteRecords(const char* name, const std::vector<std::vector<std::string>>& records) {
    RecordWriter writer(Path(name));
    for (const auto& record : records) {
      writer.WriteStart();
      for (const std::string& line : record) {
        const auto eq = line.find('=');
        writer.WriteString(line.substr(0, eq), eq == std::string::npos ? "" : line.substr(eq + 1));
      }
      writer.WriteEnd();
    }
    writer.Close();
  }
  static std::set<std::string> MemberSet(const MembershipRecord& record) {
    const std::vector<std::string> names = Members(record);
    return std::set<std::string>(names.begin(), names.end());
  }
  static std::vector<std::string> Members(const MembershipRecord& record) {
    std::vector<std::string> names;
    std::string name;
    for (int i = 0; record.GetMemberAt(i, &name); ++i) names.push_back(name);
    return names;
  }
};

TEST_F(DatabaseFilesTest, NoFilesGiveDefaultsAndSaveCreatesAllFour) {
  SecurityDatabase db;
  SecurityOptions options;
  LoadSecurityDatabase(db, options);
  EXPECT_EQ(options, SecurityOptions{});
  EXPECT_EQ(db.UserCount(), 0);
  EXPECT_EQ(db.GroupCount(), 0);
  SaveSecurityDatabase(db, options);
  EXPECT_EQ(DirectoryNames(),
            (std::vector<std::string>{"GROUPS.REC", "OPTIONS.REC", "RIGHTS.REC", "USERS.REC"}));
  EXPECT_EQ(std::filesystem::file_size(Path("USERS.REC")), 0u);
  EXPECT_EQ(std::filesystem::file_size(Path("GROUPS.REC")), 0u);
  RecordReader rights(Path("RIGHTS.REC"));
  int count = 0;
  for (bool f = rights.FindFirstRecord(); f; f = rights.FindNextRecord(), ++count) {
    std::int32_t number;
    std::string members = "x";
    ASSERT_TRUE(rights.GetInteger("Right", number));
    EXPECT_EQ(number, count);
    EXPECT_TRUE(rights.GetString("Members", members));
    EXPECT_EQ(members, "");
  }
  EXPECT_EQ(count, 26);
}

TEST_F(DatabaseFilesTest, OptionsRulesAndOnlyTheFirstRecord) {
  WriteRecords("OPTIONS.REC", {{"AuditMaxEvents=-5", "PasswordMinChars=-5", "AuditEnable=7",
                                "AuditOverwrite=-1", "SecurityDisable=2", "AuditLogon=0"},
                               {"IndividualINI=0", "AuditPolicy=0"}});
  SecurityDatabase db;
  SecurityOptions options;
  LoadSecurityDatabase(db, options);
  EXPECT_EQ(options.AuditMaxEvents, 0);
  EXPECT_EQ(options.PasswordMinChars, -5);
  EXPECT_EQ(options.AuditEnable, 1);
  EXPECT_EQ(options.AuditOverwrite, 0);
  EXPECT_EQ(options.SecurityDisable, 1);
  EXPECT_EQ(options.AuditLogon, 0);
  EXPECT_EQ(options.IndividualINI, 1);  // the second record is ignored
  EXPECT_EQ(options.AuditPolicy, 1);

  SecurityOptions changed;
  changed.AuditMaxEvents = 123456;
  changed.PasswordMinChars = -3;
  changed.AuditOther = 0;
  SaveSecurityDatabase(db, changed);
  SecurityOptions reloaded;
  SecurityDatabase db2;
  LoadSecurityDatabase(db2, reloaded);
  EXPECT_EQ(reloaded, changed);
}

TEST_F(DatabaseFilesTest, DamagedRightsGroupsAndUsers) {
  WriteRecords("RIGHTS.REC", {{"Right=99", "Members=Ghost\x02"},
                              {"Right=3", "Members="},
                              {"Right=4",
                               "Members=A\x02"
                               "b\x02"
                               "a\x02\x02"
                               "B\x02"
                               "tail"},
                              {"Members=Nobody\x02"},
                              {"Right=5"}});
  WriteRecords("GROUPS.REC", {{"GroupName=Chemists", "Description=Laboratory staff",
                               "Members=operator1\x02"
                               "analyst2\x02"
                               "lost"},
                              {"Description=nameless", "Members=x\x02"},
                              {"GroupName=", "Members=y\x02"}});
  WriteRecords("USERS.REC", {{"UserName=A", "FullName=First", "AccountDisabled=5"},
                             {"FullName=No name"},
                             {"UserName=", "Password=p"},
                             {"UserName=B", "Password=secret", "CannotChangePassword=1"}});
  SecurityDatabase db;
  {
    RightRecord seed(5);
    seed.AddMember("Keep");
    db.EditRight(5, seed);
    seed = RightRecord(3);
    seed.AddMember("Gone");
    db.EditRight(3, seed);
  }
  SecurityOptions options;
  LoadSecurityDatabase(db, options);

  RightRecord right;
  ASSERT_TRUE(db.FindRight(3, &right));
  EXPECT_TRUE(Members(right).empty());
  ASSERT_TRUE(db.FindRight(4, &right));
  EXPECT_EQ(Members(right).size(), 2u);  // A and b; duplicates in other case count once
  EXPECT_TRUE(right.IsMember("a"));
  EXPECT_TRUE(right.IsMember("B"));
  EXPECT_FALSE(right.IsMember("tail"));
  ASSERT_TRUE(db.FindRight(5, &right));  // no Members: unchanged
  EXPECT_EQ(Members(right), std::vector<std::string>{"Keep"});

  ASSERT_EQ(db.GroupCount(), 1);
  GroupRecord group;
  ASSERT_TRUE(db.GetGroupAt(0, &group));
  EXPECT_EQ(group.GroupName(), "Chemists");
  EXPECT_EQ(group.Description(), "Laboratory staff");
  EXPECT_TRUE(group.IsMember("operator1"));
  EXPECT_TRUE(group.IsMember("analyst2"));
  EXPECT_FALSE(group.IsMember("lost"));

  ASSERT_EQ(db.UserCount(), 2);
  UserRecord user;
  ASSERT_TRUE(db.GetUserAt(0, &user));  // added last, so first
  EXPECT_EQ(user.UserName(), "B");
  EXPECT_EQ(user.Password(), "secret");
  EXPECT_TRUE(user.GetCannotChangePassword());
  EXPECT_FALSE(user.GetAccountDisabled());
  ASSERT_TRUE(db.GetUserAt(1, &user));
  EXPECT_EQ(user.UserName(), "A");
  EXPECT_EQ(user.FullName(), "First");
  EXPECT_EQ(user.Password(), "");
  EXPECT_TRUE(user.GetAccountDisabled());
}

TEST_F(DatabaseFilesTest, RoundTripWritesUsersInReverseAndKeepsEverything) {
  SecurityDatabase db;
  for (int i = 0; i < 5; ++i) {
    UserRecord user("user" + std::to_string(i), "Full Name " + std::to_string(i),
                    "d=" + std::to_string(i), i == 2 ? "" : "p\xE9ss" + std::to_string(i));
    user.SetAccountDisabled(i % 2);
    user.SetCannotChangePassword(i == 3);
    db.AddUser(user);
  }
  GroupRecord group("Chemists", "Laboratory staff");
  group.AddMember("user1");
  group.AddMember("user3");
  db.AddGroup(group);
  db.AddGroup(GroupRecord("Empty", ""));
  RightRecord right(7);
  right.AddMember("Chemists");
  right.AddMember("Empty");
  db.EditRight(7, right);
  SecurityOptions options;
  options.AuditMaxEvents = 50;
  SaveSecurityDatabase(db, options);

  SecurityDatabase loaded;
  SecurityOptions loaded_options;
  LoadSecurityDatabase(loaded, loaded_options);
  EXPECT_EQ(loaded_options, options);
  ASSERT_EQ(loaded.UserCount(), 5);
  for (int i = 0; i < 5; ++i) {
    const UserRecord& a = *db.UserAt(i);
    const UserRecord& b = *loaded.UserAt(4 - i);  // reverse order after a load
    EXPECT_EQ(a.UserName(), b.UserName());
    EXPECT_EQ(a.FullName(), b.FullName());
    EXPECT_EQ(a.Description(), b.Description());
    EXPECT_EQ(a.Password(), b.Password());
    EXPECT_EQ(a.GetAccountDisabled(), b.GetAccountDisabled());
    EXPECT_EQ(a.GetCannotChangePassword(), b.GetCannotChangePassword());
  }
  ASSERT_EQ(loaded.GroupCount(), 2);
  EXPECT_EQ(loaded.GroupAt(0)->GroupName(), "Chemists");  // reverse order after a load
  EXPECT_EQ(MemberSet(*loaded.GroupAt(0)), (std::set<std::string>{"user1", "user3"}));
  for (int r = 0; r < SecurityDatabase::kRightCount; ++r) {
    RightRecord a, b;
    ASSERT_TRUE(db.FindRight(r, &a));
    ASSERT_TRUE(loaded.FindRight(r, &b));
    EXPECT_EQ(MemberSet(a), MemberSet(b)) << r;
  }

  // Saving what was loaded writes the users file with the records in reverse order.
  SaveSecurityDatabase(loaded, loaded_options);
  RecordReader reader(Path("USERS.REC"));
  std::vector<std::string> order;
  for (bool f = reader.FindFirstRecord(); f; f = reader.FindNextRecord()) {
    std::string name;
    reader.GetString("UserName", name);
    order.push_back(name);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"user0", "user1", "user2", "user3", "user4"}));
}

TEST_F(DatabaseFilesTest, SeparatorBytesInNamesAreStripped) {
  SecurityDatabase db;
  GroupRecord group("Odd",
                    "desc\x01"
                    "Members=forged\x02");
  group.AddMember("jo\x02hn");
  group.AddMember("ann");
  db.AddGroup(group);
  SaveSecurityDatabase(db, SecurityOptions{});
  SecurityDatabase loaded;
  SecurityOptions options;
  LoadSecurityDatabase(loaded, options);
  ASSERT_EQ(loaded.GroupCount(), 1);
  const GroupRecord& g = *loaded.GroupAt(0);
  EXPECT_EQ(g.Description(), "descMembers=forged\x02");
  EXPECT_EQ(MemberSet(g), (std::set<std::string>{"john", "ann"}));
}

}  // namespace
}  // namespace talmor
