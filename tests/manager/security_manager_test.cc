#include "manager/security_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audit/audit_log_file.h"
#include "manager/branding.h"
#include "manager/host_status.h"
#include "manager/security_app.h"
#include "platform/file_exception.h"
#include "platform/profile_file.h"
#include "qvshare.h"
#include "storage/database_files.h"
#include "support/faulty_file_system.h"
#include "support/temp_dir.h"
#include "ui/headless_backend.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Event {
  std::string source, user, description;
  bool operator==(const Event&) const = default;
};

void PrintTo(const Event& e, std::ostream* os) {
  *os << "{" << e.source << " | " << e.user << " | " << e.description << "}";
}

// Dialogs that answer as the test says and count how often they were shown.
class FakeDialogs : public NoManagerDialogs {
 public:
  // Logs on with these when `logon_ok`, as the real dialog's OK would.
  std::string name = "Administrator";
  std::string password = "BlueHarbour";
  bool logon_ok = true;
  int logon_shown = 0;
  Window* last_owner = nullptr;

  bool RunLogon(SecurityManager& manager, Window* owner) override {
    ++logon_shown;
    last_owner = owner;
    if (!logon_ok || !manager.LogInUser(name, password)) return false;
    PublishUserName(name);
    return true;
  }
};

class SecurityManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetBrandingForTesting(); }
  void TearDown() override {
    QVHostPresenceRelease();
    ResetBrandingForTesting();
  }

  std::vector<Event> ReadLog() {
    std::vector<Event> events;
    AuditLogFile log;
    for (uint32_t i = 0; i < log.EventCount(); ++i) {
      std::string date, time;
      Event e;
      EXPECT_TRUE(log.ReadEvent(i, date, time, e.source, e.user, e.description));
      events.push_back(e);
    }
    return events;
  }

  void SetBranding(const std::string& value) {
    WriteProfileString("qvtalmor.ini", "Acquisition", "IsGCMD", value);
    ResetBrandingForTesting();
  }

  TempDir dir_;
  ScopedEnv windir_{"QUORVANE_WINDIR", dir_.path()};
  ScopedEnv share_{"QVSHARE_DIR", dir_.File("share")};
  ScopedEnv ui_{"TALMOR_UI", "headless"};
};

std::vector<std::string> Members(const MembershipRecord& record) {
  std::vector<std::string> names;
  std::string name;
  for (int i = 0; record.GetMemberAt(i, &name); ++i) names.push_back(name);
  return names;
}

// ---- Start-up ----

TEST_F(SecurityManagerTest, StartUpWithoutFilesCreatesTheBuiltInAccountGroupAndRights) {
  SecurityManager manager;
  manager.StartUp();

  EXPECT_EQ(static_cast<const SecurityOptions&>(manager), SecurityOptions{});
  EXPECT_EQ(manager.current_user(), "");
  ASSERT_EQ(manager.UserCount(), 1);
  const UserRecord& admin = *manager.UserAt(0);
  EXPECT_EQ(admin.UserName(), "Administrator");
  EXPECT_EQ(admin.FullName(), "Quorvane Administrator");
  EXPECT_EQ(admin.Description(), "Built-in account for administering Quorvane");
  EXPECT_EQ(admin.Password(), "BlueHarbour");
  EXPECT_FALSE(admin.GetAccountDisabled());
  EXPECT_FALSE(admin.GetCannotChangePassword());

  ASSERT_EQ(manager.GroupCount(), 1);
  EXPECT_EQ(manager.GroupAt(0)->GroupName(), "Administrators");
  EXPECT_EQ(manager.GroupAt(0)->Description(), "Members can fully administer Quorvane");
  EXPECT_THAT(Members(*manager.GroupAt(0)), ElementsAre("Administrator"));
  for (int right = 0; right < 26; ++right) {
    RightRecord record;
    ASSERT_TRUE(manager.FindRight(right, &record));
    EXPECT_THAT(Members(record), ElementsAre("Administrators")) << "right " << right;
  }
  // Loading wrote nothing.
  EXPECT_FALSE(std::filesystem::exists(dir_.File("USERS.REC")));
}

