#include "dialogs/user_properties_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "manager/rights_catalogue.h"
#include "resources/resource_ids.h"

namespace talmor::testing {
namespace {

namespace ids = user_properties_ids;
using ::testing::ElementsAre;

std::string Box(const std::string& text) { return StopBox(kManagerCaption, text); }
const std::string kNameMissing = Box("You must type a valid Username for the user.");
const std::string kNameInvalid = Box("You specified a Username that contains invalid characters.");
const std::string kNameInUse =
    Box("You specified a Username which is already in use by another user or group.\nChoose a "
        "Username which in not already in use by another user or group.");
const std::string kNotConfirmed =
    Box("The new password was not correctly confirmed.\nBe sure that the confirmation password "
        "exactly matches the new password.");
std::string TooShort(int n) {
  return Box("The password must be at least " + std::to_string(n) + " characters in length.");
}
std::string Right(uint32_t n) { return std::string(RightName(n, false)); }

// The ids among the dialog's edits, check boxes and rights controls that are enabled.
Step SeeEnabled(std::vector<int>& on) {
  return Probe([&on](Dialog& d) {
    on.clear();
    for (int id :
         {ids::kUserName, ids::kFullName, ids::kDescription, ids::kPassword, ids::kConfirmPassword,
          ids::kCannotChangePassword, ids::kAccountDisabled, ids::kRightsLabel, ids::kRights}) {
      if (d.Item(id)->IsWindowEnabled()) on.push_back(id);
    }
  });
}
const std::vector<int> kAllButRights{ids::kUserName,        ids::kFullName,
                                     ids::kDescription,     ids::kPassword,
                                     ids::kConfirmPassword, ids::kCannotChangePassword,
                                     ids::kAccountDisabled};

class UserPropertiesTest : public DialogScenario {
 protected:
  void SetUp() override {
    DialogScenario::SetUp();
    if (IsSkipped()) return;
    manager().BlankPasswordOK = 0;
    manager().PasswordMinChars = 6;
  }
  UserRecord Stored(const char* name) {
    UserRecord user;
    EXPECT_TRUE(manager().FindUser(name, &user)) << name;
    return user;
  }
};

TEST_P(UserPropertiesTest, NewUserChecksRunInOrderUntilEverythingPasses) {
  LogOnAsAdministrator();
  manager().AddGroup(GroupRecord("Chemists", ""));
  manager().AddGroup(GroupRecord("Lab.Team", ""));  // a name in use that is not a valid one
  std::vector<int> enabled;
  RunResult run = Run(Steps({Script("dialog 134"), Steps(SeeEnabled(enabled)),
                             Script("enter\n"               // 1: no name
                                    "type 1005 Lab.User\n"  // 2: full stop
                                    "enter\ntype 1005 Lab,User\nenter\n"
                                    "type 1005 administrator\n"  // 3: the built-in account
                                    "enter\n"
                                    "type 1005 chemists\n"  // 3: a group's name
                                    "enter\n"
                                    "type 1005 lab.team\n"  // 2 comes before 3
                                    "enter\ntype 1005 Lab User\n"
                                    "type 1001 abcde\n"  // 4: one short, and 4 before 5
                                    "type 1003 abcdx\nenter\n"
                                    "type 1001 abcdef\n"  // 5: not confirmed
                                    "enter\n"
                                    "type 1003 abcdeF\n"  // 5: case matters
                                    "enter\ntype 1003 abcdef\ntype 1006 Lab Person\n"
                                    "type 1002 Runs the instruments\nclick 1009\nenter")}),
                      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, std::nullopt), 1); });
  EXPECT_EQ(enabled, kAllButRights);
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t134\tUser Properties", kNameMissing, kNameInvalid, kNameInvalid,
                          kNameInUse, kNameInUse, kNameInvalid, TooShort(6), kNotConfirmed,
                          kNotConfirmed, "end\t134\t1"));
  EXPECT_EQ(run.steps_left, 0u);
  UserRecord stored = Stored("Lab User");
  EXPECT_EQ(stored.UserName(), "Lab User");
  EXPECT_EQ(stored.FullName(), "Lab Person");
  EXPECT_EQ(stored.Description(), "Runs the instruments");
  EXPECT_EQ(stored.Password(), "abcdef");
  EXPECT_TRUE(stored.GetAccountDisabled());
  EXPECT_FALSE(stored.GetCannotChangePassword());
}

