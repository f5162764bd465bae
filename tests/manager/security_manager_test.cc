#include "manager/security_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#endif

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "manager/branding.h"
#include "manager/host_status.h"
#include "platform/profile_file.h"
#include "platform/system_log.h"
#include "qvshare.h"
#include "storage/database_files.h"
#include "support/audit_events.h"
#include "support/data_dir.h"
#include "support/faulty_file_system.h"
#include "ui/headless_backend.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;

// Dialogs that answer as the test says and count how often they were shown.
class FakeDialogs : public NoManagerDialogs {
 public:
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

std::vector<std::string> Members(const MembershipRecord& record) {
  std::vector<std::string> names;
  std::string name;
  for (int i = 0; record.GetMemberAt(i, &name); ++i) names.push_back(name);
  return names;
}

Window* Owner(uintptr_t handle) { return Window::FromHandle(reinterpret_cast<WindowHandle>(handle)); }

const std::string kRefusal =
    "You do not have the permissions required to access this feature.\\nPlease contact your "
    "Administrator for futher advice.\tok";

class SecurityManagerTest : public DataDirTest {
 protected:
  void SetUp() override { ResetBrandingForTesting(); }
  void TearDown() override {
    QVHostPresenceRelease();
    ResetBrandingForTesting();
  }
  void SetBranding(const std::string& value) {
    WriteProfileString("qvtalmor.ini", "Acquisition", "IsGCMD", value);
    ResetBrandingForTesting();
  }
  // Logs the built-in account on and publishes it, as the log-on dialog does.
  void LogOnAdministrator(SecurityManager& manager) {
    ASSERT_EQ(manager.LogInUser("Administrator", "BlueHarbour"), 1);
    PublishUserName("Administrator");
  }

  ScopedEnv ui_{"TALMOR_UI", "headless"};
};

// ---- Start-up ----

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
    crafted.AddGroup(lab);
    RightRecord tune(13);
    tune.AddMember("Lab");
    crafted.EditRight(13, tune);
    SecurityOptions options;
    options.AuditMaxEvents = 77;
    SaveSecurityDatabase(crafted, options);
  }
  SecurityManager manager;
  manager.StartUp();
  EXPECT_TRUE(manager.AuditMaxEvents == 77 && manager.UserCount() == 2);
  UserRecord admin;
  ASSERT_TRUE(manager.FindUser("administrator", &admin));
  EXPECT_EQ(std::string(admin.UserName()) + "|" + std::string(admin.FullName()) + "|" + std::string(admin.Password()),
            "Administrator|Quorvane Administrator|s3cret");  // only the password survives
  EXPECT_FALSE(admin.GetAccountDisabled() || admin.GetCannotChangePassword());
  GroupRecord admins;
  ASSERT_TRUE(manager.FindGroup("Administrators", &admins));
  EXPECT_EQ(admins.GroupName() + "|" + admins.Description(),
            "Administrators|Members can fully administer Quorvane");
  EXPECT_THAT(Members(admins), ::testing::UnorderedElementsAre("alice", "Administrator"));
  GroupRecord lab;  // keeps the old spelling, which still counts
  ASSERT_TRUE(manager.FindGroup("Lab", &lab));
  EXPECT_THAT(Members(lab), ElementsAre("ADMINistrator"));
  RightRecord tune;
  ASSERT_TRUE(manager.FindRight(13, &tune));
  EXPECT_THAT(Members(tune), ::testing::UnorderedElementsAre("Lab", "Administrators"));
  for (int right = 0; right < 26; ++right) EXPECT_TRUE(manager.UserHoldsRight("Administrator", right));
  EXPECT_FALSE(std::filesystem::exists(File("QUORVANE.LOG")));  // loading records nothing

  // Without files the same repair gives the built-in account and group alone, as the exports'
  // scenarios start.
}

TEST_F(SecurityManagerTest, StartUpClearsTheUserNameSlotOnlyWhenNoHostIsRunning) {
  PublishUserName("left by a host that has gone");
  {
    ASSERT_EQ(QVHostPresenceAcquire(), 1);  // a new host session starts with nobody logged on
    EXPECT_EQ(ReadPublishedUserName(), "");
    PublishUserName("leftover");
    SecurityManager manager;
    manager.StartUp();
    EXPECT_EQ(ReadPublishedUserName(), "leftover");
    QVHostPresenceRelease();
  }
  SecurityManager manager;
  manager.StartUp();
  EXPECT_EQ(ReadPublishedUserName(), "");
}

// ---- Branding: every place the product word shows, for each profile value ----