TEST_F(SecurityManagerTest, StartUpRepairsCraftedFilesAndKeepsWhatTheyHold) {
  {
    SecurityManager crafted;  // no built-in accounts: what a foreign tool might have written
    UserRecord admin("ADMINistrator", "Someone Else", "hijacked", "s3cret");
    admin.SetAccountDisabled(1);
    admin.SetCannotChangePassword(1);
    crafted.AddUser(admin);
    crafted.AddUser(UserRecord("alice", "Alice", "", "pw"));
    GroupRecord admins("administrators", "old description");
    admins.AddMember("alice");
    crafted.AddGroup(admins);
    GroupRecord lab("Lab", "");
    lab.AddMember("ADMINistrator");
    lab.AddMember("alice");
    crafted.AddGroup(lab);
    RightRecord tune(13);
    tune.AddMember("Lab");
    crafted.EditRight(13, tune);
    SecurityOptions options;
    options.AuditMaxEvents = 77;
    options.PasswordMinChars = 3;
    SaveSecurityDatabase(crafted, options);
  }

  SecurityManager manager;
  manager.StartUp();
  EXPECT_EQ(manager.AuditMaxEvents, 77);
  EXPECT_EQ(manager.PasswordMinChars, 3);

  ASSERT_EQ(manager.UserCount(), 2);
  UserRecord admin;
  ASSERT_TRUE(manager.FindUser("administrator", &admin));
  EXPECT_EQ(admin.UserName(), "Administrator");
  EXPECT_EQ(admin.FullName(), "Quorvane Administrator");
  EXPECT_EQ(admin.Description(), "Built-in account for administering Quorvane");
  EXPECT_EQ(admin.Password(), "s3cret");  // only the password survives
  EXPECT_FALSE(admin.GetAccountDisabled());
  EXPECT_FALSE(admin.GetCannotChangePassword());

  GroupRecord admins;
  ASSERT_TRUE(manager.FindGroup("Administrators", &admins));
  EXPECT_EQ(admins.GroupName(), "Administrators");
  EXPECT_EQ(admins.Description(), "Members can fully administer Quorvane");
  EXPECT_TRUE(admins.IsMember("alice"));
  EXPECT_TRUE(admins.IsMember("Administrator"));
  EXPECT_EQ(Members(admins).size(), 2u);

  // The other group keeps the old spelling and still counts the account as a member.
  GroupRecord lab;
  ASSERT_TRUE(manager.FindGroup("Lab", &lab));
  EXPECT_TRUE(lab.IsMember("Administrator"));
  EXPECT_THAT(Members(lab), ::testing::Contains("ADMINistrator"));

  RightRecord tune;
  ASSERT_TRUE(manager.FindRight(13, &tune));
  EXPECT_TRUE(tune.IsMember("Lab"));
  EXPECT_TRUE(tune.IsMember("Administrators"));
  for (int right = 0; right < 26; ++right) {
    EXPECT_TRUE(manager.UserHoldsRight("Administrator", right)) << right;
  }
  EXPECT_TRUE(manager.LogInUser("Administrator", "s3cret"));
}

TEST_F(SecurityManagerTest, StartUpClearsTheUserNameSlotOnlyWhenNoHostIsRunning) {
  PublishUserName("leftover");
  {
    ASSERT_EQ(QVHostPresenceAcquire(), 1);
    SecurityManager manager;
    manager.StartUp();
    EXPECT_EQ(ReadPublishedUserName(), "leftover");
    QVHostPresenceRelease();
  }
  SecurityManager manager;
  manager.StartUp();
  EXPECT_EQ(ReadPublishedUserName(), "");
}

TEST_F(SecurityManagerTest, ApplicationObjectOwnsTheManagerBetweenInitAndExit) {
  FakeDialogs dialogs;
  SecurityApp app(&dialogs);
  EXPECT_EQ(app.manager(), nullptr);
  EXPECT_EQ(app.module_state().app_name(), "talmor.dll");
  EXPECT_TRUE(app.InitInstance());
  ASSERT_NE(app.manager(), nullptr);
  EXPECT_EQ(app.manager()->UserCount(), 1);
  EXPECT_EQ(&app.manager()->dialogs(), &dialogs);
  app.manager()->AddUser(UserRecord("bob", "", "", ""));
  EXPECT_EQ(app.ExitInstance(), 0);
  EXPECT_EQ(app.manager(), nullptr);
  // Nothing was saved.
  EXPECT_TRUE(app.InitInstance());
  EXPECT_FALSE(app.manager()->FindUser("bob", nullptr));
  app.ExitInstance();
}

