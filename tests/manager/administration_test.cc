#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "audit/audit_log_file.h"
#include "manager/branding.h"
#include "manager/host_status.h"
#include "manager/security_manager.h"
#include "platform/profile_file.h"
#include "support/temp_dir.h"
#include "ui/headless_backend.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Dialogs that the test answers through functions; each call is noted by name.
class ScriptedDialogs : public ManagerDialogs {
 public:
  std::vector<std::string> shown;
  std::function<bool(UserRecord&)> user = [](UserRecord&) { return false; };
  std::function<bool(GroupRecord&)> group = [](GroupRecord&) { return false; };
  std::function<bool(SecurityManager&)> rights = [](SecurityManager&) { return false; };
  std::function<bool(AccountPolicyValues&)> account = [](AccountPolicyValues&) { return false; };
  Window* last_owner = nullptr;

  bool RunLogon(SecurityManager&, Window*) override { return false; }
  bool RunUserProperties(SecurityManager&, Window* owner, UserRecord& record) override {
    shown.push_back("user " + record.UserName());
    last_owner = owner;
    return user(record);
  }
  bool RunGroupProperties(SecurityManager&, Window* owner, GroupRecord& record) override {
    shown.push_back("group " + record.GroupName());
    last_owner = owner;
    return group(record);
  }
  bool RunGroupRightsPolicy(SecurityManager& manager, Window* owner) override {
    shown.push_back("rights");
    last_owner = owner;
    return rights(manager);
  }
  bool RunAccountPolicy(SecurityManager&, Window* owner, AccountPolicyValues& values) override {
    shown.push_back("account");
    last_owner = owner;
    return account(values);
  }
};

class ScriptedAuditDialogs : public AuditDialogs {
 public:
  std::function<bool(AuditPolicyValues&)> policy = [](AuditPolicyValues&) { return false; };
  int viewer_shown = 0;
  Window* viewer_owner = nullptr;

  bool RunAuditPolicy(SecurityManager&, Window*, AuditPolicyValues& values) override {
    return policy(values);
  }
  void RunAuditLogViewer(SecurityManager&, Window* owner) override {
    ++viewer_shown;
    viewer_owner = owner;
  }
};

class AdministrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetBrandingForTesting();
    manager_.SetDialogs(&dialogs_);
    manager_.SetAuditDialogs(&audit_dialogs_);
    manager_.StartUp();
    manager_.AddUser(UserRecord("bob", "Bob", "analyst", "pw"));  // no right 0
    GroupRecord a("A", "");
    a.AddMember("bob");
    manager_.AddGroup(a);
    GroupRecord b("B", "");
    b.AddMember("Bob");
    manager_.AddGroup(b);
  }
  void TearDown() override { ResetBrandingForTesting(); }

  std::vector<std::string> Descriptions() {
    std::vector<std::string> out;
    AuditLogFile log;
    for (uint32_t i = 0; i < log.EventCount(); ++i) {
      std::string date, time, source, user, description;
      log.ReadEvent(i, date, time, source, user, description);
      out.push_back(source + "|" + user + "|" + description);
    }
    return out;
  }
  void LogOn(const char* name, const char* password) {
    ASSERT_EQ(manager_.LogInUser(name, password), 1);
  }

  TempDir dir_;
  ScopedEnv windir_{"QUORVANE_WINDIR", dir_.path()};
  ScopedEnv share_{"QVSHARE_DIR", dir_.File("share")};
  HeadlessBackend backend_;
  ScopedBackend scoped_backend_{backend_};
  ScriptOperator op_;
  ScopedOperator scoped_op_{op_};
  ScriptedDialogs dialogs_;
  ScriptedAuditDialogs audit_dialogs_;
  SecurityManager manager_;
  Window* owner_ = Window::FromHandle(reinterpret_cast<WindowHandle>(uintptr_t{0x500}));
};

const std::string kGranted =
    "Object Access|Administrator|Successful object access.\r\nAccess attempted : Administer user "
    "accounts and groups";
