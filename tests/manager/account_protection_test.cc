// Account protection on one manager with a test clock (lockout is in the dialog scenarios and
// the export tests): aging from the first sight, the history checked against the cryptographic
// library's own PBKDF2, nothing touched when nothing is configured, idle log-off through the
// module's idle work, and the state file read back from damaged and random text.
#include "manager/account_protection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <filesystem>
#include <random>

#include "manager/security_app.h"
#include "manager/security_manager.h"
#include "platform/coarse_clock.h"
#include "platform/local_time.h"
#include "platform/profile_file.h"
#include "storage/database_files.h"
#include "support/audit_events.h"
#include "support/data_dir.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;

std::int64_t g_now = 1'800'000'000;
TimePoint TestNow() { return TimePoint(std::chrono::seconds(g_now)); }
constexpr std::int64_t kMinute = 60, kDay = 24 * 60 * kMinute;

// The built-in account and bob ("bobpw"), saved; the profile as each test sets it.
class AccountProtectionTest : public DataDirTest {
 protected:
  void SetUp() override {
    previous_ = SetClock(&TestNow);
    SecurityDatabase db;
    db.AddUser(UserRecord("bob", "", "", "bobpw"));
    SaveSecurityDatabase(db, SecurityOptions{});
    manager_.StartUp();
  }
  void TearDown() override {
    SetClock(previous_);
    coarse_clock_shift_ms = 0;
  }
  static void Set(const char* key, const std::string& value) {
    WriteProfileString("qvtalmor.ini", "AccountProtection", key, value);
  }
  int LogIn(const char* name, const char* password) { return manager_.LogInUser(name, password); }
  void SetPassword(const char* password) {
    UserRecord bob;
    ASSERT_TRUE(manager_.FindUser("bob", &bob));
    bob.SetStrings(std::nullopt, std::nullopt, std::nullopt, password);
    manager_.EditUser("bob", bob);
    manager_.Save();
  }
  bool StateFileExists() const { return std::filesystem::exists(File("ACCOUNTS.REC")); }

  ClockFunction previous_ = nullptr;
  SecurityManager manager_;
};

// PBKDF2-HMAC-SHA-256 computed by the library's own key derivation interface, not ours.
std::string LibraryPbkdf2(const std::string& password, const PasswordHash& h) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "PBKDF2", nullptr);
  EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
  unsigned iterations = h.iterations;
  char digest[] = "SHA256";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD, const_cast<char*>(password.data()), password.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<char*>(h.salt.data()), h.salt.size()),
      OSSL_PARAM_construct_uint(OSSL_KDF_PARAM_ITER, &iterations),
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0), OSSL_PARAM_construct_end()};
  std::string out(32, '\0');
  EXPECT_EQ(EVP_KDF_derive(ctx, reinterpret_cast<unsigned char*>(out.data()), out.size(), params), 1);
  EVP_KDF_CTX_free(ctx);
  EVP_KDF_free(kdf);
  return out;
}

TEST_F(AccountProtectionTest, PasswordsAgeFromTheirFirstSightAndTheHistoryKeepsTheNewest) {
  Set("PasswordMaxAgeDays", "30");
  Set("PasswordHistory", "2");
  g_now += 1000 * kDay;  // long after any change the files could tell of
  EXPECT_EQ(LogIn("bob", "bobpw"), 1);
  g_now += 30 * kDay - 1;
  EXPECT_EQ(LogIn("bob", "bobpw"), 1);
  g_now += 1;
  EXPECT_EQ(LogIn("bob", "bobpw"), 0);
  EXPECT_TRUE(manager_.protection().password_expired());
  EXPECT_EQ(manager_.logon_refusal(), kExpiredRefusal);
  for (const char* password : {"second", "third", "fourth"}) SetPassword(password);
  EXPECT_EQ(LogIn("bob", "fourth"), 1);  // dated by the save
  for (const char* old : {"bobpw", "second", "third", "fourth"}) {
    const bool kept = old[0] == 's' || old[0] == 't';  // the two newest previous ones
    EXPECT_EQ(manager_.protection().IsInHistory("BOB", old), kept) << old;
  }
  const AccountState bob = ReadAccountStates().at("bob");
  ASSERT_EQ(bob.history.size(), 2u);
  EXPECT_EQ(bob.history[0].iterations, kPasswordHashIterations);
  EXPECT_EQ(bob.history[0].salt.size(), kPasswordSaltSize);
  EXPECT_NE(bob.history[0].salt, bob.history[1].salt);
  EXPECT_EQ(bob.history[0].hash, LibraryPbkdf2("third", bob.history[0]));
  EXPECT_EQ(bob.history[1].hash, LibraryPbkdf2("second", bob.history[1]));
  // The RFC 7914 vector: "passwd", "salt", one round.
  EXPECT_EQ(View(Pbkdf2Sha256("passwd", "salt", 1)).substr(0, 4), "\x55\xac\x04\x6e");
}

