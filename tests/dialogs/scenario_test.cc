// The administration dialogs driven by the scenario files in scenarios/, each file run once per
// backend. A file is a list of lines, one keyword each ('#' starts a comment line):
//   given user NAME|FULL|DESCRIPTION|PASSWORD[|cannot-change|disabled]   stored before the calls
//   given group NAME|DESCRIPTION|MEMBER,...      given grant RIGHT|GROUP,...
//   given option NAME VALUE                      given logon [NAME PASSWORD]   given branding
//   call ENTRY NAME|- RESULT    an administration command ("-": without a name) and its answer
//   do LINE                     the operator's next action for the last call
//   see LINE                    the last call's transcript, line by line ("\t" for a tab)
//   then user|group|grant ...   the record afterwards, as given; "then no user|group NAME"
//   then option NAME VALUE      then event TEXT (the audit log holds it) / then events N
//   given session REMEMBERED|PUBLISHED      then session CURRENT|REMEMBERED|PUBLISHED (log-on)
//   given unwritable-profile
//   given protection KEY VALUE (in [AccountProtection])
//   given saved (the database written, as another process would find it)
//   given later MINUTES (the wall clock moves on)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "audit/audit_log_file.h"
#include "dialogs/logon_dialog.h"
#include "dialogs/standard_manager_dialogs.h"
#include "dialogs/user_properties_dialog.h"
#include "manager/branding.h"
#include "manager/host_status.h"
#include "manager/security_manager.h"
#include "manager/standard_audit_dialogs.h"
#include "platform/local_time.h"
#include "platform/profile_file.h"
#include "resources/resource_ids.h"
#include "support/temp_dir.h"
#include "support/ui_backends.h"

namespace talmor::testing {
namespace {

namespace fs = std::filesystem;

std::chrono::minutes g_later{0};
TimePoint Later() { return std::chrono::system_clock::now() + g_later; }

// A manager started on an empty data directory (the built-in account and group only), with the
// real dialogs installed, run once per backend (UiBackendRows).
class DialogScenario : public UiBackendTest {
 protected:
  void SetUp() override {
    UiBackendTest::SetUp();
    if (IsSkipped()) return;
    ResetBrandingForTesting();
    manager_ = std::make_unique<SecurityManager>();
    manager_->SetDialogs(&dialogs_);
    manager_->SetAuditDialogs(&audit_dialogs_);
    manager_->StartUp();
  }
  void TearDown() override {
    SetClock(nullptr), g_later = {};
    manager_.reset();
    ResetBrandingForTesting();
  }

  void LogOnAsAdministrator() { ASSERT_EQ(manager_->LogInUser("Administrator", "BlueHarbour"), 1); }
  SecurityManager& manager() { return *manager_; }

  // "source: description" of every audit event, oldest first.
  static std::vector<std::string> AuditEvents() {
    AuditLogFile log;
    std::vector<std::string> events;
    for (uint32_t i = 0; i < log.EventCount(); ++i) {
      std::string date, time, source, user, description;
      EXPECT_TRUE(log.ReadEvent(i, date, time, source, user, description));
      events.push_back(source + ": " + description);
    }
    return events;
  }

  TempDir dir_;
  ScopedEnv windir_{"QUORVANE_WINDIR", dir_.path()};
  ScopedEnv share_{"QVSHARE_DIR", dir_.File("share")};
  ScopedEnv ui_{"TALMOR_UI", Backend()};
  StandardManagerDialogs dialogs_;
  StandardAuditDialogs audit_dialogs_;
  std::unique_ptr<SecurityManager> manager_;
};


std::vector<std::string> Split(const std::string& text, char by) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, by);) parts.push_back(part);
  if (!text.empty() && text.back() == by) parts.emplace_back();
  return parts;
}

std::string Members(const MembershipRecord& record) {
  std::string names, name;
  for (int i = 0; record.GetMemberAt(i, &name); ++i) names += (i ? "," : "") + name;
  return names;
}