const std::string kRefusalBox =
    "msgbox\tstop\tok\tQuorvane Security Manager\tYou do not have the permissions required to "
    "access this feature.\\nPlease contact your Administrator for futher advice.\tok";

TEST_F(AdministrationTest, EveryOperationNeedsTheAdministrativeRight) {
  LogOn("bob", "pw");
  EXPECT_EQ(manager_.AdminAccountPolicy(owner_), 0);
  EXPECT_EQ(manager_.AdminRightsPolicy(owner_), 0);
  EXPECT_EQ(manager_.AdminEditUser(owner_, std::nullopt), 0);
  EXPECT_EQ(manager_.AdminEditUser(owner_, "Administrator"), 0);
  EXPECT_EQ(manager_.AdminEditGroup(owner_, "A"), 0);
  EXPECT_EQ(manager_.AdminEditGroup(owner_, std::nullopt), 0);
  EXPECT_EQ(manager_.AdminCopyUser(owner_, "bob"), 0);
  EXPECT_EQ(manager_.AdminCopyGroup(owner_, "A"), 0);
  EXPECT_EQ(manager_.AdminDeleteUser(owner_, "bob"), 0);
  EXPECT_EQ(manager_.AdminDeleteGroup(nullptr, "A"), 0);  // no owner: refused without a box
  EXPECT_THAT(dialogs_.shown, IsEmpty());
  EXPECT_EQ(op_.transcript(), std::vector<std::string>(9, kRefusalBox));
  EXPECT_EQ(Descriptions(),
            std::vector<std::string>(10,
                                     "Object Access|bob|Failed object access.\r\nAccess "
                                     "attempted : Administer user accounts and groups"));
  EXPECT_TRUE(manager_.FindUser("bob", nullptr));
  EXPECT_TRUE(manager_.FindGroup("A", nullptr));
}

TEST_F(AdministrationTest, UsersEditTheirOwnAccountWithoutTheRightOrAnEnquiry) {
  LogOn("bob", "pw");
  dialogs_.user = [](UserRecord& u) {
    u.SetStrings(std::nullopt, "Robert", std::nullopt, std::nullopt);
    return true;
  };
  dialogs_.last_owner = nullptr;
  EXPECT_EQ(manager_.AdminEditUser(owner_, "BOB"), 1);
  EXPECT_THAT(dialogs_.shown, ElementsAre("user bob"));
  EXPECT_EQ(dialogs_.last_owner, owner_);
  UserRecord bob;
  ASSERT_TRUE(manager_.FindUser("bob", &bob));
  EXPECT_EQ(bob.FullName(), "Robert");
  EXPECT_THAT(Descriptions(), IsEmpty());
  EXPECT_THAT(op_.transcript(), IsEmpty());
}

TEST_F(AdministrationTest, TheOwnAccountExceptionNeedsTheUserLoggedOnHere) {
  // Logged on elsewhere: the name is only in the status slot, so the edit makes its enquiry
  // (which adopts the name and refuses bob).
  PublishUserName("bob");
  EXPECT_EQ(manager_.AdminEditUser(nullptr, "bob"), 0);
  EXPECT_THAT(dialogs_.shown, IsEmpty());
  EXPECT_THAT(Descriptions(),
              ElementsAre("Object Access|bob|Failed object access.\r\nAccess attempted : "
                          "Administer user accounts and groups"));
  // Now the manager holds the name: the same edit goes through without an enquiry.
  EXPECT_EQ(manager_.AdminEditUser(nullptr, "bob"), 0);  // the dialog is cancelled
  EXPECT_THAT(dialogs_.shown, ElementsAre("user bob"));
  EXPECT_EQ(Descriptions().size(), 1u);
}

