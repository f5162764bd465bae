// The built library loaded as a host loads it: each scenario runs in a child process that opens
// libtalmor32.so with dlopen (so that loading starts the library and exiting the child stops
// it), against real files in a temporary data directory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "qvshare.h"
#include "storage/database_files.h"
#include "support/audit_events.h"
#include "support/data_dir.h"
#include "support/database_snapshot.h"
#include "support/library.h"
#include "support/process.h"
#include "talmor32.h"

extern "C" int talmor_c_host_run(const char* library_path);

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using Library = testing::Library;
#define STEP CHILD_STEP

class ExportsTest : public DataDirTest {
 protected:
  void SetUp() override {
    // Start with a database that has a second user and a group, as a host's machine would.
    SecurityDatabase db;
    SecurityOptions options;
    db.AddUser(UserRecord("Administrator", "", "", "BlueHarbour"));
    db.AddUser(UserRecord("bob", "Bob Analyst", "bench 2", "pw"));
    GroupRecord lab("Lab", "analysts");
    lab.AddMember("bob");
    db.AddGroup(lab);
    RightRecord right(14);
    right.AddMember("Lab");
    db.EditRight(14, right);
    SaveSecurityDatabase(db, options);
  }
  void TearDown() override { QVHostPresenceRelease(); }