TEST_P(UserPropertiesTest, TheMinimumInTheMessageFollowsTheOptionAndBlankPasswordsSkipIt) {
  LogOnAsAdministrator();
  manager().PasswordMinChars = 11;
  RunResult refused = Run(Script("dialog 134\ntype 1005 ann\nenter\nescape"),
                          [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, std::nullopt), 0); });
  EXPECT_THAT(refused.transcript,
              ElementsAre("dialog\t134\tUser Properties", TooShort(11), "end\t134\t2"));
  EXPECT_FALSE(manager().FindUser("ann", nullptr));
  manager().BlankPasswordOK = 1;
  Run(Script("dialog 134\ntype 1005 ann\nenter"),
      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, std::nullopt), 1); });
  EXPECT_EQ(Stored("ann").Password(), "");
}

// Rows: a stored user, the operator's actions on it, and the record afterwards.
TEST_P(UserPropertiesTest, EditingAStoredUser) {
  LogOnAsAdministrator();
  struct Row {
    const char* script;
    int result;
    std::vector<std::string> boxes;
    const char *name, *full_name, *password;
  };
  for (const Row& row : {
           // A password below the minimum must change before any other change is taken.
           Row{"type 1006 Ann Other\nenter\ntype 1001 abcdefg\ntype 1003 abcdefg\nenter",
               1,
               {TooShort(6)},
               "ann",
               "Ann Other",
               "abcdefg"},
           // The same name in other case passes the in-use check.
           Row{"type 1005 ANN\ntype 1001 abcdefg\ntype 1003 abcdefg\nenter",
               1,
               {},
               "ANN",
               "Ann",
               "abcdefg"},
           Row{"type 1006 Changed\ncheck 1008\ntype 1001 abcdefg\nescape",
               0,
               {},
               "ann",
               "Ann",
               "abc"},
       }) {
    SCOPED_TRACE(row.script);
    manager().DeleteUser("ann");
    manager().AddUser(UserRecord("ann", "Ann", "", "abc"));
    GroupRecord group("Chemists", "");
    group.AddMember("ann");
    manager().AddGroup(group);
    RunResult run = Run(Script(std::string("dialog 134\n") + row.script),
                        [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "ann"), row.result); });
    std::vector<std::string> expected{"dialog\t134\tUser Properties"};
    expected.insert(expected.end(), row.boxes.begin(), row.boxes.end());
    expected.push_back("end\t134\t" + std::string(row.result == 1 ? "1" : "2"));
    EXPECT_EQ(run.transcript, expected);
    UserRecord ann = Stored("ann");
    EXPECT_EQ(ann.UserName(), row.name);
    EXPECT_EQ(ann.FullName(), row.full_name);
    EXPECT_EQ(ann.Password(), row.password);
    EXPECT_FALSE(ann.GetCannotChangePassword());
  }
}

TEST_P(UserPropertiesTest, AUserWithoutRightZeroMayChangeOnlyHisOwnPassword) {
  manager().AddUser(UserRecord("bob", "Bob", "analyst", "bobspassword"));
  ASSERT_EQ(manager().LogInUser("bob", "bobspassword"), 1);
  std::vector<int> enabled;
  RunResult run = Run(Steps({Script("dialog 134"), Steps(SeeEnabled(enabled)),
                             Script("type 1005 robert\n"  // disabled: ignored
                                    "type 1001 newpassword\ntype 1003 newpassword\nenter")}),
                      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "BOB"), 1); });
  EXPECT_THAT(enabled,
              ElementsAre(ids::kPassword, ids::kConfirmPassword, ids::kRightsLabel, ids::kRights));
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t134\tUser Properties",
                                          "error\tcontrol 1005 is disabled", "end\t134\t1"));
  EXPECT_EQ(Stored("bob").UserName(), "bob");
  EXPECT_EQ(Stored("bob").Password(), "newpassword");
  // Not allowed to change his password: nothing of the account can be changed.
  UserRecord locked = Stored("bob");
  locked.SetCannotChangePassword(1);
  manager().EditUser("bob", locked);
  Run(Steps({Script("dialog 134"), Steps(SeeEnabled(enabled)), Script("escape")}),
      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "bob"), 0); });
  EXPECT_THAT(enabled, ElementsAre(ids::kRightsLabel, ids::kRights));
  // Another user's account needs the right.
  Run({}, [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "Administrator"), 0); });
}