TEST_F(AdministrationTest, EditCreatesWithoutANameAndRenamesIntoTheGroups) {
  LogOn("Administrator", "BlueHarbour");
  dialogs_.user = [](UserRecord& u) {
    EXPECT_EQ(u.UserName(), "");
    u.SetStrings("carol", "Carol", "", "secret");
    return true;
  };
  EXPECT_EQ(manager_.AdminEditUser(nullptr, std::nullopt), 1);
  EXPECT_TRUE(manager_.FindUser("carol", nullptr));

  dialogs_.user = [](UserRecord& u) {
    u.SetStrings("robert", std::nullopt, std::nullopt, std::nullopt);
    return true;
  };
  EXPECT_EQ(manager_.AdminEditUser(owner_, "bob"), 1);
  EXPECT_FALSE(manager_.FindUser("bob", nullptr));
  EXPECT_TRUE(manager_.IsUserInGroup("robert", "A"));
  EXPECT_TRUE(manager_.IsUserInGroup("robert", "B"));

  // Cancelled: nothing changes. Unknown: no dialog.
  dialogs_.user = [](UserRecord& u) {
    u.SetStrings("changed", std::nullopt, std::nullopt, std::nullopt);
    return false;
  };
  EXPECT_EQ(manager_.AdminEditUser(owner_, "robert"), 0);
  EXPECT_TRUE(manager_.FindUser("robert", nullptr));
  EXPECT_EQ(manager_.AdminEditUser(owner_, "nobody"), 0);
  EXPECT_THAT(dialogs_.shown, ElementsAre("user ", "user bob", "user robert"));
  EXPECT_EQ(Descriptions(), std::vector<std::string>(4, kGranted));

  dialogs_.group = [](GroupRecord& g) {
    g.SetNameDesc("Chemists", "wet lab");
    return true;
  };
  EXPECT_EQ(manager_.AdminEditGroup(owner_, std::nullopt), 1);
  EXPECT_TRUE(manager_.FindGroup("chemists", nullptr));
  EXPECT_EQ(manager_.AdminEditGroup(owner_, "nothere"), 0);
}

TEST_F(AdministrationTest, CopiesTakeOverGroupsAndRights) {
  LogOn("Administrator", "BlueHarbour");
  UserRecord bob;
  ASSERT_TRUE(manager_.FindUser("bob", &bob));
  bob.SetAccountDisabled(1);
  bob.SetCannotChangePassword(1);
  manager_.EditUser("bob", bob);

  dialogs_.user = [](UserRecord& u) {
    EXPECT_EQ(u.UserName(), "");
    EXPECT_EQ(u.FullName(), "");
    EXPECT_EQ(u.Password(), "");
    EXPECT_EQ(u.Description(), "analyst");
    EXPECT_TRUE(u.GetAccountDisabled());
    EXPECT_TRUE(u.GetCannotChangePassword());
    u.SetStrings("dave", "Dave", std::nullopt, "newpw");
    return true;
  };
  EXPECT_EQ(manager_.AdminCopyUser(owner_, "BOB"), 1);
  UserRecord dave;
  ASSERT_TRUE(manager_.FindUser("dave", &dave));
  EXPECT_EQ(dave.Password(), "newpw");
  EXPECT_EQ(dave.Description(), "analyst");
  EXPECT_TRUE(manager_.IsUserInGroup("dave", "A"));
  EXPECT_TRUE(manager_.IsUserInGroup("dave", "B"));
  EXPECT_FALSE(manager_.IsUserInGroup("dave", "Administrators"));

  RightRecord r2, r7;
  manager_.FindRight(2, &r2);
  r2.AddMember("A");
  manager_.EditRight(2, r2);
  manager_.FindRight(7, &r7);
  r7.AddMember("a");
  manager_.EditRight(7, r7);
  dialogs_.group = [](GroupRecord& g) {
    EXPECT_EQ(g.GroupName(), "");
    EXPECT_TRUE(g.IsMember("bob"));
    g.SetNameDesc("A2", std::nullopt);
    return true;
  };
  EXPECT_EQ(manager_.AdminCopyGroup(owner_, "A"), 1);
  for (int right = 0; right < 26; ++right) {
    RightRecord record;
    manager_.FindRight(right, &record);
    EXPECT_EQ(record.IsMember("A2"), right == 2 || right == 7) << right;
  }
  EXPECT_TRUE(manager_.IsUserInGroup("bob", "A2"));

  // Without a name or with an unknown source nothing is opened; without a name not even the
  // enquiry is made.
  const size_t events = Descriptions().size();
  EXPECT_EQ(manager_.AdminCopyUser(owner_, std::nullopt), 0);
  EXPECT_EQ(manager_.AdminCopyGroup(owner_, std::nullopt), 0);
  EXPECT_EQ(Descriptions().size(), events);
  EXPECT_EQ(manager_.AdminCopyUser(owner_, "ghost"), 0);
  EXPECT_EQ(dialogs_.shown.size(), 2u);
}