// ---- Branding ----

TEST_F(SecurityManagerTest, OnlyExactlyTrueSelectsTheAlternativeBranding) {
  EXPECT_EQ(IsAlternativeBranding(), 0);  // no profile file
  for (const char* value : {"true", "True", "1", "TRUE ", "YES"}) {
    SetBranding(value);
    // A value with trailing blanks is read without them, as the platform reads profile values.
    const int expected = std::string(value) == "TRUE " ? 1 : 0;
    EXPECT_EQ(IsAlternativeBranding(), expected) << "'" << value << "'";
  }
  SetBranding("TRUE");
  EXPECT_EQ(IsAlternativeBranding(), 1);
  EXPECT_EQ(SecurityManagerCaption(), "Sarvento Security Manager");
  // Decided once: a later change of the file is not seen.
  WriteProfileString("qvtalmor.ini", "Acquisition", "IsGCMD", "FALSE");
  EXPECT_EQ(IsAlternativeBranding(), 1);

  SecurityManager manager;
  manager.StartUp();
  EXPECT_EQ(manager.UserAt(0)->FullName(), "Sarvento Administrator");
  EXPECT_EQ(manager.UserAt(0)->Description(), "Built-in account for administering Sarvento");
  EXPECT_EQ(manager.GroupAt(0)->Description(), "Members can fully administer Sarvento");
  char name[120];
  ASSERT_EQ(manager.GetRightName(3, name, sizeof name), 1);
  EXPECT_STREQ(name, "Customize Sarvento system globals");
}

TEST_F(SecurityManagerTest, AnEmptyBrandingValueIsReadAgainAtTheNextQuestion) {
  SetBranding("");
  EXPECT_EQ(IsAlternativeBranding(), 0);
  EXPECT_EQ(SecurityManagerCaption(), "Quorvane Security Manager");
  WriteProfileString("qvtalmor.ini", "Acquisition", "IsGCMD", "TRUE");
  EXPECT_EQ(IsAlternativeBranding(), 1);
  // A missing key, by contrast, decides for the main branding at once.
  DeleteProfileKey("qvtalmor.ini", "Acquisition", "IsGCMD");
  ResetBrandingForTesting();
  EXPECT_EQ(IsAlternativeBranding(), 0);
  WriteProfileString("qvtalmor.ini", "Acquisition", "IsGCMD", "TRUE");
  EXPECT_EQ(IsAlternativeBranding(), 0);
}

// ---- The user name slot ----

TEST_F(SecurityManagerTest, NamesOverThirtyTwoCharactersAreNotPublished) {
  PublishUserName("before");
  PublishUserName(std::string(33, 'x'));
  EXPECT_EQ(ReadPublishedUserName(), "before");
  PublishUserName(std::string(31, 'y'));
  EXPECT_EQ(ReadPublishedUserName(), std::string(31, 'y'));
  // Thirty-two characters are published, but the 32-byte read gives back 31 of them.
  PublishUserName(std::string(32, 'z'));
  EXPECT_EQ(ReadPublishedUserName(), std::string(31, 'z'));
}