using Option = std::int32_t SecurityManager::*;
#define OPTION(name) {#name, &SecurityManager::name}
const std::map<std::string, Option> kOptions{
    OPTION(BlankPasswordOK), OPTION(PasswordMinChars), OPTION(SecurityDisable),
    OPTION(IndividualINI),   OPTION(AuditEnable),      OPTION(AuditLogon),
    OPTION(AuditPolicy),     OPTION(AuditObject),      OPTION(AuditOther),
    OPTION(AuditMaxEvents),  OPTION(AuditOverwrite)};
#undef OPTION

class ScenarioFileTest : public DialogScenario {
 protected:
  // A record as the file writes it: user NAME|FULL|DESC|PASSWORD[|flags], group NAME|DESC|MEMBERS,
  // grant RIGHT|GROUPS.
  std::string Stored(const std::string& kind, const std::string& key) {
    if (kind == "session") {
      return manager().current_user() + "|" +
             GetProfileString("qvtalmor.ini", "Login", "UserName", "", 80) + "|" +
             ReadPublishedUserName();
    }
    if (kind == "user") {
      UserRecord u;
      if (!manager().FindUser(key, &u)) return "no user";
      return std::string(u.UserName()) + "|" + std::string(u.FullName()) + "|" + std::string(u.Description()) + "|" + std::string(u.Password()) +
             (u.GetCannotChangePassword() ? "|cannot-change" : "") +
             (u.GetAccountDisabled() ? "|disabled" : "");
    }
    if (kind == "group") {
      GroupRecord g;
      if (!manager().FindGroup(key, &g)) return "no group";
      return g.GroupName() + "|" + g.Description() + "|" + Members(g);
    }
    RightRecord r;
    return manager().FindRight(std::stoi(key), &r) ? key + "|" + Members(r) : "no grant";
  }
  void Given(const std::string& kind, const std::string& rest) {
    std::vector<std::string> f = Split(rest, '|');
    if (kind == "user") {
      UserRecord u(f.at(0), f.at(1), f.at(2), f.at(3));
      for (size_t i = 4; i < f.size(); ++i) {
        if (f[i] == "cannot-change") u.SetCannotChangePassword(1);
        if (f[i] == "disabled") u.SetAccountDisabled(1);
      }
      ASSERT_TRUE(manager().AddUser(u) || manager().EditUser(f[0], u)) << rest;
    } else if (kind == "group") {
      GroupRecord g(f.at(0), f.at(1));
      for (const std::string& m : Split(f.at(2), ',')) g.AddMember(m);
      ASSERT_TRUE(manager().AddGroup(g) || manager().EditGroup(f[0], g)) << rest;
    } else if (kind == "grant") {
      RightRecord r(std::stoi(f.at(0)));
      for (const std::string& m : Split(f.at(1), ',')) r.AddMember(m);
      ASSERT_TRUE(manager().EditRight(r.GetRight(), r)) << rest;
    } else if (kind == "option") {
      std::vector<std::string> nv = Split(rest, ' ');
      manager().*kOptions.at(nv.at(0)) = std::stoi(nv.at(1));
    } else if (kind == "logon") {
      std::vector<std::string> np = Split(rest, ' ');
      ASSERT_EQ(np.size() == 2 ? manager().LogInUser(np[0], np[1])
                               : manager().LogInUser("Administrator", "BlueHarbour"),
                1);
    } else if (kind == "session") {  // remembered|published: the profile's name, the host slot's
      WriteProfileString("qvtalmor.ini", "Login", "UserName", f.at(0));
      PublishUserName(f.at(1));
    } else if (kind == "unwritable-profile") {  // a directory where the profile file should be
      std::filesystem::create_directory(dir_.File("qvtalmor.ini"));
    } else if (kind == "protection") {
      WriteProfileString("qvtalmor.ini", "AccountProtection", Split(rest, ' ').at(0), Split(rest, ' ').at(1));
    } else if (kind == "later") {
      g_later += std::chrono::minutes(std::stoi(rest)), SetClock(&Later);
    } else if (kind == "saved") {
      manager().Save();
    } else if (kind == "branding") {
      WriteProfileString("qvtalmor.ini", "Acquisition", "IsGCMD", "TRUE");
      ResetBrandingForTesting();
    } else {
      FAIL() << "unknown: given " << kind;
    }
  }
  int Call(const std::string& entry, const std::string& name) {
    const std::optional<std::string_view> n =
        name == "-" ? std::nullopt : std::optional<std::string_view>(name);
    const std::map<std::string, std::function<int()>> entries{
        {"edit-user", [&] { return manager().AdminEditUser(nullptr, n); }},
        {"edit-group", [&] { return manager().AdminEditGroup(nullptr, n); }},
        {"copy-user", [&] { return manager().AdminCopyUser(nullptr, n); }},
        {"copy-group", [&] { return manager().AdminCopyGroup(nullptr, n); }},
        {"delete-user", [&] { return manager().AdminDeleteUser(nullptr, n); }},
        {"delete-group", [&] { return manager().AdminDeleteGroup(nullptr, n); }},
        {"account-policy", [&] { return manager().AdminAccountPolicy(nullptr); }},
        {"rights-policy", [&] { return manager().AdminRightsPolicy(nullptr); }},
        {"audit-policy", [&] { return manager().AdminAuditPolicy(nullptr); }},
        {"login", [&] { return manager().Login(nullptr); }}};
    return entries.at(entry)();
  }
};