  void Script(const std::string& text) { std::ofstream(script_path_) << text; }
  std::vector<std::string> Transcript() {
    std::vector<std::string> lines;
    std::ifstream in(transcript_path_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> Log() { return AuditLines(); }
  // Makes `name` the user logged on elsewhere: the host runs, so start-up keeps the slot.
  void LoggedOnElsewhere(const char* name) {
    ASSERT_EQ(QVHostPresenceAcquire(), 1);
    QVStatusSetString(47, name);
  }

  ScopedEnv ui_{"TALMOR_UI", "headless"};
  std::string script_path_ = File("script.txt");
  std::string transcript_path_ = File("transcript.txt");
  ScopedEnv script_{"TALMOR_UI_SCRIPT", script_path_};
  ScopedEnv transcript_{"TALMOR_UI_TRANSCRIPT", transcript_path_};
};

TEST_F(ExportsTest, AHostWrittenInCCallsThroughTheHeader) {
  EXPECT_EQ(RunInChild([] { return talmor_c_host_run(TALMOR32_LIBRARY); }), 0);
}

TEST_F(ExportsTest, OutputBuffersAreCutOrSkippedAndNeverOverrun) {
  LoggedOnElsewhere("bob");
  EXPECT_EQ(RunInChild([] {
              Library lib;
              auto get_current = lib.Get<TalmorGetCurrentUserFn>("SecurityGetCurrentUser");
              auto get_user = lib.Get<TalmorGetUserFn>("SecurityGetUser");
              auto get_group = lib.Get<TalmorGetGroupFn>("SecurityGetGroup");
              auto get_right = lib.Get<TalmorGetRightFn>("SecurityGetRight");
              char name[8], full[16], desc[64];
              auto fill = [&] {
                std::memset(name, '#', sizeof name);
                std::memset(full, '#', sizeof full);
                std::memset(desc, '#', sizeof desc);
              };
              fill();
              // Sizes 1, 4 and -1: a zero byte only, three characters, untouched.
              STEP(get_current(name, 1, full, 4, desc, -1) == 1, 1);
              STEP(std::memcmp(name, "\0#", 2) == 0 && std::memcmp(full, "Bob\0#", 5) == 0, 2);
              STEP(desc[0] == '#' && get_current(nullptr, 64, nullptr, 0, desc, sizeof desc) == 1, 3);
              STEP(std::strcmp(desc, "bench 2") == 0, 4);
              // Loading reverses the file order: the built-in account comes first here.
              STEP(get_user(1, name, sizeof name, full, sizeof full, desc, sizeof desc) == 1, 8);
              STEP(std::strcmp(name, "bob") == 0 && std::strcmp(full, "Bob Analyst") == 0, 9);
              STEP(get_group(1, name, 3, desc, sizeof desc) == 1 && std::strcmp(name, "La") == 0, 10);
              // The built-in group, cut.
              STEP(get_group(0, name, sizeof name, desc, sizeof desc) == 1 && std::strcmp(name, "Adminis") == 0, 11);
              fill();
              STEP(get_right(0, desc, 10) == 1 && std::memcmp(desc, "Administe\0#", 11) == 0, 13);
              return 0;
            }),
            0);
}

// A log-on through the dialog in one process is seen by the host's next process.
TEST_F(ExportsTest, ALogOnThroughTheDialogIsAdoptedByAnotherProcess) {
  ASSERT_EQ(QVHostPresenceAcquire(), 1);
  Script("dialog 130\ntype 1000 BOB\ntype 1001 wrong\nenter\ntype 1001 pw\nenter\n");
  EXPECT_EQ(RunInChild([] {
              Library lib;
              auto login = lib.Get<TalmorWindowFn>("SecurityLogin");
              auto get_current = lib.Get<TalmorGetCurrentUserFn>("SecurityGetCurrentUser");
              STEP(login(reinterpret_cast<TalmorWindow>(uintptr_t{0x10})) == 1, 1);
              char name[32];
              STEP(get_current(name, sizeof name, nullptr, 0, nullptr, 0) == 1, 2);
              STEP(std::strcmp(name, "bob") == 0, 3);
              return 0;
            }),
            0);
  char slot[64] = {};
  QVStatusGetString(47, slot, sizeof slot);
  EXPECT_STREQ(slot, "BOB");  // as typed

  EXPECT_EQ(RunInChild([] {
              Library lib;
              auto enquire = lib.Get<TalmorEnquireFn>("SecurityEnquireNoAudit");
              auto logoff = lib.Get<TalmorVoidFn>("SecurityLogoff");
              auto note = lib.Get<TalmorNoteFn>("SecurityNote");
              auto get_current = lib.Get<TalmorGetCurrentUserFn>("SecurityGetCurrentUser");
              char name[32], full[32];
              STEP(get_current(name, sizeof name, full, sizeof full, nullptr, 0) == 1, 1);
              STEP(std::strcmp(name, "bob") == 0 && std::strcmp(full, "Bob Analyst") == 0, 2);
              STEP(enquire(nullptr, 14) == 1 && enquire(nullptr, 0) == 0, 3);
              STEP(lib.Get<TalmorEnquireFn>("SecurityEnquire")(nullptr, 14) == 1, 7);
              STEP(note(0, "Batch", 0, "started", 0) == 1 && note(4, nullptr, 0, "viewed", 0) == 1, 8);
              STEP(note(0, nullptr, 0, nullptr, 0) == 1, 9);
              STEP(logoff() == 1, 4);
              STEP(get_current(name, sizeof name, nullptr, 0, nullptr, 0) == 0, 5);
              STEP(name[0] == '\0', 6);
              return 0;
            }),
            0);
  // The adopting process records under the name as published.
  EXPECT_THAT(Log(), ElementsAre("Logon/Logoff|bob|Successful logon.",
                                 HasSubstr("BOB|Successful object access."), "Batch|BOB|started",
                                 "Object Viewed|BOB|viewed", "|BOB|",
                                 "Logon/Logoff|BOB|User logged off."));
  EXPECT_THAT(Transcript(), ::testing::Contains(HasSubstr("msgbox")));
}

// A deletion that is not saved is lost with the process; a group edited through its dialog and
// saved is there for the next one, with its members.
TEST_F(ExportsTest, ChangesSurviveOnlyWhenSaved) {
  LoggedOnElsewhere("Administrator");
  auto change = [](bool edit_and_save) {
    return RunInChild([edit_and_save] {
      Library lib;
      TalmorWindow owner = reinterpret_cast<TalmorWindow>(uintptr_t{0x99});
      if (!edit_and_save) return lib.Get<TalmorNamedFn>("SecurityDeleteUser")(owner, "bob", 3) == 1 ? 0 : 1;
      STEP(lib.Get<TalmorNamedFn>("SecurityEditGroup")(nullptr, "LAB", 3) == 1, 2);
      return lib.Get<TalmorVoidFn>("SecuritySave")() == 1 ? 0 : 3;
    });
  };
  auto saved = [] {
    SecurityDatabase db;
    SecurityOptions options;
    LoadSecurityDatabase(db, options);
    return DatabaseSnapshot::Of(db, options);
  };
  const DatabaseSnapshot before = saved();
  Script("answer ok\n");
  EXPECT_EQ(change(false), 0);
  EXPECT_EQ(saved(), before);
  // A mistyped line is reported by its number, never its text; a save also removes what an
  // interrupted save left, and only names of that pattern.
  Script("dialog 133\nType 1001 BlueHarbour\ntype 1002 bench analysts\nenter\n");
  const std::vector<std::string> leftovers = {"USERS.REC.~1f.tmp", "USERS.REC.~1g.tmp",
                                              "GROUPS.REC.~0123456789abcdef.tmp", "USERS.REC~.tmp"};
  for (const std::string& name : leftovers) std::ofstream(File(name)) << "BlueHarbour";
  EXPECT_EQ(change(true), 0);
  for (size_t i = 0; i < leftovers.size(); ++i) EXPECT_EQ(std::filesystem::exists(File(leftovers[i])), i % 2 == 1);
  EXPECT_THAT(Transcript(), ::testing::AllOf(::testing::Contains("error\tline 2: unknown action"),
                                             ::testing::Each(::testing::Not(HasSubstr("Harbour")))));
  EXPECT_EQ(std::filesystem::status(transcript_path_).permissions(), std::filesystem::perms(0600));
  const DatabaseSnapshot after = saved();
  EXPECT_THAT(after.users, ::testing::Contains(::testing::StartsWith("bob\x01")));
  EXPECT_THAT(after.groups, ::testing::Contains("Lab\x01" "bench analysts\x01" "bob\x02"));
  EXPECT_THAT(Transcript(), ::testing::Contains(HasSubstr("Delete User : bob\tok")));
}

}  // namespace
}  // namespace talmor::testing
