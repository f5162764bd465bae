// Lockout shared by two host processes through the C interface: the failed log-ons of both count
// toward one threshold, the lock holds in a process that was already running, one event marks
// it, and an administrator's Unlock in the user dialog lifts it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "manager/account_protection.h"
#include "platform/profile_file.h"
#include "qvshare.h"
#include "storage/database_files.h"
#include "support/audit_events.h"
#include "support/data_dir.h"
#include "support/library.h"
#include "support/process.h"
#include "talmor32.h"

namespace talmor::testing {
namespace {

class AccountLockout : public DataDirTest {
 protected:
  // SecurityLogin as mallory with `password`, or with `user` SecurityEditUser on it, driven by
  // `script`; true when it answers `expect`.
  bool Call(const Library& lib, int expect, const char* password, const char* user = nullptr,
            const std::string& script = "") {
    const std::string file = File("script" + std::to_string(++scripts_));
    std::ofstream(file) << (user ? script
                                 : std::string("dialog 130\ntype 1000 mallory\ntype 1001 ") +
                                       password + "\nclick 1\n");
    ::setenv("TALMOR_UI_SCRIPT", file.c_str(), 1);
    return expect == (user == nullptr
                          ? lib.Get<TalmorWindowFn>("SecurityLogin")(nullptr)
                          : lib.Get<TalmorNamedFn>("SecurityEditUser")(nullptr, user, 7));
  }
  int scripts_ = 0;
};

TEST_F(AccountLockout, FailuresInTwoProcessesLockTogetherUntilAnAdministratorUnlocks) {
  SecurityDatabase db;
  db.AddUser(UserRecord("mallory", "", "", "mpw"));
  SaveSecurityDatabase(db, SecurityOptions{});
  WriteProfileString("qvtalmor.ini", "AccountProtection", "LockoutThreshold", "3");
  ScopedEnv ui("TALMOR_UI", "headless"), transcript("TALMOR_UI_TRANSCRIPT", File("transcript"));
  ASSERT_EQ(QVHostPresenceAcquire(), 1);
  int ready[2], go[2];
  ASSERT_TRUE(::pipe(ready) == 0 && ::pipe(go) == 0);
  Child b([&] {
    Library lib;
    char byte = 0;
    CHILD_STEP(
        Call(lib, 0, "guess1") && ::write(ready[1], "r", 1) == 1 && ::read(go[0], &byte, 1) == 1,
        2);
    // A has made the third failure: the right password is refused here too, and so is another
    // failure, which does not lock again.
    return Call(lib, 0, "mpw") && Call(lib, 0, "guess4") ? 0 : 3;
  });
  char byte;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_EQ(RunInChild([&] {
              Library lib;
              return Call(lib, 0, "guess2") && Call(lib, 0, "guess3") ? 0 : 1;
            }),
            0);
  ASSERT_EQ(::write(go[1], "g", 1), 1);
  EXPECT_EQ(b.Wait(), 0);
  for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
  EXPECT_NE(
      (std::stringstream() << std::ifstream(File("transcript")).rdbuf()).str().find(kLockedRefusal),
      std::string::npos);

  QVStatusSetString(47, "Administrator");
  EXPECT_EQ(RunInChild([&] {
              Library lib;
              return Call(lib, 1, nullptr, "mallory", "dialog 134\nclick 1010\nclick 1\n") &&
                             Call(lib, 1, "mpw")
                         ? 0
                         : 1;
            }),
            0);
  QVHostPresenceRelease();
  std::vector<std::string> lines = AuditLines();
  std::erase_if(lines,
                [](const std::string& l) { return l.find("|Account ") == std::string::npos; });
  EXPECT_EQ(lines, std::vector<std::string>({"Logon/Logoff|mallory|Account locked.",
                                             "Logon/Logoff|mallory|Account unlocked."}));
}

}  // namespace
}  // namespace talmor::testing