TEST_F(AdministrationTest, DeletesAskForConfirmationAndProtectTheBuiltInNames) {
  LogOn("Administrator", "BlueHarbour");
  // The two stop boxes take an answer too when the next action is one.
  op_.AddScript("answer ok\nanswer ok\nanswer cancel\nanswer ok\nanswer ok\n");
  EXPECT_EQ(manager_.AdminDeleteUser(owner_, "administrator"), 0);
  EXPECT_EQ(manager_.AdminDeleteGroup(owner_, "ADMINISTRATORS"), 0);
  EXPECT_EQ(manager_.AdminDeleteUser(owner_, "Bob"), 0);  // cancelled
  EXPECT_TRUE(manager_.FindUser("bob", nullptr));
  EXPECT_EQ(manager_.AdminDeleteUser(owner_, "Bob"), 1);
  EXPECT_FALSE(manager_.FindUser("bob", nullptr));
  EXPECT_FALSE(manager_.IsUserInGroup("bob", "A"));
  EXPECT_FALSE(manager_.IsUserInGroup("bob", "B"));
  EXPECT_EQ(manager_.AdminDeleteGroup(nullptr, "a"), 1);
  EXPECT_FALSE(manager_.FindGroup("A", nullptr));
  EXPECT_EQ(manager_.AdminDeleteUser(owner_, std::nullopt), 0);
  EXPECT_TRUE(manager_.FindUser("Administrator", nullptr));
  EXPECT_TRUE(manager_.FindGroup("Administrators", nullptr));
  EXPECT_THAT(
      op_.transcript(),
      ElementsAre("msgbox\tstop\tok\tQuorvane Security Manager\tThe Administrator account cannot "
                  "be deleted.\tok",
                  "msgbox\tstop\tok\tQuorvane Security Manager\tThe Administrators group cannot "
                  "be deleted.\tok",
                  "msgbox\texclamation\tokcancel\tConfirm User Delete\tDelete User : Bob\tcancel",
                  "msgbox\texclamation\tokcancel\tConfirm User Delete\tDelete User : Bob\tok",
                  "msgbox\texclamation\tokcancel\tConfirm Group Delete\tDelete Group : a\tok"));
  EXPECT_EQ(Descriptions(), std::vector<std::string>(5, kGranted));
}

