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
using ::testing::IsEmpty;

constexpr const char* kCaption = "Quorvane Security Manager";
constexpr const char* kNameMissing = "You must type a valid Username for the user.";
constexpr const char* kNameInvalid = "You specified a Username that contains invalid characters.";
constexpr const char* kNameInUse =
    "You specified a Username which is already in use by another user or group.\nChoose a "
    "Username which in not already in use by another user or group.";
constexpr const char* kNotConfirmed =
    "The new password was not correctly confirmed.\nBe sure that the confirmation password "
    "exactly matches the new password.";

std::string Right(uint32_t n) { return std::string(RightName(n, false)); }

struct Enabled {
  std::vector<int> on, off;
};

// Which of the dialog's edits, check boxes and rights controls are enabled.
Enabled EnabledControls(Dialog& d) {
  Enabled e;
  for (int id :
       {ids::kUserName, ids::kFullName, ids::kDescription, ids::kPassword, ids::kConfirmPassword,
        ids::kCannotChangePassword, ids::kAccountDisabled, ids::kRightsLabel, ids::kRights}) {
    (d.Item(id)->IsWindowEnabled() ? e.on : e.off).push_back(id);
  }
  return e;
}

class UserPropertiesTest : public DialogScenario {
 protected:
  void SetUp() override {
    DialogScenario::SetUp();
    manager().BlankPasswordOK = 0;
    manager().PasswordMinChars = 6;
  }
};

TEST_P(UserPropertiesTest, NewUserChecksRunInOrderUntilEverythingPasses) {
  LogOnAsAdministrator();
  manager().AddGroup(GroupRecord("Chemists", ""));
  manager().AddGroup(GroupRecord("Lab.Team", ""));  // a name in use that is not a valid one
  Enabled enabled;
  RunResult run = Run(
      Steps({Script("dialog 134"), Steps(Probe([&](Dialog& d) { enabled = EnabledControls(d); })),
             Script("enter\n"               // 1: no name
                    "type 1005 Lab.User\n"  // 2: full stop
                    "enter\n"
                    "type 1005 Lab,User\n"  // 2: comma
                    "enter\n"
                    "type 1005 administrator\n"  // 3: the built-in account
                    "enter\n"
                    "type 1005 chemists\n"  // 3: a group's name
                    "enter\n"
                    "type 1005 lab.team\n"  // 2 comes before 3
                    "enter\n"
                    "type 1005 Lab User\n"
                    "type 1001 abcde\n"  // 4: one short of the minimum, and 4 before 5
                    "type 1003 abcdx\n"
                    "enter\n"
                    "type 1001 abcdef\n"  // 5: not confirmed
                    "enter\n"
                    "type 1003 abcdeF\n"  // 5: case matters
                    "enter\n"
                    "type 1003 abcdef\n"
                    "type 1006 Lab Person\n"
                    "type 1002 Runs the instruments\n"
                    "click 1009\n"
                    "enter\n")}),
      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, std::nullopt), 1); });
  EXPECT_THAT(enabled.off, ElementsAre(ids::kRightsLabel, ids::kRights));
  EXPECT_THAT(
      run.transcript,
      ElementsAre("dialog\t134\tUser Properties", StopBox(kCaption, kNameMissing),
                  StopBox(kCaption, kNameInvalid), StopBox(kCaption, kNameInvalid),
                  StopBox(kCaption, kNameInUse), StopBox(kCaption, kNameInUse),
                  StopBox(kCaption, kNameInvalid),
                  StopBox(kCaption, "The password must be at least 6 characters in length."),
                  StopBox(kCaption, kNotConfirmed), StopBox(kCaption, kNotConfirmed),
                  "end\t134\t1"));
  EXPECT_EQ(run.steps_left, 0u);
  UserRecord stored;
  ASSERT_TRUE(manager().FindUser("Lab User", &stored));
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
  EXPECT_THAT(
      refused.transcript,
      ElementsAre("dialog\t134\tUser Properties",
                  StopBox(kCaption, "The password must be at least 11 characters in length."),
                  "end\t134\t2"));
  EXPECT_FALSE(manager().FindUser("ann", nullptr));

  manager().BlankPasswordOK = 1;
  RunResult accepted = Run(Script("dialog 134\ntype 1005 ann\nenter"),
                           [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, std::nullopt), 1); });
  EXPECT_THAT(accepted.transcript, ElementsAre("dialog\t134\tUser Properties", "end\t134\t1"));
  UserRecord ann;
  ASSERT_TRUE(manager().FindUser("ann", &ann));
  EXPECT_EQ(ann.Password(), "");
}