TEST_F(AccountProtectionTest, NothingConfiguredTouchesNoStateAndClampsAreSaidOnce) {
  for (int i = 0; i < 4; ++i) EXPECT_EQ(LogIn("bob", "x"), 0);
  SetPassword("second");
  EXPECT_EQ(LogIn("bob", "second"), 1);
  EXPECT_FALSE(StateFileExists());
  EXPECT_TRUE(AuditLines().empty());
  Set("LockoutThreshold", "-4");
  Set("PasswordHistory", "99");
  Set("IdleLogoffMinutes", "ten");
  Set("LockoutMinutes", "7");
  EXPECT_EQ(LogIn("bob", "second"), 1);
  EXPECT_EQ(LogIn("bob", "second"), 1);
  const ProtectionSettings s = manager_.protection().settings();
  EXPECT_EQ(std::vector<int>({s.lockout_threshold, s.lockout_minutes, s.history, s.idle_minutes}),
            std::vector<int>({0, 7, 24, 0}));
  EXPECT_THAT(AuditLines(), ElementsAre("Policy Change|bob|Account protection settings clamped to "
                                        "their range: LockoutThreshold PasswordHistory "
                                        "IdleLogoffMinutes."));
}

TEST_F(AccountProtectionTest, TheModulesIdleWorkLogsOffAfterTheIdleTimeWithoutActivity) {
  Set("IdleLogoffMinutes", "5");
  SecurityApp app;
  app.InitInstance();
  SecurityManager& m = *app.manager();
  ASSERT_EQ(m.LogInUser("bob", "bobpw"), 1);
  coarse_clock_shift_ms += 4 * 60000;
  app.OnIdle(0);
  EXPECT_EQ(m.current_user(), "bob");
  m.HasRight(3);  // an enquiry is activity
  coarse_clock_shift_ms += 4 * 60000;
  app.OnIdle(0);
  EXPECT_EQ(m.current_user(), "bob");
  coarse_clock_shift_ms += 60000;
  app.OnIdle(0);
  EXPECT_EQ(m.current_user(), "");
  EXPECT_THAT(AuditLines(), ElementsAre("Logon/Logoff|bob|Idle log-off."));
  app.ExitInstance();
}

TEST(AccountStatesFile, DamagedLinesAreSkippedAndAnyTextReadsBackAsItIsWritten) {
  AccountState odd{2, kLockedIndefinitely, 5, {{7, "s\x01", "h"}}};
  const AccountStates states{{"a b\t%\xe9", odd}, {"bob", AccountState{0, 0, 9, {}}}};
  const std::string text = FormatAccountStates(states);
  EXPECT_EQ(ParseAccountStates(text), states);
  EXPECT_TRUE(ParseAccountStates("ACCOUNTS 2\n" + text.substr(text.find('\n') + 1)).empty());
  const char* damaged[] = {"x\t1\t0\t0", "x\t-1\t0\t0\t", "x\t1\t0\t0\t7:zz:00", "%4\t1\t0\t0\t",
                           "x\t1\t0\t0\t0:00:00", "\t1\t0\t0\t", "x\t1\t0\t0\t7:00:"};
  for (const char* line : damaged) {
    EXPECT_EQ(ParseAccountStates(text + line + "\n"), states) << line;
  }
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string mutated = text;
    for (int k = 0; k < 4; ++k) mutated[random() % mutated.size()] = static_cast<char>(random());
    const AccountStates parsed = ParseAccountStates(mutated);
    EXPECT_EQ(ParseAccountStates(FormatAccountStates(parsed)), parsed);
  }
}

}  // namespace
}  // namespace talmor::testing