TEST_F(SecurityManagerTest, OnlyExactlyTrueSelectsTheAlternativeBrandingEverywhere) {
  struct Row {
    const char* value;  // null: no profile file
    const char* product;
  };
  // Profile values are read without trailing blanks.
  for (const Row row : {Row{nullptr, "Quorvane"}, Row{"true", "Quorvane"}, Row{"1", "Quorvane"},
                        Row{"YES", "Quorvane"}, Row{"TRUE ", "Sarvento"}, Row{"TRUE", "Sarvento"}}) {
    SCOPED_TRACE(row.value ? row.value : "(none)");
    if (row.value != nullptr) SetBranding(row.value);
    const std::string product = row.product;
    EXPECT_EQ(IsAlternativeBranding(), product == "Sarvento");
    EXPECT_EQ(SecurityManagerCaption(), product + " Security Manager");
    SecurityManager manager;
    manager.StartUp();
    char name[64], other[64];
    ASSERT_TRUE(manager.GetRightName(3, name, sizeof name) && manager.GetRightName(25, other, sizeof other));
    EXPECT_EQ(std::string(name) + "|" + other,
              "Customize " + product + " system globals|Modify Pellion Browser Schemes");
    HeadlessBackend backend;
    ScopedBackend scoped_backend(backend);
    ScriptOperator op;
    ScopedOperator scoped(op);
    EXPECT_EQ(manager.Enquire(Owner(0x78), 3, false), 0);
    EXPECT_THAT(op.transcript(),
                ElementsAre("msgbox\tstop\tok\t" + product + " Security Manager\t" + kRefusal));
  }
}

// ---- Log-on and log-off ----

TEST_F(SecurityManagerTest, LoginRecordsTheOutcomeUnderTheCurrentUser) {
  FakeDialogs dialogs;
  SecurityManager manager;
  manager.SetDialogs(&dialogs);
  manager.StartUp();
  manager.AddUser(UserRecord("alice", "", "", "pw"));
  dialogs.name = "ALICE";
  dialogs.password = "pw";
  EXPECT_EQ(manager.Login(Owner(0x42)), 1);
  EXPECT_EQ(dialogs.last_owner, Owner(0x42));
  EXPECT_EQ(manager.current_user() + "|" + ReadPublishedUserName(), "alice|ALICE");
  dialogs.logon_ok = false;  // cancelled while alice is logged on
  EXPECT_EQ(manager.Login(Owner(0x42)), 0);
  EXPECT_EQ(manager.current_user(), "alice");
  manager.Logoff();
  EXPECT_EQ(manager.Login(nullptr), 0);  // cancelled with nobody logged on
  manager.SecurityDisable = 1;
  PublishUserName("untouched");
  EXPECT_EQ(manager.Login(Owner(0x42)), 1);
  EXPECT_EQ(dialogs.logon_shown, 3);  // no dialog with security disabled
  EXPECT_EQ(manager.current_user() + "|" + ReadPublishedUserName(), "Administrator|untouched");
  EXPECT_THAT(AuditLines(), ElementsAre("Logon/Logoff|alice|Successful logon.",
                                        "Logon/Logoff|alice|Failed logon.",
                                        "Logon/Logoff|alice|User logged off.",
                                        "Logon/Logoff||Failed logon.",
                                        "Logon/Logoff|Administrator|Successful logon."));
}

// A logged-on user whose record was deleted gives no record, and every string is emptied.
TEST_F(SecurityManagerTest, CurrentUserRecordNeedsARecord) {
  SecurityManager manager;
  manager.StartUp();
  manager.AddUser(UserRecord("temp", "Temporary", "desc", "pw"));
  ASSERT_EQ(manager.LogInUser("TEMP", "pw"), 1);
  manager.DeleteUser("temp");
  std::string name = "x", full = "x", description = "x", password = "x";
  EXPECT_EQ(manager.GetCurrentUserRecord(name, full, description, password), 0);
  EXPECT_EQ(name + full + description + password, "");
}

// ---- Rights, the enquiry and the audit categories ----

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
  for (uint32_t other : {6u, 26u, 0xFFFFFFFFu}) EXPECT_EQ(manager.HasRight(other), 0) << other;
  // Every change of the assignments is seen at once.
  std::string seen;
  for (auto change : std::initializer_list<std::function<void()>>{
           [&] { manager.EditRight(5, RightRecord(5)); }, [&] { manager.EditRight(5, right); },
           [&] { manager.EditGroup("quant", GroupRecord("Quant", "")); },
           [&] { manager.EditGroup("quant", quant); },
           [&] { manager.LogInUser("Administrator", "BlueHarbour"); },
           [&] { manager.LogInUser("DANA", "pw"); }}) {
    change();
    seen += std::to_string(manager.HasRight(5)) + std::to_string(manager.HasRight(6));
  }
  EXPECT_EQ(seen, "001000101110");
  // Disabling the account keeps the rights of a logged-on user; deleting it takes them.
  UserRecord dana;
  ASSERT_TRUE(manager.FindUser("dana", &dana));
  dana.SetAccountDisabled(1);
  manager.EditUser("dana", dana);
  EXPECT_EQ(manager.HasRight(5), 1);
  manager.DeleteUser("Dana");
  EXPECT_EQ(manager.HasRight(5), 0);
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
  EXPECT_THAT(AuditLines(), ElementsAre("Batch Run||started"));
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
  }
  ASSERT_TRUE(files.fired());
}