// A second process of the host adopts the user logged on in the first one.
TEST_F(SecurityManagerTest, ASecondProcessAdoptsThePublishedUser) {
  {
    SecurityManager setup;
    setup.StartUp();
    setup.AddUser(UserRecord("chemist", "A Chemist", "bench 4", "pw"));
    GroupRecord lab("Lab", "");
    lab.AddMember("CHEMIST");
    setup.AddGroup(lab);
    RightRecord right;
    ASSERT_TRUE(setup.FindRight(14, &right));
    right.AddMember("lab");
    setup.EditRight(14, right);
    setup.Save();
  }
  ASSERT_EQ(QVHostPresenceAcquire(), 1);  // the host is running: start-up keeps the slot
  FakeDialogs dialogs;
  dialogs.name = "Chemist";
  dialogs.password = "pw";
  SecurityManager first;
  first.SetDialogs(&dialogs);
  first.StartUp();
  ASSERT_EQ(first.Login(nullptr), 1);
  EXPECT_EQ(first.current_user(), "chemist");
  EXPECT_EQ(ReadPublishedUserName(), "Chemist");  // as typed

  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int failures = 0;
    SecurityManager second;
    second.StartUp();
    if (second.current_user() != "") failures |= 1;
    if (second.HasRight(14) != 1) failures |= 2;  // adopts "Chemist"
    if (second.current_user() != "Chemist") failures |= 4;
    if (second.HasRight(0) != 0) failures |= 8;
    std::string name, full, description, password;
    if (second.GetCurrentUserRecord(name, full, description, password) != 1 || name != "chemist" ||
        full != "A Chemist" || description != "bench 4") {
      failures |= 16;
    }
    second.Enquire(nullptr, 14, true);
    ::_exit(failures);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The second process's event carries the adopted name.
  const std::vector<Event> log = ReadLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(),
            (Event{"Object Access", "Chemist",
                   "Successful object access.\r\nAccess attempted : Start acquisitions"}));

  // After a log-off in the first process, a new process finds nobody.
  first.Logoff();
  const pid_t again = ::fork();
  ASSERT_GE(again, 0);
  if (again == 0) {
    SecurityManager third;
    third.StartUp();
    std::string name, full, description, password;
    ::_exit(third.HasRight(14) == 0 &&
                    third.GetCurrentUserRecord(name, full, description, password) == 0
                ? 0
                : 1);
  }
  ASSERT_EQ(::waitpid(again, &status, 0), again);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// ---- Log-on and log-off ----

TEST_F(SecurityManagerTest, LogOnComparesNamesIgnoringCaseAndPasswordsExactly) {
  SecurityManager manager;
  manager.StartUp();
  UserRecord off("operator", "", "", "Secret");
  off.SetAccountDisabled(1);
  manager.AddUser(off);
  manager.AddUser(UserRecord("nopass", "", "", ""));

  EXPECT_EQ(manager.LogInUser("ADMINISTRATOR", "blueharbour"), 0);
  EXPECT_EQ(manager.current_user(), "");
  EXPECT_EQ(manager.LogInUser("ADMINISTRATOR", "BlueHarbour"), 1);
  EXPECT_EQ(manager.current_user(), "Administrator");     // as stored
  EXPECT_EQ(manager.LogInUser("operator", "Secret"), 0);  // disabled
  EXPECT_EQ(manager.LogInUser("nobody", ""), 0);
  EXPECT_EQ(manager.current_user(), "Administrator");  // a failure changes nothing
  EXPECT_EQ(manager.LogInUser("NoPass", ""), 1);
  EXPECT_EQ(manager.current_user(), "nopass");
  EXPECT_EQ(manager.LogInUser("nopass", " "), 0);

  manager.SecurityDisable = 1;
  EXPECT_EQ(manager.LogInUser("nobody", "wrong"), 1);
  EXPECT_EQ(manager.current_user(), "Administrator");
  EXPECT_THAT(ReadLog(), IsEmpty());  // LogInUser records nothing
}

TEST_F(SecurityManagerTest, LoginRecordsTheOutcomeUnderTheCurrentUser) {
  FakeDialogs dialogs;
  SecurityManager manager;
  manager.SetDialogs(&dialogs);
  manager.StartUp();
  manager.AddUser(UserRecord("alice", "", "", "pw"));
  Window* owner = Window::FromHandle(reinterpret_cast<WindowHandle>(uintptr_t{0x42}));

  dialogs.name = "ALICE";
  dialogs.password = "pw";
  EXPECT_EQ(manager.Login(owner), 1);
  EXPECT_EQ(dialogs.last_owner, owner);
  EXPECT_EQ(manager.current_user(), "alice");
  EXPECT_EQ(ReadPublishedUserName(), "ALICE");

  dialogs.logon_ok = false;  // cancelled while alice is logged on
  EXPECT_EQ(manager.Login(owner), 0);
  EXPECT_EQ(manager.current_user(), "alice");

  manager.Logoff();
  EXPECT_EQ(manager.Login(nullptr), 0);  // cancelled with nobody logged on

  manager.SecurityDisable = 1;
  PublishUserName("untouched");
  EXPECT_EQ(manager.Login(owner), 1);
  EXPECT_EQ(dialogs.logon_shown, 3);  // no dialog with security disabled
  EXPECT_EQ(manager.current_user(), "Administrator");
  EXPECT_EQ(ReadPublishedUserName(), "untouched");

  EXPECT_THAT(ReadLog(), ElementsAre(Event{"Logon/Logoff", "alice", "Successful logon."},
                                     Event{"Logon/Logoff", "alice", "Failed logon."},
                                     Event{"Logon/Logoff", "alice", "User logged off."},
                                     Event{"Logon/Logoff", "", "Failed logon."},
                                     Event{"Logon/Logoff", "Administrator", "Successful logon."}));
}

