// Two host processes of one machine on one database, through the C interface: process B loads,
// may change something and log on, then A changes something and saves; B then saves or, after
// its next look at the files, logs on and enquires. Nobody's saved work may be undone, and B
// must act on A's save.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "manager/security_manager.h"
#include "qvshare.h"
#include "storage/database_files.h"
#include "support/data_dir.h"
#include "support/library.h"
#include "support/process.h"
#include "talmor32.h"

namespace talmor::testing {
namespace {

// One call of an export and the result it must give: `arg` names the user or group for the
// named exports, `script` drives its dialogs.
struct Call { const char* fn; const char* arg; std::string script; int expect; };

bool RunAll(const Library& lib, const std::vector<Call>& calls, const std::string& file) {
  static int n = 0;
  for (const Call& c : calls) {
    // A new file each time: the backend reads a script again only when its path changes.
    const std::string script = file + std::to_string(++n);
    std::ofstream(script) << c.script;
    ::setenv("TALMOR_UI_SCRIPT", script.c_str(), 1);
    const std::string fn = c.fn;
    const int got = c.arg != nullptr ? lib.Get<TalmorNamedFn>(c.fn)(nullptr, c.arg, static_cast<int32_t>(std::strlen(c.arg)))
                    : fn == "SecuritySave" || fn == "SecurityIndividualINI" ? lib.Get<TalmorVoidFn>(c.fn)()
                    : fn == "SecurityEnquireNoAudit" ? lib.Get<TalmorEnquireFn>(c.fn)(nullptr, 14)
                                                     : lib.Get<TalmorWindowFn>(c.fn)(nullptr);
    if (got != c.expect) return false;
  }
  return true;
}

// The membership dialog of group Lab, the given actions, OK in both dialogs.
Call Lab(const std::string& actions) {
  return {"SecurityEditGroup", "Lab", "dialog 133\nclick 1004\ndialog 138\n" + actions + "click 1\nclick 1\n", 1};
}
Call NewUser(const std::string& name) {
  return {"SecurityEditUser", nullptr, "dialog 134\ntype 1005 " + name + "\ntype 1001 secret1\ntype 1003 secret1\nclick 1\n", 1};
}
const Call kSave{"SecuritySave", nullptr, "", 1}, kHolds{"SecurityEnquireNoAudit", nullptr, "", 1},
    kLacks{"SecurityEnquireNoAudit", nullptr, "", 0};
const Call kMalloryLogsOn{"SecurityLogin", nullptr, "dialog 130\ntype 1000 mallory\ntype 1001 mpw\nclick 1\n", 1};
const Call kMalloryRefused{"SecurityLogin", nullptr, kMalloryLogsOn.script, 0};
const Call kDeleteMallory{"SecurityDeleteUser", "mallory", "answer ok\n", 1};
const Call kDisableMallory{"SecurityEditUser", "mallory", "dialog 134\ncheck 1009\nclick 1\n", 1};

// B's calls before A's change and save, then after them; what the files hold in the end.
struct Row { const char* name; std::vector<Call> b_before, a, b_after; std::function<bool(SecurityDatabase&, SecurityOptions&)> then; };

// Administrator; ann, bob and mallory (password "mpw"); the group Lab of bob and mallory, which
// holds right 14.
class SharedDatabase : public DataDirTest {
 protected:
  void SetUp() override {
    SecurityDatabase db;
    for (const char* name : {"Administrator", "ann", "bob", "mallory"}) db.AddUser(UserRecord(name, "", "", "mpw"));
    GroupRecord lab("Lab", "");
    RightRecord right(14);
    lab.AddMember("bob"), lab.AddMember("mallory"), right.AddMember("Lab");
    db.AddGroup(lab);
    db.EditRight(14, right);
    SaveSecurityDatabase(db, SecurityOptions{});
  }
};

TEST_F(SharedDatabase, SavedWorkSurvivesAndReachesTheOtherProcess) {
  auto lab_has = [](SecurityDatabase& db, const char* user) { return db.IsUserInGroup(user, "Lab"); };
  const Row rows[] = {
      {"deleted stays deleted", {}, {kDeleteMallory}, {kSave}, [](auto& db, auto&) { return !db.FindUser("mallory", nullptr); }},
      {"disabled stays disabled", {}, {kDisableMallory}, {kSave}, [](auto& db, auto&) { UserRecord u; return db.FindUser("mallory", &u) && u.GetAccountDisabled(); }},
      {"memberships of both", {Lab("select 1016 bob\nclick 1019\n")}, {Lab("select 1017 ann\nclick 1018\n")}, {kSave},
       [&](auto& db, auto&) { return lab_has(db, "ann") && !lab_has(db, "bob") && lab_has(db, "mallory"); }},
      {"policies of both", {{"SecurityAuditPolicy", nullptr, "dialog 131\nuncheck 1004\nclick 1\n", 1}}, {{"SecurityAccountPolicy", nullptr, "dialog 135\nclick 1011\ntype 1012 9\nclick 1\n", 1}}, {kSave},
       [](auto&, auto& o) { return o.PasswordMinChars == 9 && o.AuditPolicy == 0 && o.AuditLogon == 1; }},
      {"an option changed in A reads so in B", {{"SecurityIndividualINI", nullptr, "", 1}}, {{"SecurityAccountPolicy", nullptr, "dialog 135\nuncheck 1004\nclick 1\n", 1}},
       {{"SecurityIndividualINI", nullptr, "", 0}}, nullptr},
      {"new users of both", {NewUser("brian")}, {NewUser("alice")}, {kSave},
       [](auto& db, auto&) { return db.FindUser("alice", nullptr) && db.FindUser("brian", nullptr) && db.FindUser("mallory", nullptr); }},
      {"deleted user holds no right", {kMalloryLogsOn, kHolds}, {kDeleteMallory}, {kLacks, kMalloryRefused}, nullptr},
      {"disabled user cannot log on; B's unsaved deletion stays B's", {{"SecurityDeleteUser", "bob", "answer ok\n", 1}}, {kDisableMallory}, {kMalloryRefused},
       [](auto& db, auto&) { return db.FindUser("bob", nullptr); }},
      {"user out of the group loses its rights", {kMalloryLogsOn, kHolds}, {Lab("select 1016 mallory\nclick 1019\n")}, {kLacks}, nullptr},
  };
  ScopedEnv ui("TALMOR_UI", "headless");
  ASSERT_EQ(QVHostPresenceAcquire(), 1);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    QVStatusSetString(47, "Administrator");
    int ready[2], go[2];
    ASSERT_TRUE(::pipe(ready) == 0 && ::pipe(go) == 0);
    Child b([&] {
      Library lib;
      char byte = 0;
      CHILD_STEP(RunAll(lib, row.b_before, File("b")), 2);
      CHILD_STEP(::write(ready[1], "r", 1) == 1 && ::read(go[0], &byte, 1) == 1, 3);
      // Past the interval between two looks at the files: the next call must see A's save.
      std::this_thread::sleep_for(std::chrono::milliseconds(SecurityManager::kCatchUpIntervalMs + 50));
      return RunAll(lib, row.b_after, File("b")) ? 0 : 4;
    });
    // Only B writes `ready` and reads `go`: a B that ends early is seen, not waited for.
    ::close(ready[1]);
    ::close(go[0]);
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    QVStatusSetString(47, "Administrator");  // B may have logged on as someone else
    EXPECT_EQ(RunInChild([&] { Library lib; return RunAll(lib, row.a, File("a")) && RunAll(lib, {kSave}, File("a")) ? 0 : 1; }), 0);
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    EXPECT_EQ(b.Wait(), 0);
    for (int fd : {ready[0], go[1]}) ::close(fd);
    SecurityDatabase after;
    SecurityOptions options;
    LoadSecurityDatabase(after, options);
    EXPECT_TRUE(!row.then || row.then(after, options));
  }
  QVHostPresenceRelease();
}

// Several processes at once each add users, put them in one group, delete some, save after each
// change and enquire in between. Each touches only its own users, so a sequential model is the
// union of their effects: every kept user exists and is in the group, every deleted one is gone.
TEST_F(SharedDatabase, ConcurrentEditorsEndAsTheSequentialModel) {
  constexpr int kWorkers = 4, kRounds = 8;
  ScopedEnv ui("TALMOR_UI", "headless");
  ASSERT_EQ(QVHostPresenceAcquire(), 1);
  QVStatusSetString(47, "Administrator");
  auto name = [](int k, int i) { return "w" + std::to_string(k) + "u" + std::to_string(i); };
  std::vector<Child> workers;
  for (int k = 0; k < kWorkers; ++k) {
    workers.emplace_back([&, k] {
      Library lib;
      const std::string file = File("w" + std::to_string(k) + "-");
      for (int i = 0; i < kRounds; ++i) {
        CHILD_STEP(RunAll(lib, {NewUser(name(k, i)), kSave, kHolds, Lab("select 1017 " + name(k, i) + "\nclick 1018\n"), kSave}, file), 1);
        const std::string gone = name(k, i - 1);
        CHILD_STEP(i % 2 == 0 || RunAll(lib, {{"SecurityDeleteUser", gone.c_str(), "answer ok\n", 1}, kSave}, file), 2);
      }
      return 0;
    });
  }
  for (Child& worker : workers) EXPECT_EQ(worker.Wait(), 0);
  QVHostPresenceRelease();
  SecurityDatabase db;
  SecurityOptions options;
  LoadSecurityDatabase(db, options);
  for (int k = 0; k < kWorkers; ++k) {
    for (int i = 0; i < kRounds; ++i) {
      const bool kept = i % 2 == 1;
      EXPECT_EQ(db.FindUser(name(k, i), nullptr), kept) << name(k, i);
      EXPECT_EQ(db.IsUserInGroup(name(k, i), "Lab"), kept) << name(k, i);
    }
  }
  EXPECT_EQ(db.UserCount(), 4 + kWorkers * kRounds / 2);
}

}  // namespace
}  // namespace talmor::testing