TEST_P(UserPropertiesTest, TheBuiltInAccountKeepsItsNameAndHasEveryRight) {
  LogOnAsAdministrator();
  std::vector<int> enabled;
  std::vector<std::string> rights;
  Run(Steps({Script("dialog 134"), Steps(SeeEnabled(enabled)),
             Steps(Probe([&](Dialog& d) { rights = Entries(d.Item(ids::kRights)); })),
             Script("type 1001 NewHarbour1\ntype 1003 NewHarbour1\nenter")}),
      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "Administrator"), 1); });
  EXPECT_THAT(enabled,
              ElementsAre(ids::kPassword, ids::kConfirmPassword, ids::kRightsLabel, ids::kRights));
  EXPECT_EQ(rights.size(), 26u);
  EXPECT_EQ(Stored("Administrator").Password(), "NewHarbour1");
}

TEST_P(UserPropertiesTest, RightsAreListedOncePerGrantingGroupInRightOrder) {
  LogOnAsAdministrator();
  manager().AddUser(UserRecord("ann", "", "", "abcdefgh"));
  for (const char* name : {"A", "B", "C"}) {
    GroupRecord group(name, "");
    if (std::string(name) != "C") group.AddMember("ANN");  // membership ignores case
    manager().AddGroup(group);
  }
  for (auto& [right, groups] : std::vector<std::pair<int, std::vector<std::string>>>{
           {2, {"A", "B", "C"}}, {5, {"C", "A"}}, {7, {"C", "Gone"}}, {0, {"Administrators"}}}) {
    RightRecord record(right);
    for (const std::string& g : groups) record.AddMember(g);
    manager().EditRight(right, record);
  }
  std::vector<std::string> rights;
  Run(Steps({Script("dialog 134"),
             Steps(Probe([&](Dialog& d) { rights = Entries(d.Item(ids::kRights)); })),
             Script("escape")}),
      [&] { manager().AdminEditUser(nullptr, "ann"); });
  EXPECT_THAT(rights, ElementsAre(Right(2), Right(2), Right(5)));
}

TEST_P(UserPropertiesTest, ACopyStartsWithoutNameAndTakesTheMemberships) {
  LogOnAsAdministrator();
  UserRecord source("ann", "Ann", "analyst", "abcdefgh");
  source.SetCannotChangePassword(1);
  manager().AddUser(source);
  GroupRecord group("Chemists", "");
  group.AddMember("ann");
  manager().AddGroup(group);
  std::vector<int> enabled;
  std::string name, full_name, description;
  int cannot_change = -1;
  Run(Steps({Script("dialog 134"), Steps(SeeEnabled(enabled)), Steps(Probe([&](Dialog& d) {
               name = d.Item(ids::kUserName)->GetWindowText();
               full_name = d.Item(ids::kFullName)->GetWindowText();
               description = d.Item(ids::kDescription)->GetWindowText();
               cannot_change = d.Item(ids::kCannotChangePassword)->GetCheck();
             })),
             Script("type 1005 ann2\ntype 1001 passw0rd\ntype 1003 passw0rd\nenter")}),
      [&] { EXPECT_EQ(manager().AdminCopyUser(nullptr, "ann"), 1); });
  EXPECT_EQ(enabled, kAllButRights);
  EXPECT_EQ(name + full_name, "");
  EXPECT_EQ(description, "analyst");
  EXPECT_EQ(cannot_change, kChecked);
  EXPECT_EQ(Stored("ann2").Password(), "passw0rd");
  GroupRecord stored;
  ASSERT_TRUE(manager().FindGroup("Chemists", &stored));
  EXPECT_TRUE(stored.IsMember("ann2"));
}

INSTANTIATE_TEST_SUITE_P(Backends, UserPropertiesTest, UiBackendRows(), UiBackendName);

// Every byte is classified by the listed rule alone; nothing above 0x7F but 0x9C is allowed.
TEST(UserNameCharacters, EveryByteIsClassifiedByTheListedSet) {
  const std::string marks = " _-&!$%^()@#~";
  for (int b = 0; b < 256; ++b) {
    bool expected = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                    marks.find(static_cast<char>(b)) != std::string::npos || b == 0x9C;
    EXPECT_EQ(IsUserNameByte(static_cast<unsigned char>(b)), expected) << "byte " << b;
  }
  EXPECT_TRUE(IsValidUserName("  Lab  User (2) ~#@ "));
  EXPECT_FALSE(IsValidUserName(std::string("nul\0byte", 8)));
}

}  // namespace
}  // namespace talmor::testing