TEST_P(UserPropertiesTest, AStoredPasswordBelowTheMinimumMustChangeBeforeAnyOtherChange) {
  LogOnAsAdministrator();
  manager().AddUser(UserRecord("ann", "Ann", "", "abc"));
  RunResult run = Run(Script("dialog 134\n"
                             "type 1006 Ann Other\n"
                             "enter\n"
                             "type 1001 abcdefg\n"
                             "type 1003 abcdefg\n"
                             "enter\n"),
                      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "ann"), 1); });
  EXPECT_THAT(
      run.transcript,
      ElementsAre("dialog\t134\tUser Properties",
                  StopBox(kCaption, "The password must be at least 6 characters in length."),
                  "end\t134\t1"));
  UserRecord ann;
  ASSERT_TRUE(manager().FindUser("ann", &ann));
  EXPECT_EQ(ann.FullName(), "Ann Other");
  EXPECT_EQ(ann.Password(), "abcdefg");
}

TEST_P(UserPropertiesTest, RenamingToTheSameNameInOtherCasePassesTheInUseCheck) {
  LogOnAsAdministrator();
  manager().AddUser(UserRecord("ann", "", "", "abcdefgh"));
  GroupRecord group("Chemists", "");
  group.AddMember("ann");
  manager().AddGroup(group);
  RunResult run = Run(Script("dialog 134\ntype 1005 ANN\nenter"),
                      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "ann"), 1); });
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t134\tUser Properties", "end\t134\t1"));
  UserRecord renamed;
  ASSERT_TRUE(manager().FindUser("ann", &renamed));
  EXPECT_EQ(renamed.UserName(), "ANN");
}

TEST_P(UserPropertiesTest, CancelLeavesTheRecordAsGiven) {
  LogOnAsAdministrator();
  manager().AddUser(UserRecord("ann", "Ann", "desc", "abcdefgh"));
  RunResult run = Run(Script("dialog 134\ntype 1006 Changed\ncheck 1008\nescape"),
                      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "ann"), 0); });
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t134\tUser Properties", "end\t134\t2"));
  UserRecord ann;
  ASSERT_TRUE(manager().FindUser("ann", &ann));
  EXPECT_EQ(ann.FullName(), "Ann");
  EXPECT_FALSE(ann.GetCannotChangePassword());
}

TEST_P(UserPropertiesTest, AUserWithoutRightZeroMayChangeOnlyHisOwnPassword) {
  manager().AddUser(UserRecord("bob", "Bob", "analyst", "bobspassword"));
  ASSERT_EQ(manager().LogInUser("bob", "bobspassword"), 1);
  Enabled enabled;
  RunResult run = Run(
      Steps({Script("dialog 134"), Steps(Probe([&](Dialog& d) { enabled = EnabledControls(d); })),
             Script("type 1005 robert\n"  // disabled: ignored
                    "type 1001 newpassword\n"
                    "type 1003 newpassword\n"
                    "enter\n")}),
      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "BOB"), 1); });
  EXPECT_THAT(enabled.on,
              ElementsAre(ids::kPassword, ids::kConfirmPassword, ids::kRightsLabel, ids::kRights));
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t134\tUser Properties",
                                          "error\tcontrol 1005 is disabled", "end\t134\t1"));
  UserRecord bob;
  ASSERT_TRUE(manager().FindUser("bob", &bob));
  EXPECT_EQ(bob.UserName(), "bob");
  EXPECT_EQ(bob.Password(), "newpassword");

  // Not allowed to change his password: nothing of the account can be changed.
  UserRecord locked = bob;
  locked.SetCannotChangePassword(1);
  manager().EditUser("bob", locked);
  Run(Steps({Script("dialog 134"), Steps(Probe([&](Dialog& d) { enabled = EnabledControls(d); })),
             Script("escape")}),
      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "bob"), 0); });
  EXPECT_THAT(enabled.on, ElementsAre(ids::kRightsLabel, ids::kRights));
}

TEST_P(UserPropertiesTest, TheBuiltInAccountKeepsItsNameTextsAndFlags) {
  LogOnAsAdministrator();
  Enabled enabled;
  std::vector<std::string> rights;
  RunResult run = Run(Steps({Script("dialog 134"), Steps(Probe([&](Dialog& d) {
                               enabled = EnabledControls(d);
                               rights = Entries(d.Item(ids::kRights));
                             })),
                             Script("type 1001 NewHarbour1\ntype 1003 NewHarbour1\nenter")}),
                      [&] { EXPECT_EQ(manager().AdminEditUser(nullptr, "Administrator"), 1); });
  EXPECT_THAT(enabled.on,
              ElementsAre(ids::kPassword, ids::kConfirmPassword, ids::kRightsLabel, ids::kRights));
  // Every right, through the built-in group, in number order.
  ASSERT_EQ(rights.size(), 26u);
  for (uint32_t n = 0; n < 26; ++n) EXPECT_EQ(rights[n], Right(n));
  UserRecord admin;
  ASSERT_TRUE(manager().FindUser("Administrator", &admin));
  EXPECT_EQ(admin.Password(), "NewHarbour1");
}

