// Another local account as a neighbour: what it plants in the data and share directories is
// neither followed nor waited on, and what the library creates there is closed to it.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/file_exception.h"
#include "platform/host_presence.h"
#include "platform/profile_file.h"
#include "qvshare.h"
#include "storage/database_files.h"
#include "support/audit_events.h"
#include "support/data_dir.h"
#include "support/database_snapshot.h"
#include "support/process.h"

namespace talmor::testing {
namespace {

namespace fs = std::filesystem;

long MaxResidentKb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

bool LoadIsEmptyAndSaveEnds() {
  SecurityDatabase db;
  SecurityOptions options;
  const DatabaseSnapshot before = DatabaseSnapshot::Of(db, options);
  LoadSecurityDatabase(db, options);
  try {
    SaveSecurityDatabase(db, options);
  } catch (const FileException&) {
    // A directory in the way: the save fails, as any failed save does.
  }
  return DatabaseSnapshot::Of(db, options) == before;
}

bool EventNotRecorded() {
  AuditLogFile log;
  return log.failed() || !log.AppendEvent("src", "ann", "planted");
}

// A compaction that cannot use its scratch file keeps every live event.
bool CompactionKeepsEvents() {
  {
    AuditLogFile log;
    for (const char* d : {"one", "two", "three"}) log.AppendEvent("src", "ann", d);
    log.RemoveEvent(0);
    try {
      log.Compact();
    } catch (const FileException&) {
    }
  }
  return AuditDescriptions() == std::vector<std::string>{"two", "three"};
}

bool ProfileReadsDefaultAndRefusesWrite() {
  if (GetProfileString("qvtalmor.ini", "Login", "UserName", "def", 64) != "def") return false;
  try {
    WriteProfileString("qvtalmor.ini", "Login", "UserName", "ann");
  } catch (const FileException&) {
    return true;
  }
  return false;
}

bool NoHost() { return !IsHostWindowPresent() && QVHostPresenceAcquire() == 0; }

bool NoSlot() {
  char slot[16] = "x";
  QVStatusGetString(47, slot, sizeof slot);
  return slot[0] == '\0';
}

struct Target {
  const char* name;  // in the data directory, or in the share directory after "share/"
  std::function<bool()> use;
  bool keeps_plant;  // false where the library may replace or clear its own file name
};

const Target kTargets[] = {
    {"USERS.REC", LoadIsEmptyAndSaveEnds, false},
    {"OPTIONS.REC", LoadIsEmptyAndSaveEnds, false},
    {"QUORVANE.LOG", EventNotRecorded, true},
    {"QUORVANE.IDX", EventNotRecorded, true},
    {"QUORVANE.LO1", CompactionKeepsEvents, false},
    {"QUORVANE.IX1", CompactionKeepsEvents, false},
    {"qvtalmor.ini", ProfileReadsDefaultAndRefusesWrite, true},
    {"share/QuorvaneWClass.lock", NoHost, true},
    {"share/slot.47", NoSlot, true},
};

using HostileNeighbours = DataDirTest;

// Each row plants a link to a file outside, a link to an endless device, a FIFO or a directory
// in place of a file the library opens. Within its deadline and without growing, the library
// must give what a damaged file gives, and the outside file keeps its content.
TEST_F(HostileNeighbours, PlantedLinksFifosAndDirectoriesAreNeitherFollowedNorWaitedOn) {
  TempDir outside;
  const std::string precious = outside.File("precious");
  const std::vector<std::pair<const char*, std::function<int(const std::string&)>>> plants = {
      {"link", [&](const std::string& p) { return ::symlink(precious.c_str(), p.c_str()); }},
      {"zero", [](const std::string& p) { return ::symlink("/dev/zero", p.c_str()); }},
      {"fifo", [](const std::string& p) { return ::mkfifo(p.c_str(), 0600); }},
      {"dir", [](const std::string& p) { return ::mkdir(p.c_str(), 0700); }},
  };
  for (const Target& target : kTargets) {
    for (const auto& [kind, plant] : plants) {
      SCOPED_TRACE(std::string(target.name) + " as " + kind);
      for (const auto& entry : fs::directory_iterator(dir_.path())) fs::remove_all(entry.path());
      ASSERT_EQ(::mkdir(File("share").c_str(), 0700), 0);
      std::ofstream(precious) << "precious";
      const std::string path = File(target.name);
      ASSERT_EQ(plant(path), 0);
      const fs::file_type planted = fs::symlink_status(path).type();
      EXPECT_EQ(RunInChild(
                    [&] {
                      const long start = MaxResidentKb();
                      const bool sound = target.use();
                      return sound && MaxResidentKb() - start < 64 * 1024 ? 0 : 1;
                    },
                    30),
                0);
      std::ifstream in(precious);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");
      if (target.keeps_plant) {
        EXPECT_EQ(fs::symlink_status(path).type(), planted);
      }
    }
  }
}

// Everything a session creates is private: no bits for others (none for the group either unless
// the directory is shared with it), so another account can neither read the records nor open the
// audit files to hold a lock on them, even in a directory that others may enter.
TEST_F(HostileNeighbours, CreatedFilesArePrivateAndAnotherAccountCanNeitherReadNorLock) {
  TempDir home;
  {
    ScopedEnv windir("QUORVANE_WINDIR", "");
    ScopedEnv xdg("XDG_DATA_HOME", home.File("data"));
    EXPECT_TRUE(GetProfileString("qvtalmor.ini", "a", "b", "", 8).empty());
    EXPECT_EQ(fs::status(home.File("data/quorvane")).permissions(), fs::perms::owner_all);
  }
  const mode_t umask = ::umask(002);  // a site that shares with its group lets it write
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);  // a directory created by an older release
  SecurityDatabase db;
  SecurityOptions options;
  db.AddUser(UserRecord("ann", "", "", "BlueHarbour"));
  SaveSecurityDatabase(db, options);
  for (const char* d : {"one", "two"}) AuditLogFile().AppendEvent("src", "ann", d);
  {
    AuditLogFile log;
    log.RemoveEvent(0);
    log.Compact();
  }
  WriteProfileString("qvtalmor.ini", "Login", "UserName", "ann");
  ASSERT_EQ(::chmod(dir_.path().c_str(), 02770), 0);  // shared with its group from now on
  WriteProfileString("qvtalmor.ini", "Login", "UserName", "bob");
  for (const std::string& name : FileNames(dir_.path())) {
    const auto perms = fs::status(File(name)).permissions();
    const auto group = name == "qvtalmor.ini" ? fs::perms::group_read | fs::perms::group_write
                                              : fs::perms::none;
    EXPECT_EQ(perms & (fs::perms::others_all | fs::perms::group_all), group) << name;
  }
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
  ::umask(umask);

  if (::geteuid() != 0) GTEST_SKIP() << "acting as another account needs root to switch to it";
  std::vector<std::string> names = FileNames(dir_.path());
  std::erase(names, "share");
  EXPECT_EQ(RunInChild([&] {
              if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 100;
              int opened = 0;
              for (const std::string& name : names) {
                const int fd = ::open(File(name).c_str(), O_RDONLY | O_NONBLOCK);
                opened += fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) == 0;
              }
              return opened;
            }),
            0);
  EXPECT_EQ(AuditDescriptions(), std::vector<std::string>{"two"});
}

}  // namespace
}  // namespace talmor::testing
