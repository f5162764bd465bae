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
#include "storage/record_format.h"
#include "support/bytes.h"
#include "storage/record_writer.h"
#include "support/data_dir.h"
#include "support/database_snapshot.h"

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
  // A record file's text: each group of four bytes is one character.
  std::string Decoded(const char* name) const {
    const std::string bytes = testing::ReadBytes(Path(name));
    std::string text;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
      text += static_cast<char>(DecodeRecordGroup(testing::U32At(bytes, i)));
    }
    return text;
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
  std::string rights;
  for (int n = 0; n < 26; ++n) rights += "##START\x01Right=" + std::to_string(n) + "\x01Members=\x01##END\x01";
  EXPECT_EQ(Decoded("RIGHTS.REC"), rights);
}

TEST_F(DatabaseFilesTest, OptionsRulesAndOnlyTheFirstRecord) {
  WriteRecords("OPTIONS.REC", {{"AuditMaxEvents=-5", "PasswordMinChars=-5", "AuditEnable=7",
                                "AuditOverwrite=-1", "SecurityDisable=2", "AuditLogon=0"},
                               {"IndividualINI=0", "AuditPolicy=0"}});
  SecurityDatabase db;
  SecurityOptions options;
  LoadSecurityDatabase(db, options);
  SecurityOptions expected;  // the second record is ignored
  expected.AuditMaxEvents = 0;
  expected.PasswordMinChars = -5;
  expected.AuditOverwrite = 0;
  expected.SecurityDisable = 1;
  expected.AuditLogon = 0;
  EXPECT_EQ(options, expected);

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

TEST_F(DatabaseFilesTest, RoundTripKeepsEverythingInReverseOrderAndStripsSeparators) {
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
  const DatabaseSnapshot saved = DatabaseSnapshot::Of(db, options);
  EXPECT_EQ(DatabaseSnapshot::Of(loaded, loaded_options), saved.Reversed());
  // Saving what was loaded gives the first order back.
  SaveSecurityDatabase(loaded, loaded_options);
  SecurityDatabase twice;
  LoadSecurityDatabase(twice, loaded_options);
  EXPECT_EQ(DatabaseSnapshot::Of(twice, loaded_options), saved);

  // Bytes that separate lines and members cannot forge either.
  GroupRecord odd("Odd", "desc\x01" "Members=forged\x02");
  odd.AddMember("jo\x02hn");
  odd.AddMember("ann");
  SecurityDatabase with_odd;
  with_odd.AddGroup(odd);
  SaveSecurityDatabase(with_odd, options);
  SecurityDatabase odd_loaded;
  LoadSecurityDatabase(odd_loaded, loaded_options);
  ASSERT_EQ(odd_loaded.GroupCount(), 1);
  EXPECT_EQ(odd_loaded.GroupAt(0)->Description(), "descMembers=forged\x02");
  EXPECT_EQ(MemberSet(*odd_loaded.GroupAt(0)), (std::set<std::string>{"john", "ann"}));
}

}  // namespace
}  // namespace talmor