// One call: its command, the operator's lines and the transcript expected.
struct CallLines {
  std::string entry, name;
  int result = 0;
  std::string script;
  std::vector<std::string> see;
};

TEST_P(ScenarioFileTest, RunsAsWritten) {
  const std::string file = GetParam().substr(GetParam().find(':') + 1);
  std::ifstream in(fs::path(__FILE__).parent_path() / "scenarios" / (file + ".txt"));
  ASSERT_TRUE(in) << file;
  std::optional<CallLines> call;
  auto finish = [&] {
    if (!call) return;
    int result = -1;
    RunResult run = Run(Script(call->script), [&] { result = Call(call->entry, call->name); });
    EXPECT_EQ(result, call->result) << call->entry << " " << call->name;
    EXPECT_EQ(run.transcript, call->see) << call->entry << " " << call->name;
    EXPECT_EQ(run.steps_left, 0u) << call->entry << " " << call->name;
    call.reset();
  };
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    SCOPED_TRACE(file + ".txt:" + std::to_string(number));
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    const size_t gap = rest.find(' ');
    const std::string kind = rest.substr(0, gap);
    const std::string tail = gap == std::string::npos ? "" : rest.substr(gap + 1);
    if (key == "do") {
      ASSERT_TRUE(call) << "do before call";
      call->script += rest + "\n";
    } else if (key == "see") {
      ASSERT_TRUE(call) << "see before call";
      std::string expected;
      for (size_t i = 0; i < rest.size(); ++i) {
        if (rest.compare(i, 2, "\\t") == 0) expected += '\t', ++i;
        else expected += rest[i];
      }
      call->see.push_back(expected);
    } else {
      finish();
      if (key == "given") {
        Given(kind, tail);
      } else if (key == "call") {
        std::vector<std::string> f = Split(tail, ' ');
        call = CallLines{kind, f.at(0), std::stoi(f.at(1)), {}, {}};
      } else if (key == "then" && kind == "no") {
        EXPECT_EQ(Stored(Split(tail, ' ').at(0), Split(tail, ' ').at(1)),
                  "no " + Split(tail, ' ').at(0));
      } else if (key == "then" && kind == "option") {
        std::vector<std::string> nv = Split(tail, ' ');
        EXPECT_EQ(manager().*kOptions.at(nv.at(0)), std::stoi(nv.at(1))) << nv[0];
      } else if (key == "then" && kind == "event") {
        const std::vector<std::string> events = AuditEvents();
        EXPECT_NE(std::find(events.begin(), events.end(), tail), events.end()) << tail;
      } else if (key == "then" && kind == "events") {
        EXPECT_EQ(AuditEvents().size(), std::stoul(tail));
      } else if (key == "then") {
        EXPECT_EQ(Stored(kind, kind == "session" ? "" : Split(tail, '|').at(0)), tail);
      } else {
        FAIL() << "unknown line: " << line;
      }
    }
  }
  finish();
}