TEST_F(SecurityManagerTest, LogoffCompactsTheLogAndClearsTheUserEvenWithoutLogonAuditing) {
  SecurityManager manager;
  manager.StartUp();
  manager.AuditMaxEvents = 5;
  ASSERT_EQ(manager.LogInUser("Administrator", "BlueHarbour"), 1);
  PublishUserName("Administrator");
  for (int i = 0; i < 8; ++i) manager.RecordNote("Host", "note " + std::to_string(i));
  {
    AuditLogFile log;
    EXPECT_EQ(log.EventCount(), 5u);
    EXPECT_NE(log.flags() & AuditLogFile::kFlagCompactionPending, 0u);
  }
  const auto before = std::filesystem::file_size(dir_.File("QUORVANE.LOG"));

  manager.Logoff();
  EXPECT_EQ(manager.current_user(), "");
  EXPECT_EQ(ReadPublishedUserName(), "");
  {
    AuditLogFile log;
    EXPECT_EQ(log.flags() & AuditLogFile::kFlagCompactionPending, 0u);
  }
  EXPECT_LT(std::filesystem::file_size(dir_.File("QUORVANE.LOG")), before);
  std::vector<Event> log = ReadLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log.front().description, "note 4");
  EXPECT_EQ(log.back(), (Event{"Logon/Logoff", "Administrator", "User logged off."}));

  // With log-on auditing off nothing is written, but the user still leaves.
  manager.AuditLogon = 0;
  ASSERT_EQ(manager.LogInUser("Administrator", "BlueHarbour"), 1);
  PublishUserName("Administrator");
  manager.Logoff();
  EXPECT_EQ(manager.current_user(), "");
  EXPECT_EQ(ReadPublishedUserName(), "");
  EXPECT_EQ(ReadLog().size(), 5u);
  EXPECT_EQ(ReadLog().back().description, "User logged off.");
}

TEST_F(SecurityManagerTest, LogoffClearsTheUserWhenTheLogCannotBeCompacted) {
  SecurityManager manager;
  manager.StartUp();
  manager.AuditMaxEvents = 2;
  ASSERT_EQ(manager.LogInUser("Administrator", "BlueHarbour"), 1);
  PublishUserName("Administrator");
  for (int i = 0; i < 4; ++i) manager.RecordNote("Host", "x");
  // The compaction's first rename fails with a file error.
  FaultyFileSystem files;
  {
    ScopedFileSystem installed(files);
    files.Arm(FaultKind::kRename, 1);
    EXPECT_NO_THROW(manager.Logoff());
  }
  ASSERT_TRUE(files.fired());
  EXPECT_EQ(manager.current_user(), "");
  EXPECT_EQ(ReadPublishedUserName(), "");
  EXPECT_EQ(ReadLog().size(), 2u);  // the log stays readable
}

