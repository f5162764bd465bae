// Log-on against a real directory server (support/slapd.h): who gets in, with which rights, and
// what a refusal says.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "directory/directory.h"
#include "manager/security_manager.h"
#include "support/audit_events.h"
#include "support/data_dir.h"
#ifndef _WIN32  // slapd runs on the POSIX build only
#include "support/slapd.h"
#endif

namespace talmor::testing {
namespace {
#ifndef _WIN32

class DirectoryLogOn : public DataDirTest {
 protected:
  static void SetUpTestSuite() { server_ = Slapd::Installed() ? new Slapd : nullptr; }
  static void TearDownTestSuite() { delete server_; }
  // From an empty data directory: the lab's database, the directory settings, no events.
  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "slapd is not installed (Debian package slapd)";
    ASSERT_TRUE(server_->ready()) << "slapd did not start";
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      if (entry.is_regular_file()) std::filesystem::remove(entry.path());
    }
    SaveLabDatabase();
    server_->Configure(File("reader.secret"));
  }
  static std::unique_ptr<SecurityManager> StartManager() {
    auto manager = std::make_unique<SecurityManager>();
    manager->StartUp();
    return manager;
  }
  static int Rights(SecurityManager& m) {
    return HeldRights([&](int r) { return m.HasRight(r); });
  }
  static inline Slapd* server_ = nullptr;
};

constexpr int kAnnsRights = 1 << 3 | 1 << 7;

TEST_F(DirectoryLogOn, LogsOnWithTheMappedGroupsOrRefusesWithTheReason) {
  using S = DirectoryStatus;
  struct Row {
    const char *name, *password;
    std::map<std::string, std::string> settings;
    S outcome;
    int rights;
  };
  const Row rows[] = {
      {"ann", "annpw", {}, S::kOk, kAnnsRights},  // memberOf on the entry, uniqueMember on a group
      {"bob", "bobpw", {}, S::kOk, 1 << 9},       // member on a group
      {"ann", "bobpw", {}, S::kInvalidCredentials, 0},
      {"ann", "", {}, S::kInvalidCredentials, 0},
      {"carl", "carlpw", {}, S::kInvalidCredentials, 0},  // in no mapped group
      // Filter syntax in the name is a value, never a filter: none of these picks ann.
      {"*)(uid=*", "annpw", {}, S::kInvalidCredentials, 0},
      {"ann)(uid=*", "annpw", {}, S::kInvalidCredentials, 0},
      {"an*", "annpw", {}, S::kInvalidCredentials, 0},
      {"erin", "erinpw", {}, S::kInvalidCredentials, 0},  // a local account stays local
      {"ann", "annpw", {{"Url", "ldap"}, {"StartTLS", "1"}}, S::kOk, kAnnsRights},
      {"ann", "annpw", {{"Url", "ldap"}}, S::kInsecure, 0},
      {"ann", "annpw", {{"Url", "ldap"}, {"AllowInsecure", "1"}}, S::kOk, kAnnsRights},
      {"ann", "annpw", {{"CACertificate", ""}}, S::kUnreachable, 0},  // not trusted by the system
      {"ann",
       "annpw",
       {{"Url", "silent"}},
       S::kUnreachable,
       0},  // never answers: returns all the same
      {"ann", "annpw", {{"chmod", ""}}, S::kError, 0},
  };
  std::string user;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + "/" + row.password + " " +
                 (row.settings.empty() ? "" : row.settings.begin()->first));
    SetUp();
    for (const auto& [key, value] : row.settings) {
      if (key == "chmod") ::chmod(File("reader.secret").c_str(), 0640);
      if (key != "chmod")
        WriteProfileString("qvtalmor.ini", "Directory", key,
                           value == "ldap"     ? server_->LdapUrl()
                           : value == "silent" ? server_->SilentUrl()
                                               : value);
    }
    auto manager = StartManager();
    ASSERT_EQ(manager->LogInUser(row.name, row.password), row.outcome == S::kOk ? 1 : 0);
    EXPECT_EQ(manager->logon_refusal(), DirectoryRefusalText(row.outcome));
    EXPECT_EQ(manager->current_user(), row.outcome == S::kOk ? row.name : "");
    EXPECT_EQ(Rights(*manager), row.rights);
    // Only the insecure connection that was allowed, and an outage, leave a warning (category
    // "Directory"); a log-on itself records nothing here.
    EXPECT_EQ(AuditEvents().size(),
              row.settings.count("AllowInsecure") + (row.outcome == S::kUnreachable));
    manager->Save();  // nothing about directory users reaches the record files
    EXPECT_EQ(manager->GetUserStrings(2, user, user, user), 0);
  }
}

TEST_F(DirectoryLogOn, AStoppedServerRefusesWithTheMessageAndOneWarningPerOutage) {
  auto manager = StartManager();
  ASSERT_EQ(manager->LogInUser("ann", "annpw"), 1);
  manager->Logoff();
  EXPECT_EQ(Rights(*manager), 0);
  server_->Stop();
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(manager->LogInUser("ann", "annpw"), 0);
    EXPECT_EQ(manager->logon_refusal(), DirectoryRefusalText(DirectoryStatus::kUnreachable));
  }
  EXPECT_EQ(AuditLines(),
            (std::vector<std::string>{
                "Logon/Logoff|ann|User logged off.",
                "Directory||The directory server " + server_->LdapsUrl() + " cannot be reached."}));
  EXPECT_EQ(manager->LogInUser("Administrator", "BlueHarbour"), 1);  // local: still possible
  delete server_;
  server_ = new Slapd;  // for the tests after this one
}

#endif

TEST(DirectoryFilter, EscapesBackslashAndNulAndReadsRefusalReasons) {
  EXPECT_EQ(FillFilter("(uid=%s)", std::string("a\\\0*", 4)), "(uid=a\\5c\\00\\2a)");
  EXPECT_EQ(StatusFromDiagnostic("80090308: LdapErr: DSID-0C09042A, data 775, v3839"),
            DirectoryStatus::kLocked);
}

}  // namespace
}  // namespace talmor::testing
