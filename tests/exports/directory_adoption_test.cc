// A directory user logged on by one host process, adopted by another from the user name slot:
// the second resolves the same groups through the search account once, and keeps them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "qvshare.h"
#include "storage/database_files.h"
#include "support/data_dir.h"
#include "support/library.h"
#include "support/process.h"
#include "support/slapd.h"
#include "talmor32.h"

namespace talmor::testing {
namespace {

// Bit n set when the process holds right n, for the rights of the three mapped groups and one
// that no mapped group holds.
int HeldRights(const Library& lib) {
  int bits = 0;
  for (int right : {3, 7, 9, 12}) {
    bits |= lib.Get<TalmorEnquireFn>("SecurityEnquireNoAudit")(nullptr, right) << right;
  }
  return bits;
}

class DirectoryAdoption : public DataDirTest {};

TEST_F(DirectoryAdoption, AnotherProcessResolvesTheSameGroupsOnceForTheSession) {
  if (!Slapd::Installed()) GTEST_SKIP() << "slapd is not installed (Debian package slapd)";
  Slapd server;
  ASSERT_TRUE(server.ready()) << "slapd did not start";
  SecurityDatabase db;
  const std::pair<const char*, int> groups[] = {{"Chemists", 3}, {"Analysts", 7}, {"Visitors", 9}};
  for (const auto& [group, right] : groups) {
    db.AddGroup(GroupRecord(group, ""));
    RightRecord record(right);
    record.AddMember(group);
    db.EditRight(right, record);
  }
  SaveSecurityDatabase(db, SecurityOptions{});
  server.Configure(File("reader.secret"));
  constexpr int kAnnsRights = (1 << 3) | (1 << 7);
  ScopedEnv ui("TALMOR_UI", "headless");
  std::ofstream(File("logon")) << "dialog 130\ntype 1000 ann\ntype 1001 annpw\nclick 1\n";
  ScopedEnv script("TALMOR_UI_SCRIPT", File("logon"));
  ASSERT_EQ(QVHostPresenceAcquire(), 1);
  EXPECT_EQ(RunInChild([&] {
              Library lib;
              CHILD_STEP(lib.Get<TalmorWindowFn>("SecurityLogin")(nullptr) == 1, 1);
              return HeldRights(lib) == kAnnsRights ? 0 : 2;
            }), 0);
  char name[64] = {};
  QVStatusGetString(47, name, sizeof name);
  EXPECT_STREQ(name, "ann");
  // B adopts ann, then asks again after the server is gone: the answer was kept.
  int asked[2], stopped[2];
  ASSERT_TRUE(::pipe(asked) == 0 && ::pipe(stopped) == 0);
  Child b([&] {
    Library lib;
    char byte = 0;
    CHILD_STEP(HeldRights(lib) == kAnnsRights, 1);
    CHILD_STEP(::write(asked[1], "a", 1) == 1 && ::read(stopped[0], &byte, 1) == 1, 2);
    return HeldRights(lib) == kAnnsRights ? 0 : 3;
  });
  char byte = 0;
  ASSERT_EQ(::read(asked[0], &byte, 1), 1);
  server.Stop();
  ASSERT_EQ(::write(stopped[1], "s", 1), 1);
  EXPECT_EQ(b.Wait(), 0);
  // A process that cannot ask the directory holds nothing for the user.
  EXPECT_EQ(RunInChild([&] { Library lib; return HeldRights(lib); }), 0);
  for (int fd : {asked[0], asked[1], stopped[0], stopped[1]}) ::close(fd);
  QVHostPresenceRelease();
}

}  // namespace
}  // namespace talmor::testing
