// Log-on against a real directory server (support/slapd.h): who gets in, with which rights, and
// what a refusal says.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "directory/directory.h"
#include "manager/security_manager.h"
#include "platform/profile_file.h"
#include "storage/database_files.h"
#include "support/audit_events.h"
#include "support/data_dir.h"
#ifndef _WIN32
#include "support/slapd.h"
#endif

namespace talmor::testing {
namespace {

#ifndef _WIN32  // slapd runs on the POSIX build only
// The local rights of the mapped groups; a right no mapped group holds.
const std::map<std::string, int> kGroupRight = {{"Chemists", 3}, {"Analysts", 7}, {"Visitors", 9}};
constexpr int kUnmappedRight = 12;

class DirectoryLogOn : public DataDirTest {
 protected:
  static void SetUpTestSuite() {
    if (Slapd::Installed()) server_ = new Slapd;
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!Slapd::Installed()) GTEST_SKIP() << "slapd is not installed (Debian package slapd)";
    ASSERT_TRUE(server_->ready()) << "slapd did not start";
    // Each row starts from no settings and an empty audit trail.
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      if (entry.is_regular_file()) std::filesystem::remove(entry.path());
    }
    // A local account "erin" beside the directory's, and the local groups the mappings name.
    SecurityDatabase db;
    db.AddUser(UserRecord("erin", "", "", "localpw"));
    for (const auto& [group, right] : kGroupRight) {
      db.AddGroup(GroupRecord(group, ""));
      RightRecord record(right);
      record.AddMember(group);
      db.EditRight(right, record);
    }
    SecurityOptions options;
    options.AuditEnable = options.AuditOther = 1;
    SaveSecurityDatabase(db, options);
    server_->Configure(File("reader.secret"));
  }
  std::unique_ptr<SecurityManager> StartManager() {
    auto manager = std::make_unique<SecurityManager>();
    manager->StartUp();
    return manager;
  }
  static std::set<int> Rights(SecurityManager& manager) {
    std::set<int> held;
    for (int right : {3, 7, 9, kUnmappedRight}) {
      if (manager.HasRight(right)) held.insert(right);
    }
    return held;
  }
  static int DirectoryEvents() {
    int count = 0;
    for (const AuditEvent& e : AuditEvents()) count += e.source == "Directory";
    return count;
  }

  static Slapd* server_;
};
Slapd* DirectoryLogOn::server_ = nullptr;

struct Row {
  const char* name;
  const char* password;
  std::map<std::string, std::string> settings;  // changes to the Directory section
  DirectoryStatus outcome;
  std::set<int> rights;
};

TEST_F(DirectoryLogOn, LogsOnWithTheMappedGroupsOrRefusesWithTheReason) {
  using S = DirectoryStatus;
  const Row rows[] = {
      {"ann", "annpw", {}, S::kOk, {3, 7}},  // memberOf on the entry and uniqueMember on a group
      {"ANN", "annpw", {}, S::kOk, {3, 7}},
      {"bob", "bobpw", {}, S::kOk, {9}},  // member on a group
      {"ann", "bobpw", {}, S::kInvalidCredentials, {}},
      {"ann", "", {}, S::kInvalidCredentials, {}},
      {"carl", "carlpw", {}, S::kInvalidCredentials, {}},  // in no mapped group
      {"nobody", "annpw", {}, S::kInvalidCredentials, {}},
      // Filter syntax in the name is a value, never a filter: none of these picks ann.
      {"*)(uid=*", "annpw", {}, S::kInvalidCredentials, {}},
      {"ann)(uid=*", "annpw", {}, S::kInvalidCredentials, {}},
      {"an*", "annpw", {}, S::kInvalidCredentials, {}},
      {"erin", "erinpw", {}, S::kInvalidCredentials, {}},  // a local account stays local
      {"ann", "annpw", {{"Url", "ldap"}, {"StartTLS", "1"}}, S::kOk, {3, 7}},
      {"ann", "annpw", {{"Url", "ldap"}}, S::kInsecure, {}},
      {"ann", "annpw", {{"Url", "ldap"}, {"AllowInsecure", "1"}}, S::kOk, {3, 7}},
      {"ann", "annpw", {{"CACertificate", ""}}, S::kUnreachable, {}},  // not trusted by the system
      {"ann", "annpw", {{"chmod", "0640"}}, S::kError, {}},
      {"ann", "annpw", {{"UserFilter", "(cn=%s)"}, {"Group.3", "x"}}, S::kOk, {3, 7}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + "/" + row.password + " " + std::to_string(row.settings.size()));
    SetUp();
    for (const auto& [key, value] : row.settings) {
      if (key == "chmod") {
        ::chmod(File("reader.secret").c_str(), 0640);
      } else {
        WriteProfileString("qvtalmor.ini", "Directory", key, value == "ldap" ? server_->LdapUrl() : value);
      }
    }
    auto manager = StartManager();
    ASSERT_EQ(manager->LogInUser(row.name, row.password), row.outcome == S::kOk ? 1 : 0);
    EXPECT_EQ(manager->logon_refusal(), DirectoryRefusalText(row.outcome));
    EXPECT_EQ(manager->current_user(), row.outcome == S::kOk ? row.name : "");
    EXPECT_EQ(Rights(*manager), row.rights);
    // Only the insecure connection that was allowed, and an outage, leave a warning.
    EXPECT_EQ(DirectoryEvents(), row.settings.count("AllowInsecure") + (row.outcome == S::kUnreachable));
    // Nothing about directory users reaches the record files.
    manager->Save();
    SecurityDatabase after;
    SecurityOptions options;
    LoadSecurityDatabase(after, options);
    EXPECT_EQ(after.UserCount(), 2);
  }
  // The local account logs on as before.
  auto manager = StartManager();
  EXPECT_EQ(manager->LogInUser("erin", "localpw"), 1);
}

TEST_F(DirectoryLogOn, AStoppedServerRefusesWithTheMessageAndOneWarningPerOutage) {
  auto manager = StartManager();
  ASSERT_EQ(manager->LogInUser("ann", "annpw"), 1);
  manager->Logoff();
  EXPECT_EQ(Rights(*manager), std::set<int>{});
  server_->Stop();
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(manager->LogInUser("ann", "annpw"), 0);
    EXPECT_EQ(manager->logon_refusal(), DirectoryRefusalText(DirectoryStatus::kUnreachable));
  }
  EXPECT_EQ(DirectoryEvents(), 1);
  // The built-in account is local: a site can still log on.
  EXPECT_EQ(manager->LogInUser("Administrator", "BlueHarbour"), 1);
  EXPECT_EQ(manager->logon_refusal(), "");
  delete server_;
  server_ = new Slapd;  // for the tests after this one
}

#endif

TEST(DirectoryFilter, EscapesEverySpecialByteAndOnlyThose) {
  EXPECT_EQ(FillFilter("(&(uid=%s)(x=%s))", std::string("a\\b*c(d)e\0f", 11) + "%s"),
            "(&(uid=a\\5cb\\2ac\\28d\\29e\\00f%s)(x=a\\5cb\\2ac\\28d\\29e\\00f%s))");
  EXPECT_EQ(NormalizeDn(" CN=Lab Staff , OU = Groups,DC=x "), "cn=lab staff,ou=groups,dc=x");
  EXPECT_EQ(StatusFromDiagnostic("80090308: LdapErr: DSID-0C09042A, data 775, v3839"),
            DirectoryStatus::kLocked);
}

}  // namespace
}  // namespace talmor::testing