TEST_F(SecurityManagerTest, CurrentUserRecordNeedsAUserAndARecord) {
  SecurityManager manager;
  manager.StartUp();
  std::string name = "x", full = "x", description = "x", password = "x";
  EXPECT_EQ(manager.GetCurrentUserRecord(name, full, description, password), 0);
  EXPECT_EQ(name + full + description + password, "");

  manager.AddUser(UserRecord("temp", "Temporary", "desc", "pw"));
  ASSERT_EQ(manager.LogInUser("TEMP", "pw"), 1);
  EXPECT_EQ(manager.GetCurrentUserRecord(name, full, description, password), 1);
  EXPECT_EQ(name, "temp");
  EXPECT_EQ(full, "Temporary");
  EXPECT_EQ(description, "desc");
  EXPECT_EQ(password, "pw");

  manager.DeleteUser("temp");
  EXPECT_EQ(manager.GetCurrentUserRecord(name, full, description, password), 0);
  EXPECT_EQ(name + full + description + password, "");
}

TEST_F(SecurityManagerTest, SaveMakesChangesSurviveTheNextStartUp) {
  {
    SecurityManager manager;
    manager.StartUp();
    manager.AddUser(UserRecord("kept", "", "", ""));
    manager.AuditOther = 0;
    manager.Save();
    manager.AddUser(UserRecord("lost", "", "", ""));
  }
  SecurityManager manager;
  manager.StartUp();
  EXPECT_TRUE(manager.FindUser("kept", nullptr));
  EXPECT_FALSE(manager.FindUser("lost", nullptr));
  EXPECT_EQ(manager.AuditOther, 0);
  EXPECT_EQ(manager.GroupCount(), 1);

  // A directory in place of a database file makes the save fail with a file error.
  std::filesystem::remove(dir_.File("USERS.REC"));
  std::filesystem::create_directory(dir_.File("USERS.REC"));
  std::ofstream(dir_.File("USERS.REC") + "/blocker") << "x";
  EXPECT_THROW(manager.Save(), FileException);
}

// ---- Rights and the enquiry ----

