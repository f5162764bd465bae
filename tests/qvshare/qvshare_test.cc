#include "qvshare.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>

#include "platform/host_presence.h"
#include "qvshare_directory.h"
#include "support/process.h"
#include "support/temp_dir.h"

extern "C" int QVShareCallFromC(int slot, const char* text);

namespace {

std::string Get(int slot, int size = 256) {
  std::string buffer(static_cast<size_t>(std::max(size, 1)), 'x');
  QVStatusGetString(slot, buffer.data(), size);
  return std::string(buffer.c_str());
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

using talmor::testing::Child;

// Runs `body` in a child process: 0 when it returned true.
template <typename Body>
int InChild(Body body) {
  return talmor::testing::RunInChild([&] { return body() ? 0 : 1; });
}

TEST(StatusSlots, SetInOneProcessReadInAnotherWithBufferRules) {
  TempDir tmp;
  const std::string dir = tmp.File("run/share");
  ScopedEnv env("QVSHARE_DIR", dir);
  EXPECT_EQ(Get(47), "");  // missing directory: nothing set, nothing created by reading
  EXPECT_FALSE(std::filesystem::exists(dir));

  ASSERT_EQ(InChild([] {
              for (auto [slot, text] : {std::pair<int, const char*>{47, "alice"}, {-3, "minus three"},
                                        {INT_MIN, "lowest"}, {8, "gone"}, {8, nullptr}}) {
                QVStatusSetString(slot, text);
              }
              return true;
            }),
            0);
  EXPECT_EQ(ModeOf(dir), 0700u);
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    EXPECT_TRUE(ModeOf(entry.path().string()) == 0600u && entry.path().extension() != ".tmp") << entry.path();
  }
  // A null text sets ""; 48 was never set; a size of 0 or less leaves the buffer alone.
  EXPECT_EQ(Get(47) + "|" + Get(-3) + "|" + Get(INT_MIN) + "|" + Get(8) + "|" + Get(48) + "|" +
                Get(47, 4) + "|" + Get(47, 1) + "|" + Get(47, 0) + Get(47, -5),
            "alice|minus three|lowest|||ali||xx");
  QVStatusGetString(47, nullptr, 8);  // must not crash
  EXPECT_TRUE(QVShareCallFromC(12, "from C") && Get(12) == "from C");
}

TEST(StatusSlots, ConcurrentRewritesAreAlwaysSeenWhole) {
  TempDir tmp;
  ScopedEnv env("QVSHARE_DIR", tmp.File("share"));
  const std::string a(3000, 'a'), b(5000, 'b');
  QVStatusSetString(5, a.c_str());
  talmor::testing::ExpectWholeReadsDuring(
      [&] {
        for (int i = 0; i < 2000; ++i) QVStatusSetString(5, (i % 2 ? a : b).c_str());
      },
      [] { return Get(5, 8192); }, a, b);
  EXPECT_EQ(Get(5, 8192), a);  // the last rewrite (i = 1999) set a
  const auto entries = std::filesystem::directory_iterator(tmp.File("share"));
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1);  // no temporary file left behind
}

TEST(StatusSlots, DirectoryRuleAndUntrustedDirectoriesAreRefused) {
  TempDir tmp;
  {
    ScopedEnv share("QVSHARE_DIR", "");
    ScopedEnv runtime("XDG_RUNTIME_DIR", tmp.path() + "/");
    EXPECT_EQ(qvshare::ConfiguredDirectory(), tmp.File("qvshare"));
    QVStatusSetString(1, "via runtime dir");
    EXPECT_EQ(Get(1), "via runtime dir");
    ScopedEnv no_runtime("XDG_RUNTIME_DIR", "");
    EXPECT_EQ(qvshare::ConfiguredDirectory(), "/tmp/qvshare-" + std::to_string(::geteuid()));
  }

  // Open to others: a slot file planted there is not believed, and nothing is written.
  const std::string open_dir = tmp.File("open");
  ASSERT_EQ(::mkdir(open_dir.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(open_dir.c_str(), 0755), 0);
  {
    ScopedEnv env("QVSHARE_DIR", open_dir);
    std::filesystem::copy_file(tmp.File("qvshare/slot.1"), open_dir + "/slot.1");
    QVStatusSetString(2, "refused");
    EXPECT_EQ(Get(1) + Get(2), "");
    EXPECT_FALSE(std::filesystem::exists(open_dir + "/slot.2") || QVHostPresenceAcquire());
  }

  // A symbolic link to a good directory is refused too.
  ASSERT_EQ(::symlink(tmp.File("qvshare").c_str(), tmp.File("link").c_str()), 0);
  for (auto [dir, expected] : {std::pair{"link", ""}, {"qvshare", "via runtime dir"}}) {
    ScopedEnv env("QVSHARE_DIR", tmp.File(dir));
    EXPECT_EQ(Get(1), expected) << dir;
  }

  if (::geteuid() != 0) GTEST_SKIP() << "ownership by another user needs root to set up";
  // Made by another user, as in a shared /tmp: refused even though its mode is 0700.
  const std::string foreign = tmp.File("foreign");
  ASSERT_EQ(::mkdir(foreign.c_str(), 0700), 0);
  std::filesystem::copy_file(tmp.File("qvshare/slot.1"), foreign + "/slot.1");
  ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
  {
    ScopedEnv env("QVSHARE_DIR", foreign);
    QVStatusSetString(4, "refused");
    EXPECT_EQ(Get(1), "");
    EXPECT_FALSE(std::filesystem::exists(foreign + "/slot.4") || talmor::IsHostWindowPresent());
  }
}

// A host that exits without releasing (as when it crashes) leaves no presence behind.
TEST(HostPresence, PresentWhileAnotherProcessHoldsItAbsentAfterItExits) {
  TempDir tmp;
  const std::string dir = tmp.File("share");
  ScopedEnv env("QVSHARE_DIR", dir);
  EXPECT_FALSE(talmor::IsHostWindowPresent());
  EXPECT_FALSE(std::filesystem::exists(dir));  // asking creates nothing
  int held[2], go[2];
  ASSERT_TRUE(::pipe(held) == 0 && ::pipe(go) == 0);
  Child host([&] {
    const char ok = QVHostPresenceAcquire() == 1 && QVHostPresenceAcquire() == 1 ? 'y' : 'n';
    char c;
    return ::write(held[1], &ok, 1) == 1 && ::read(go[0], &c, 1) == 1 && ok == 'y' ? 0 : 1;
  });
  char ok = 0;
  ASSERT_TRUE(::read(held[0], &ok, 1) == 1 && ok == 'y');
  EXPECT_TRUE(talmor::IsHostWindowPresent());
  EXPECT_EQ(QVHostPresenceAcquire(), 0);  // a second host is refused while the first runs
  ASSERT_EQ(::write(go[1], "x", 1), 1);
  EXPECT_EQ(host.Wait(), 0);
  EXPECT_FALSE(talmor::IsHostWindowPresent());
  for (int fd : {held[0], held[1], go[0], go[1]}) ::close(fd);
  EXPECT_EQ(QVHostPresenceAcquire(), 1);  // and the next host starts
  QVHostPresenceRelease();
  EXPECT_FALSE(talmor::IsHostWindowPresent());
}

}  // namespace
