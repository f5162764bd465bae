// A directory user logged on by one host process and adopted by another from the user name
// slot: the second resolves the same groups through the search account.
#include <gtest/gtest.h>

#include "qvshare.h"
#include "support/data_dir.h"
#include "support/library.h"
#include "support/slapd.h"
#include "talmor32.h"

namespace talmor::testing {
namespace {

class DirectoryAdoption : public DataDirTest {};

TEST_F(DirectoryAdoption, AnotherProcessResolvesTheSameGroups) {
  if (!Slapd::Installed()) GTEST_SKIP() << "slapd is not installed (Debian package slapd)";
  Slapd server;
  ASSERT_TRUE(server.ready()) << "slapd did not start";
  SaveLabDatabase();
  server.Configure(File("reader.secret"));
  auto rights_of_adopted_user = [] {
    Library lib;
    return HeldRights(
        [&](int r) { return lib.Get<TalmorEnquireFn>("SecurityEnquireNoAudit")(nullptr, r); });
  };
  ASSERT_EQ(QVHostPresenceAcquire(), 1);
  QVStatusSetString(47, "ann");  // as the log-on dialog of another process leaves it
  EXPECT_EQ(RunInChild(rights_of_adopted_user), 1 << 3 | 1 << 7);
  server.Stop();  // a process that cannot ask the directory holds nothing for the user
  EXPECT_EQ(RunInChild(rights_of_adopted_user), 0);
  QVHostPresenceRelease();
}

}  // namespace
}  // namespace talmor::testing