// "BACKEND:FILE" for every file of scenarios/ and every backend.
std::vector<std::string> Rows() {
  std::vector<std::string> rows;
  for (const char* backend : {"headless", "qt"})
    for (const auto& entry : fs::directory_iterator(fs::path(__FILE__).parent_path() / "scenarios"))
      rows.push_back(std::string(backend) + ":" + entry.path().stem().string());
  std::sort(rows.begin(), rows.end());
  return rows;
}
INSTANTIATE_TEST_SUITE_P(Files, ScenarioFileTest, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

// What the files cannot say: where the focus goes, listing by position.
class AdministrationTest : public DialogScenario {};

TEST_P(AdministrationTest, ARefusedMinimumTakesTheFocusAndListingPastTheEndAnswersEmpty) {
  LogOnAsAdministrator();
  manager().PasswordMinChars = 0;
  int focus = 0;
  Run(Steps({Script("dialog 135\nclick 1"), Steps(Probe([&](Dialog& d) { focus = d.GetFocusId(); })),
             Script("escape")}),
      [&] { manager().AdminAccountPolicy(nullptr); });
  EXPECT_EQ(focus, account_policy_ids::kMinChars);
  Run(Steps({Script("dialog 131\ntype 1001 9\nenter"),
             Steps(Probe([&](Dialog& d) { focus = d.GetFocusId(); })), Script("escape")}),
      [&] { manager().AdminAuditPolicy(nullptr); });
  EXPECT_EQ(focus, audit_policy_ids::kMaxEntries);
  manager().AddGroup(GroupRecord("Chemists", "wet"));
  std::string name = "x", full_name = "x", description = "x";
  EXPECT_EQ(manager().GetUserStrings(0, name, full_name, description), 1);
  EXPECT_EQ(manager().GetUserStrings(1, name, full_name, description), 0);
  EXPECT_EQ(name + full_name + description, "");
  EXPECT_EQ(manager().GetGroupStrings(0, name, description), 1);
  EXPECT_EQ(name + description, "Chemistswet");
  EXPECT_EQ(manager().GetGroupStrings(2, name, description), 0);
  EXPECT_EQ(name + description, "");
}
TEST_P(AdministrationTest, TheFocusStartsOnThePasswordOnlyWhenANameIsRemembered) {
  int focus = 0;
  Run(Steps({Script("dialog 130"), Steps(Probe([&](Dialog& d) { focus = d.GetFocusId(); }))}),
      [&] { EXPECT_EQ(manager().Login(nullptr), 0); });
  EXPECT_EQ(focus, logon_ids::kUserName);

  WriteProfileString("qvtalmor.ini", "Login", "UserName", "administrator");
  std::string shown_name;
  bool topmost = false;
  RunResult run = Run(Steps({Script("dialog 130"), Steps(Probe([&](Dialog& d) {
                               focus = d.GetFocusId();
                               topmost = d.IsTopmost();
                               shown_name = d.Item(logon_ids::kUserName)->GetWindowText();
                             })),
                             Script("type 1001 BlueHarbour\nenter")}),
                      [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_EQ(focus, logon_ids::kPassword);
  EXPECT_TRUE(topmost);
  EXPECT_EQ(shown_name, "administrator");
  EXPECT_THAT(run.transcript, ::testing::ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t1"));
  EXPECT_EQ(manager().current_user(), "Administrator");
  EXPECT_EQ(ReadPublishedUserName(), "administrator");
}

INSTANTIATE_TEST_SUITE_P(Backends, AdministrationTest, UiBackendRows(), UiBackendName);

}  // namespace
}  // namespace talmor::testing