TEST_F(AdministrationTest, RefusalsCarryTheAlternativeCaptionAndDeletesReachTheRights) {
  WriteProfileString("qvtalmor.ini", "Acquisition", "IsGCMD", "TRUE");
  ResetBrandingForTesting();
  LogOn("bob", "pw");
  EXPECT_EQ(manager_.AdminAccountPolicy(owner_), 0);
  LogOn("Administrator", "BlueHarbour");
  op_.AddScript("answer ok\nanswer ok\nanswer ok\n");
  EXPECT_EQ(manager_.AdminDeleteUser(owner_, "ADMINISTRATOR"), 0);
  EXPECT_EQ(manager_.AdminDeleteGroup(owner_, "administrators"), 0);
  // A deleted group leaves the rights that listed it.
  RightRecord right;
  manager_.FindRight(9, &right);
  right.AddMember("A");
  manager_.EditRight(9, right);
  EXPECT_EQ(manager_.AdminDeleteGroup(owner_, "A"), 1);
  ASSERT_TRUE(manager_.FindRight(9, &right));
  EXPECT_FALSE(right.IsMember("A"));
  EXPECT_THAT(
      op_.transcript(),
      ElementsAre("msgbox\tstop\tok\tSarvento Security Manager\tYou do not have the permissions "
                  "required to access this feature.\\nPlease contact your Administrator for "
                  "futher advice.\tok",
                  "msgbox\tstop\tok\tSarvento Security Manager\tThe Administrator account cannot "
                  "be deleted.\tok",
                  "msgbox\tstop\tok\tSarvento Security Manager\tThe Administrators group cannot "
                  "be deleted.\tok",
                  "msgbox\texclamation\tokcancel\tConfirm Group Delete\tDelete Group : A\tok"));
}

TEST_F(AdministrationTest, PoliciesStoreTheirValuesAndRecordTheChange) {
  LogOn("Administrator", "BlueHarbour");
  // The dialog opens with the current values, not the defaults.
  manager_.PasswordMinChars = 7;
  manager_.BlankPasswordOK = 0;
  manager_.IndividualINI = 1;
  dialogs_.account = [](AccountPolicyValues& v) {
    EXPECT_EQ(v.PasswordMinChars, 7);
    EXPECT_EQ(v.BlankPasswordOK, 0);
    EXPECT_EQ(v.IndividualINI, 1);
    v.PasswordMinChars = 9;
    v.BlankPasswordOK = 0;
    v.IndividualINI = 0;
    return false;  // cancelled: nothing stored
  };
  EXPECT_EQ(manager_.AdminAccountPolicy(owner_), 0);
  EXPECT_EQ(manager_.PasswordMinChars, 7);
  EXPECT_EQ(manager_.IndividualINI, 1);
  dialogs_.account = [](AccountPolicyValues& v) {
    v.PasswordMinChars = 9;
    v.BlankPasswordOK = 0;
    v.IndividualINI = 0;
    return true;
  };
  EXPECT_EQ(manager_.AdminAccountPolicy(owner_), 1);
  EXPECT_EQ(manager_.PasswordMinChars, 9);
  EXPECT_EQ(manager_.BlankPasswordOK, 0);
  EXPECT_EQ(manager_.IndividualINI, 0);
  EXPECT_EQ(manager_.SecurityDisable, 0);

  // The rights policy assigns as it goes: a cancel keeps the assignment but records nothing.
  dialogs_.rights = [](SecurityManager& m) {
    RightRecord right;
    m.FindRight(4, &right);
    right.AddMember("B");
    m.EditRight(4, right);
    return false;
  };
  EXPECT_EQ(manager_.AdminRightsPolicy(owner_), 0);
  ASSERT_EQ(manager_.LogInUser("bob", "pw"), 1);
  EXPECT_EQ(manager_.HasRight(4), 1);
  LogOn("Administrator", "BlueHarbour");
  dialogs_.rights = [](SecurityManager&) { return true; };
  EXPECT_EQ(manager_.AdminRightsPolicy(owner_), 1);

  EXPECT_THAT(
      Descriptions(),
      ElementsAre(kGranted, kGranted, "Policy Change|Administrator|Accounts policy modified.",
                  kGranted, kGranted, "Policy Change|Administrator|Group Rights policy modified."));
}

