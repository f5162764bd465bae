// A directory user logged on by one host process, adopted by another from the user name slot:
// the second resolves the same groups through the search account once, and keeps them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "qvshare.h"
#include "support/data_dir.h"
#include "support/library.h"
#include "support/slapd.h"
#include "talmor32.h"

namespace talmor::testing {
namespace {

int Rights(const Library& lib) {
  return HeldRights([&](int r) { return lib.Get<TalmorEnquireFn>("SecurityEnquireNoAudit")(nullptr, r); });
}

class DirectoryAdoption : public DataDirTest {};

TEST_F(DirectoryAdoption, AnotherProcessResolvesTheSameGroupsOnceForTheSession) {
  if (!Slapd::Installed()) GTEST_SKIP() << "slapd is not installed (Debian package slapd)";
  Slapd server;
  ASSERT_TRUE(server.ready()) << "slapd did not start";
  SaveLabDatabase();
  server.Configure(File("reader.secret"));
  std::ofstream(File("logon")) << "dialog 130\ntype 1000 ann\ntype 1001 annpw\nclick 1\n";
  ScopedEnv ui("TALMOR_UI", "headless"), script("TALMOR_UI_SCRIPT", File("logon"));
  constexpr int kAnnsRights = 1 << 3 | 1 << 7;
  ASSERT_EQ(QVHostPresenceAcquire(), 1);
  EXPECT_EQ(RunInChild([&] { Library lib; return lib.Get<TalmorWindowFn>("SecurityLogin")(nullptr) == 1 ? Rights(lib) : -1; }), kAnnsRights);
  // B adopts ann, then asks again after the server is gone: the answer was kept.
  int asked[2], stopped[2];
  ASSERT_TRUE(::pipe(asked) == 0 && ::pipe(stopped) == 0);
  Child b([&] {
    Library lib;
    char byte = 0;
    CHILD_STEP(Rights(lib) == kAnnsRights && ::write(asked[1], "a", 1) == 1 && ::read(stopped[0], &byte, 1) == 1, 1);
    return Rights(lib) == kAnnsRights ? 0 : 2;
  });
  char byte = 0;
  ASSERT_EQ(::read(asked[0], &byte, 1), 1);
  server.Stop();
  ASSERT_EQ(::write(stopped[1], "s", 1), 1);
  EXPECT_EQ(b.Wait(), 0);
  // A process that cannot ask the directory holds nothing for the user.
  EXPECT_EQ(RunInChild([&] { Library lib; return Rights(lib); }), 0);
  for (int fd : {asked[0], asked[1], stopped[0], stopped[1]}) ::close(fd);
  QVHostPresenceRelease();
}

}  // namespace
}  // namespace talmor::testing
