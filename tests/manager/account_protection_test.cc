// Account protection on one manager with a test clock (lockout is in the dialog scenarios and
// the export tests): aging from the first sight, the history checked against the cryptographic
// library's own PBKDF2, idle log-off through the module's idle work, and the state file read back
// from damaged and random text.
#include "manager/account_protection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <openssl/core_names.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#endif

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "manager/security_app.h"
#include "manager/security_manager.h"
#include "platform/coarse_clock.h"
#include "platform/crypto.h"
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
  void TearDown() override { SetClock(previous_), coarse_clock_shift_ms = 0; }
  static void Set(const char* key, const char* value) {
    WriteProfileString("qvtalmor.ini", "AccountProtection", key, value);
  }
  void SetPassword(const char* password) {
    manager_.EditUser("bob", UserRecord("bob", "", "", password)), manager_.Save();
  }
  bool StateFileExists() const { return std::filesystem::exists(File("ACCOUNTS.REC")); }

  ClockFunction previous_ = nullptr;
  SecurityManager manager_;
};

#ifndef _WIN32
// PBKDF2-HMAC-SHA-256 computed by the library's own key derivation interface, not ours.
std::string LibraryPbkdf2(std::string password, PasswordHash h) {
  std::unique_ptr<EVP_KDF, void (*)(EVP_KDF*)> kdf(EVP_KDF_fetch(nullptr, "PBKDF2", nullptr),
                                                   EVP_KDF_free);
  std::unique_ptr<EVP_KDF_CTX, void (*)(EVP_KDF_CTX*)> ctx(EVP_KDF_CTX_new(kdf.get()),
                                                           EVP_KDF_CTX_free);
  char digest[] = "SHA256";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD, password.data(), password.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, h.salt.data(), h.salt.size()),
      OSSL_PARAM_construct_uint(OSSL_KDF_PARAM_ITER, &h.iterations),
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_end()};
  std::string out(32, '\0');
  EXPECT_EQ(
      EVP_KDF_derive(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), out.size(), params),
      1);
  return out;
}
#endif

TEST_F(AccountProtectionTest, PasswordsAgeFromTheirFirstSightAndTheHistoryKeepsTheNewest) {
  Set("PasswordMaxAgeDays", "30");
  Set("PasswordHistory", "2");
  std::ofstream(File("ACCOUNTS.REC.~1f.tmp")) << "left by an interrupted write";
  g_now += 1000 * kDay;  // long after any change the files could tell of
  EXPECT_EQ(manager_.LogInUser("bob", "bobpw"), 1);
  g_now += 30 * kDay - 1;
  EXPECT_EQ(manager_.LogInUser("bob", "bobpw"), 1);
  g_now += 1;
  EXPECT_EQ(manager_.LogInUser("bob", "bobpw"), 0);
  EXPECT_TRUE(manager_.protection().password_expired());
  EXPECT_EQ(manager_.logon_refusal(), kExpiredRefusal);
  for (const char* password : {"second", "third", "fourth"}) SetPassword(password);
  EXPECT_EQ(manager_.LogInUser("bob", "fourth"), 1);  // dated by the save
  for (const char* old : {"bobpw", "second", "third", "fourth"}) {
    const bool kept = old[0] == 's' || old[0] == 't';  // the two newest previous ones
    EXPECT_EQ(manager_.protection().IsInHistory("BOB", old), kept) << old;
  }
  EXPECT_FALSE(std::filesystem::exists(File("ACCOUNTS.REC.~1f.tmp")));
  const AccountState bob = ReadAccountStates().at("bob");
  ASSERT_EQ(bob.history.size(), 2u);
  EXPECT_EQ(bob.history[0].iterations + bob.history[0].salt.size(),
            kPasswordHashIterations + kPasswordSaltSize);
#ifndef _WIN32
  for (int i : {0, 1})
    EXPECT_EQ(bob.history[i].hash, LibraryPbkdf2(i == 0 ? "third" : "second", bob.history[i]));
#endif
  // The RFC 7914 vector ("passwd", "salt", one round) holds on every platform's library.
  EXPECT_EQ(View(Pbkdf2Sha256("passwd", "salt", 1)).substr(0, 4), "\x55\xac\x04\x6e");
  EXPECT_EQ(View(Pbkdf2Sha256("", "salt", 1)).substr(0, 4), "\xf1\x35\xc2\x79");  // blank passwords
}

// Idle log-off alone keeps no account state: failures, saves and log-ons leave no state file and
// no event of their own.
TEST_F(AccountProtectionTest, TheModulesIdleWorkLogsOffAfterTheIdleTimeWithoutActivity) {
  Set("IdleLogoffMinutes", "5");
  SecurityApp app;
  app.InitInstance();
  SecurityManager& m = *app.manager();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(m.LogInUser("bob", "x"), 0);
  m.Save();
  ASSERT_EQ(m.LogInUser("bob", "bobpw"), 1);
  EXPECT_FALSE(StateFileExists());
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
  for (const char* line : {"x\t1\t0\t0", "x\t-1\t0\t0\t", "x\t1\t0\t0\t7:zz:00", "%4\t1\t0\t0\t",
                           "x\t1\t0\t0\t0:00:00", "\t1\t0\t0\t", "x\t1\t0\t0\t7:00:"})
    EXPECT_EQ(ParseAccountStates(text + line + "\n"), states) << line;
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