TEST_F(AdministrationTest, TheAuditPolicyIsRecordedUnderItsNewSettings) {
  LogOn("Administrator", "BlueHarbour");
  // The dialog opens with the current values, not the defaults.
  manager_.AuditMaxEvents = 1234;
  manager_.AuditOther = 0;
  audit_dialogs_.policy = [](AuditPolicyValues& v) {
    EXPECT_EQ(v.AuditMaxEvents, 1234);
    EXPECT_EQ(v.AuditOther, 0);
    EXPECT_EQ(v.AuditObject, 1);
    v.AuditMaxEvents = 50;
    return false;
  };
  EXPECT_EQ(manager_.AdminAuditPolicy(owner_), 0);
  EXPECT_EQ(manager_.AuditMaxEvents, 1234);

  audit_dialogs_.policy = [](AuditPolicyValues& v) {
    v.AuditMaxEvents = 50;
    v.AuditOverwrite = 0;
    v.AuditLogon = 0;
    return true;
  };
  EXPECT_EQ(manager_.AdminAuditPolicy(owner_), 1);
  EXPECT_EQ(manager_.AuditMaxEvents, 50);
  EXPECT_EQ(manager_.AuditOverwrite, 0);
  EXPECT_EQ(manager_.AuditLogon, 0);

  // Switching policy auditing off is itself not recorded; the enquiry before it still is.
  audit_dialogs_.policy = [](AuditPolicyValues& v) {
    v.AuditPolicy = 0;
    return true;
  };
  EXPECT_EQ(manager_.AdminAuditPolicy(owner_), 1);
  EXPECT_EQ(manager_.AuditPolicy, 0);
  // Switching auditing off altogether records nothing either (nor the next enquiry); switching
  // it back on records the change under the new settings.
  audit_dialogs_.policy = [](AuditPolicyValues& v) {
    v.AuditPolicy = 1;
    v.AuditEnable = 0;
    return true;
  };
  EXPECT_EQ(manager_.AdminAuditPolicy(owner_), 1);
  audit_dialogs_.policy = [](AuditPolicyValues& v) {
    v.AuditEnable = 1;
    return true;
  };
  EXPECT_EQ(manager_.AdminAuditPolicy(owner_), 1);
  EXPECT_THAT(
      Descriptions(),
      ElementsAre(kGranted, kGranted, "Policy Change|Administrator|Audit policy modified.",
                  kGranted, kGranted, "Policy Change|Administrator|Audit policy modified."));

  // The viewer: shown after the enquiry, 1 however it is closed; refused without the right.
  EXPECT_EQ(manager_.AdminLogView(owner_), 1);
  EXPECT_EQ(audit_dialogs_.viewer_shown, 1);
  EXPECT_EQ(audit_dialogs_.viewer_owner, owner_);
  LogOn("bob", "pw");
  EXPECT_EQ(manager_.AdminLogView(nullptr), 0);
  EXPECT_EQ(manager_.AdminAuditPolicy(nullptr), 0);
  EXPECT_EQ(audit_dialogs_.viewer_shown, 1);
}

TEST_F(AdministrationTest, EnumerationHandsOutCopiesByPosition) {
  std::string name = "x", full = "x", description = "x";
  EXPECT_EQ(manager_.GetUserStrings(0, name, full, description), 1);
  EXPECT_EQ(name, "bob");  // the most recently added
  EXPECT_EQ(full, "Bob");
  EXPECT_EQ(manager_.GetUserStrings(1, name, full, description), 1);
  EXPECT_EQ(name, "Administrator");
  EXPECT_EQ(manager_.GetUserStrings(2, name, full, description), 0);
  EXPECT_EQ(name + full + description, "");
  EXPECT_EQ(manager_.GetUserStrings(-1, name, full, description), 0);
  EXPECT_EQ(manager_.GetGroupStrings(0, name, description), 1);
  EXPECT_EQ(name, "B");
  EXPECT_EQ(manager_.GetGroupStrings(2, name, description), 1);
  EXPECT_EQ(name, "Administrators");
  EXPECT_EQ(description, "Members can fully administer Quorvane");
  EXPECT_EQ(manager_.GetGroupStrings(3, name, description), 0);
  EXPECT_EQ(name + description, "");
  EXPECT_THAT(Descriptions(), IsEmpty());
}

}  // namespace
}  // namespace talmor::testing
