#include "storage/database_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/security_database.h"
#include "storage/record_format.h"
#include "storage/record_writer.h"
#include "support/bytes.h"
#include "support/data_dir.h"
#include "support/database_snapshot.h"

namespace talmor {
namespace {

class DatabaseFilesTest : public testing::DataDirTest {
 protected:
  std::string Path(const char* name) const { return File(name); }
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
};

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

  expected.AuditMaxEvents = 123456;
  expected.AuditOther = 0;
  SaveSecurityDatabase(db, expected);
  LoadSecurityDatabase(db, options);
  EXPECT_EQ(options, expected);
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
  for (auto [number, member] : {std::pair{5, "Keep"}, {3, "Gone"}}) {
    RightRecord seed(number);
    seed.AddMember(member);
    db.EditRight(number, seed);
  }
  SecurityOptions options;
  LoadSecurityDatabase(db, options);

  // Right 3 is emptied, right 5 (no Members) kept, right 4 takes A and b once each and not the
  // unterminated tail; the nameless group and users are skipped; loading reverses the order.
  const DatabaseSnapshot loaded = DatabaseSnapshot::Of(db, options);
  EXPECT_EQ(loaded.rights[3] + "|" + loaded.rights[4] + "|" + loaded.rights[5], "|A\x02" "b\x02|Keep\x02");
  EXPECT_EQ(loaded.groups, std::vector<std::string>{"Chemists\x01Laboratory staff\x01" "analyst2\x02operator1\x02"});
  EXPECT_EQ(loaded.users, (std::vector<std::string>{"B\x01\x01\x01secret\x01" "10", "A\x01" "First\x01\x01\x01" "01"}));
}

// Bytes that separate lines and members cannot forge either (the plain round trip is the
// database fuzzer's promise, run over its corpus).
TEST_F(DatabaseFilesTest, SeparatorBytesInValuesCannotForgeLinesOrMembers) {
  SecurityOptions options, loaded_options;
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
  EXPECT_EQ(DatabaseSnapshot::Members(*odd_loaded.GroupAt(0)), "ann\x02john\x02");
}

// The exact lines a save writes to each file, line ends shown as '|' and list ends as ',': other
// programs read this layout.
TEST_F(DatabaseFilesTest, ASaveWritesExactlyTheseLines) {
  SecurityDatabase db;
  UserRecord ann("ann", "Ann A", "lab", "pw");
  ann.SetAccountDisabled(1);
  db.AddUser(ann);
  GroupRecord lab("Lab", "bench");
  lab.AddMember("ann");
  db.AddGroup(lab);
  RightRecord right(3);
  right.AddMember("Lab");
  db.EditRight(3, right);
  SecurityOptions options;
  options.AuditMaxEvents = 250;
  SaveSecurityDatabase(db, options);
  const auto lines = [this](const char* name) {
    const std::string bytes = testing::ReadBytes(Path(name));
    std::string text;
    for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) {
      const auto c = static_cast<char>(DecodeRecordGroup(testing::U32At(bytes, at)));
      text += c == kLineEnd ? '|' : c == kListSeparator ? ',' : c;
    }
    return text;
  };
  std::string rights;
  for (int n = 0; n < SecurityDatabase::kRightCount; ++n) {
    rights += "##START|Right=" + std::to_string(n) + "|Members=" + (n == 3 ? "Lab," : "") + "|##END|";
  }
  EXPECT_EQ(lines("RIGHTS.REC"), rights);
  EXPECT_EQ(lines("GROUPS.REC"), "##START|GroupName=Lab|Description=bench|Members=ann,|##END|");
  EXPECT_EQ(lines("USERS.REC"),
            "##START|UserName=ann|FullName=Ann A|Description=lab|Password=pw|"
            "CannotChangePassword=0|AccountDisabled=1|##END|");
  EXPECT_EQ(lines("OPTIONS.REC"),
            "##START|AuditEnable=1|AuditLogon=1|AuditPolicy=1|AuditObject=1|AuditOther=1|"
            "AuditMaxEvents=250|AuditOverwrite=1|BlankPasswordOK=1|PasswordMinChars=6|"
            "SecurityDisable=0|IndividualINI=1|##END|");
}

}  // namespace
}  // namespace talmor