TEST_F(SecurityManagerTest, RightNamesAreCutToTheBufferAndBadArgumentsLeaveItAlone) {
  SecurityManager manager;
  char buffer[64];
  ASSERT_EQ(manager.GetRightName(3, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "Customize Quorvane system globals");
  ASSERT_EQ(manager.GetRightName(25, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "Modify Pellion Browser Schemes");
  ASSERT_EQ(manager.GetRightName(0, buffer, 10), 1);
  EXPECT_STREQ(buffer, "Administe");
  ASSERT_EQ(manager.GetRightName(0, buffer, 1), 1);
  EXPECT_STREQ(buffer, "");

  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(manager.GetRightName(1, buffer, 0), 0);
  EXPECT_EQ(manager.GetRightName(1, buffer, -5), 0);
  EXPECT_EQ(manager.GetRightName(26, buffer, sizeof buffer), 0);
  EXPECT_EQ(manager.GetRightName(0xFFFFFFFFu, buffer, sizeof buffer), 0);
  EXPECT_EQ(manager.GetRightName(1, nullptr, 10), 0);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
}

TEST_F(SecurityManagerTest, RightsComeOnlyFromGroupsThatListTheUser) {
  SecurityManager manager;
  manager.StartUp();
  manager.AddUser(UserRecord("Dana", "", "", "pw"));
  GroupRecord quant("Quant", "");
  quant.AddMember("DANA");
  manager.AddGroup(quant);
  RightRecord right;
  ASSERT_TRUE(manager.FindRight(5, &right));
  right.AddMember("Ghost");  // a group that does not exist contributes nothing
  right.AddMember("QUANT");
  manager.EditRight(5, right);

  EXPECT_EQ(manager.HasRight(5), 0);  // nobody logged on anywhere
  ASSERT_EQ(manager.LogInUser("dana", "pw"), 1);
  EXPECT_EQ(manager.HasRight(5), 1);
  EXPECT_EQ(manager.HasRight(6), 0);
  EXPECT_EQ(manager.HasRight(26), 0);
  EXPECT_EQ(manager.HasRight(0xFFFFFFFFu), 0);
  // Every change of the assignments is seen at once.
  RightRecord none(5);
  manager.EditRight(5, none);
  EXPECT_EQ(manager.HasRight(5), 0);
  manager.EditRight(5, right);
  EXPECT_EQ(manager.HasRight(5), 1);
  GroupRecord without("Quant", "");
  manager.EditGroup("quant", without);
  EXPECT_EQ(manager.HasRight(5), 0);
  manager.EditGroup("quant", quant);
  EXPECT_EQ(manager.HasRight(5), 1);
  ASSERT_EQ(manager.LogInUser("Administrator", "BlueHarbour"), 1);
  EXPECT_EQ(manager.HasRight(5), 1);
  EXPECT_EQ(manager.HasRight(6), 1);
  ASSERT_EQ(manager.LogInUser("DANA", "pw"), 1);
  EXPECT_EQ(manager.HasRight(6), 0);
  // Disabling the account does not take rights away from a logged-on user; the test looks only
  // at the groups.
  UserRecord dana;
  ASSERT_TRUE(manager.FindUser("dana", &dana));
  dana.SetAccountDisabled(1);
  manager.EditUser("dana", dana);
  EXPECT_EQ(manager.HasRight(5), 1);
  // Deleting it takes the name out of the groups, and with it the rights.
  manager.DeleteUser("Dana");
  EXPECT_EQ(manager.HasRight(5), 0);
}

// Enquiries with and without a parent window, granted and refused, with and without auditing.
TEST_F(SecurityManagerTest, EnquiryShowsTheRefusalAndRecordsTheAttempt) {
  HeadlessBackend backend;
  ScopedBackend scoped_backend(backend);
  ScriptOperator op;
  ScopedOperator scoped(op);
  SecurityManager manager;
  manager.StartUp();
  Window* parent = Window::FromHandle(reinterpret_cast<WindowHandle>(uintptr_t{0x77}));

  EXPECT_EQ(manager.Enquire(parent, 13, true), 0);  // nobody logged on
  EXPECT_EQ(manager.Enquire(nullptr, 13, true), 0);
  ASSERT_EQ(manager.LogInUser("Administrator", "BlueHarbour"), 1);
  EXPECT_EQ(manager.Enquire(parent, 13, true), 1);
  EXPECT_EQ(manager.Enquire(parent, 26, true), 0);
  EXPECT_EQ(manager.Enquire(parent, 13, false), 1);
  EXPECT_EQ(manager.Enquire(parent, 99, false), 0);

  const std::string box =
      "msgbox\tstop\tok\tQuorvane Security Manager\tYou do not have the permissions required to "
      "access this feature.\\nPlease contact your Administrator for futher advice.\tok";
  EXPECT_THAT(op.transcript(), ElementsAre(box, box, box));
  EXPECT_THAT(
      ReadLog(),
      ElementsAre(Event{"Object Access", "",
                        "Failed object access.\r\nAccess attempted : Tune mass spectrometer"},
                  Event{"Object Access", "",
                        "Failed object access.\r\nAccess attempted : Tune mass spectrometer"},
                  Event{"Object Access", "Administrator",
                        "Successful object access.\r\nAccess attempted : Tune mass spectrometer"},
                  Event{"Object Access", "Administrator", "Failed object access.\r\n"}));
}

TEST_F(SecurityManagerTest, TheRefusalBoxCarriesTheAlternativeCaption) {
  SetBranding("TRUE");
  HeadlessBackend backend;
  ScopedBackend scoped_backend(backend);
  ScriptOperator op;
  ScopedOperator scoped(op);
  SecurityManager manager;
  manager.StartUp();
  Window* parent = Window::FromHandle(reinterpret_cast<WindowHandle>(uintptr_t{0x78}));
  EXPECT_EQ(manager.Enquire(parent, 3, false), 0);
  ASSERT_EQ(op.transcript().size(), 1u);
  EXPECT_THAT(op.transcript()[0],
              ::testing::StartsWith("msgbox\tstop\tok\tSarvento Security Manager\t"));
}

// Which option lets each category through, for every category and every option.
TEST_F(SecurityManagerTest, EveryCategoryIsGatedByItsOptionAndTheMasterSwitch) {
  struct Category {
    uint32_t code;
    const char* text;
    int32_t SecurityOptions::*gate;
  };
  const Category categories[] = {
      {1, "Logon/Logoff", &SecurityOptions::AuditLogon},
      {2, "Object Access", &SecurityOptions::AuditObject},
      {3, "Policy Change", &SecurityOptions::AuditPolicy},
      {4, "Object Viewed", &SecurityOptions::AuditObject},
      {5, "Object Modified", &SecurityOptions::AuditObject},
      {6, "n/a", &SecurityOptions::AuditOther},
      {9, "n/a", &SecurityOptions::AuditOther},
      {0xFFFFFFFFu, "n/a", &SecurityOptions::AuditOther},
  };
  int32_t SecurityOptions::*const options[] = {
      &SecurityOptions::AuditEnable, &SecurityOptions::AuditLogon, &SecurityOptions::AuditPolicy,
      &SecurityOptions::AuditObject, &SecurityOptions::AuditOther};

  SecurityManager manager;
  manager.StartUp();
  ASSERT_EQ(manager.LogInUser("administrator", "BlueHarbour"), 1);
  size_t expected_events = 0;
  for (const Category& category : categories) {
    for (auto cleared : options) {
      static_cast<SecurityOptions&>(manager) = SecurityOptions{};
      manager.*cleared = 0;
      const bool pass = cleared != &SecurityOptions::AuditEnable && cleared != category.gate;
      const std::string description = "event " + std::to_string(category.code);
      EXPECT_EQ(manager.RecordAuditEvent(category.code, description), pass ? 1 : 0)
          << category.code;
      // The host's note with a code takes the same path; its category text is not used.
      EXPECT_EQ(manager.Note(category.code, "ignored", description), 1);
      expected_events += pass ? 2 : 0;
      const std::vector<Event> log = ReadLog();
      ASSERT_EQ(log.size(), expected_events) << category.code;
      if (pass) {
        EXPECT_EQ(log.back(), (Event{category.text, "Administrator", description}));
      }
    }
  }
}

TEST_F(SecurityManagerTest, NotesWithoutACodeCarryTheHostsCategory) {
  SecurityManager manager;
  manager.StartUp();
  EXPECT_EQ(manager.Note(0, "Batch Run", "started"), 1);
  manager.AuditOther = 0;
  EXPECT_EQ(manager.Note(0, "Batch Run", "dropped"), 1);
  EXPECT_EQ(manager.RecordNote("Batch Run", "dropped"), 0);
  manager.AuditOther = 1;
  manager.AuditEnable = 0;
  EXPECT_EQ(manager.RecordNote("Batch Run", "dropped"), 0);
  manager.AuditEnable = 1;
  // A full log that must not overwrite drops the note silently.
  manager.AuditMaxEvents = 1;
  manager.AuditOverwrite = 0;
  EXPECT_EQ(manager.RecordNote("Batch Run", "full"), 0);
  EXPECT_EQ(manager.Note(0, "Batch Run", "full"), 1);
  EXPECT_THAT(ReadLog(), ElementsAre(Event{"Batch Run", "", "started"}));
}

TEST_F(SecurityManagerTest, AnUnwritableLogDropsEventsWithoutStoppingTheOperation) {
  SecurityManager manager;
  manager.StartUp();
  ASSERT_EQ(manager.LogInUser("Administrator", "BlueHarbour"), 1);
  ASSERT_EQ(manager.RecordNote("Host", "kept"), 1);
  // Every write fails, as on a full disk: the events are lost, the operations go on.
  FaultyFileSystem files;
  {
    ScopedFileSystem installed(files);
    files.Arm(FaultKind::kWrite, 1, /*stop=*/true);
    EXPECT_EQ(manager.RecordAuditEvent(2, "lost"), 0);
    EXPECT_EQ(manager.Enquire(nullptr, 1, true), 1);
    EXPECT_EQ(manager.Note(0, "x", "y"), 1);
    EXPECT_NO_THROW(manager.Logoff());
  }
  ASSERT_TRUE(files.fired());
  EXPECT_EQ(manager.current_user(), "");
  // A directory where the log must be: the log cannot even be opened; nothing is recorded.
  std::filesystem::remove(dir_.File("QUORVANE.LOG"));
  std::filesystem::create_directory(dir_.File("QUORVANE.LOG"));
  ASSERT_EQ(manager.LogInUser("Administrator", "BlueHarbour"), 1);
  EXPECT_EQ(manager.RecordAuditEvent(2, "lost"), 0);
  EXPECT_EQ(manager.Enquire(nullptr, 1, true), 1);
}

}  // namespace
}  // namespace talmor::testing