#ifndef _WIN32  // the system log's receiver is a local socket on Linux only
// A datagram socket standing for the system log's receiver.
class SystemLogListener {
 public:
  explicit SystemLogListener(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  ~SystemLogListener() { close(fd_); }
  // The messages received so far.
  std::vector<std::string> Take() {
    std::vector<std::string> messages;
    char buffer[70000];
    for (ssize_t n; (n = recv(fd_, buffer, sizeof buffer, 0)) >= 0;) messages.emplace_back(buffer, n);
    return messages;
  }

 private:
  int fd_ = -1;
};

// "<PRI>|source|user|description|message" of an RFC 5424 message, the values unescaped.
std::string Summary(const std::string& message) {
  std::map<std::string, std::string> params;
  size_t at = message.find("[audit@32473");
  if (at == std::string::npos || message.find(" talmor32 ") == std::string::npos) return message;
  at += 12;
  while (message[at] == ' ') {
    const size_t equals = message.find("=\"", at);
    std::string name = message.substr(at + 1, equals - at - 1), value;
    for (at = equals + 2; message[at] != '"'; ++at) value += message[at] == '\\' ? message[++at] : message[at];
    params[name] = value;
    ++at;
  }
  return message.substr(0, message.find('>') + 1) + "|" + params["source"] + "|" + params["user"] +
         "|" + params["description"] + "|" + message.substr(at + 2);
}

TEST_F(SecurityManagerTest, EventsGoToTheSystemLogWhenForwardedAndLossesAlways) {
  SystemLogListener listener(File("syslog"));
  WriteProfileString("qvtalmor.ini", "AuditLog", "Socket", File("syslog"));
  WriteProfileString("qvtalmor.ini", "AuditLog", "Forward", "SysLog");
  {
    SecurityManager manager;
    manager.StartUp();
    LogOnAdministrator(manager);
    ASSERT_EQ(manager.RecordNote("Run \"7\"", "a]b\\c, \x80\xE9\r\nend"), 1);
    manager.AuditOther = 0;  // not recorded by choice: nothing to report
    manager.RecordNote("Run", "gated");
    EXPECT_EQ(Summary(listener.Take().at(0)),
                "<85>|Run \"7\"|Administrator|a]b\\c, \u20AC\u00E9\r\nend|Run \"7\": a]b\\c, "
                "\u20AC\u00E9\r\nend");
    EXPECT_TRUE(listener.Take().empty());
  }
  DeleteProfileKey("qvtalmor.ini", "AuditLog", "Forward");
  SecurityManager manager;
  manager.StartUp();
  ASSERT_EQ(manager.RecordNote("Host", "kept"), 1);
  manager.AuditMaxEvents = 1;
  manager.AuditOverwrite = 0;
  EXPECT_EQ(manager.RecordNote("Host", "full"), 0);
  FaultyFileSystem files;
  {
    ScopedFileSystem installed(files);
    files.Arm(FaultKind::kWrite, 1, /*stop=*/true);
    manager.AuditOverwrite = 1;
    EXPECT_EQ(manager.RecordNote("Host", "lost"), 0);
  }
  std::vector<std::string> got;
  for (const std::string& message : listener.Take()) got.push_back(Summary(message));
  EXPECT_THAT(got, ElementsAre("<84>|Host||full|Audit event not recorded (the audit log "
                               "is full): Host: full",
                               "<84>|Host||lost|Audit event not recorded (the audit log "
                               "could not be written): Host: lost"));
}

#endif

TEST(SystemLogFormat, JournalFieldsKeepLineEndsByLength) {
  SystemLogEvent event;
  event.description = "two\nlines";
  event.message = "m";
  const std::string fields = FormatJournalFields(event);
  EXPECT_NE(fields.find("SYSLOG_IDENTIFIER=talmor32\n"), std::string::npos);
  const char by_length[] = "\nTALMOR_DESCRIPTION\n\x09\0\0\0\0\0\0\0two\nlines\n";
  EXPECT_NE(fields.find(std::string(by_length, sizeof by_length - 1)), std::string::npos);
  EXPECT_EQ(Windows1252ToUtf8("\x81\x9F\xFF"), "\xC2\x81\xC5\xB8\xC3\xBF");
}

}  // namespace
}  // namespace talmor::testing