TEST_P(UserPropertiesTest, RightsAreListedOncePerGrantingGroupInRightOrder) {
  LogOnAsAdministrator();
  manager().AddUser(UserRecord("ann", "", "", "abcdefgh"));
  for (const char* name : {"A", "B", "C"}) {
    GroupRecord group(name, "");
    if (std::string(name) != "C") group.AddMember("ANN");  // membership ignores case
    manager().AddGroup(group);
  }
  auto grant = [&](int right, std::vector<std::string> groups) {
    RightRecord record(right);
    for (const std::string& g : groups) record.AddMember(g);
    manager().EditRight(right, record);
  };
  grant(2, {"A", "B", "C"});
  grant(5, {"C", "A"});
  grant(7, {"C", "Gone"});  // only through a group without her and one that does not exist
  grant(0, {"Administrators"});
  std::vector<std::string> rights;
  Run(Steps({Script("dialog 134"),
             Steps(Probe([&](Dialog& d) { rights = Entries(d.Item(ids::kRights)); })),
             Script("escape")}),
      [&] { manager().AdminEditUser(nullptr, "ann"); });
  EXPECT_THAT(rights, ElementsAre(Right(2), Right(2), Right(5)));
}

TEST_P(UserPropertiesTest, ACopyStartsWithoutNameAndRightsList) {
  LogOnAsAdministrator();
  UserRecord source("ann", "Ann", "analyst", "abcdefgh");
  source.SetCannotChangePassword(1);
  manager().AddUser(source);
  Enabled enabled;
  std::string description;
  int cannot_change = -1;
  RunResult run = Run(Steps({Script("dialog 134"), Steps(Probe([&](Dialog& d) {
                               enabled = EnabledControls(d);
                               description = d.Item(ids::kDescription)->GetWindowText();
                               cannot_change = d.Item(ids::kCannotChangePassword)->GetCheck();
                             })),
                             Script("type 1005 ann2\ntype 1001 passw0rd\ntype 1003 passw0rd\n"
                                    "enter")}),
                      [&] { EXPECT_EQ(manager().AdminCopyUser(nullptr, "ann"), 1); });
  EXPECT_THAT(enabled.off, ElementsAre(ids::kRightsLabel, ids::kRights));
  EXPECT_EQ(description, "analyst");
  EXPECT_EQ(cannot_change, kChecked);
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t134\tUser Properties", "end\t134\t1"));
}

TEST_P(UserPropertiesTest, AlternativeBrandingCaptionsTheMessages) {
  UseAlternativeBranding();
  LogOnAsAdministrator();
  RunResult run = Run(Script("dialog 134\nenter\nescape"),
                      [&] { manager().AdminEditUser(nullptr, std::nullopt); });
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t134\tUser Properties",
                          StopBox("Sarvento Security Manager", kNameMissing), "end\t134\t2"));
}

INSTANTIATE_TEST_SUITE_P(Backends, UserPropertiesTest, ::testing::ValuesIn(DriverBackends()));

// Every byte is classified by the listed rule alone; nothing above 0x7F but 0x9C is allowed.
TEST(UserNameCharacters, EveryByteIsClassifiedByTheListedSet) {
  const std::string marks = " _-&!$%^()@#~";
  for (int b = 0; b < 256; ++b) {
    bool expected = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                    marks.find(static_cast<char>(b)) != std::string::npos || b == 0x9C;
    EXPECT_EQ(IsUserNameByte(static_cast<unsigned char>(b)), expected) << "byte " << b;
  }
  EXPECT_TRUE(IsValidUserName("  Lab  User (2) ~#@ "));
  EXPECT_TRUE(IsValidUserName("price\x9C"));
  EXPECT_FALSE(IsValidUserName("caf\xE9"));
  EXPECT_FALSE(IsValidUserName(std::string("nul\0byte", 8)));
  EXPECT_FALSE(IsValidUserName("tab\there"));
  EXPECT_FALSE(IsValidUserName("a/b"));
}

}  // namespace
}  // namespace talmor::testing
