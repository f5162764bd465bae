// Another local account as a neighbour: what it plants in the data and share directories is
// neither followed nor waited on, and what the library creates there is closed to it.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/host_presence.h"
#include "platform/profile_file.h"
#include "qvshare.h"
#include "storage/database_files.h"
#include "support/audit_events.h"
#include "support/data_dir.h"
#include "support/process.h"

namespace talmor::testing {
namespace {

namespace fs = std::filesystem;
using HostileNeighbours = DataDirTest;

template <typename F>
bool Raises(F f) {
  try {
    f();
  } catch (const FileException&) {
    return true;
  }
  return false;
}

// Run in a child with a deadline, so that a wait on a FIFO or an endless read fails the row.
// Each must find what a damaged file gives; `keeps` where the planted thing must stay as it is.
const struct {
  const char* name;
  bool keeps;
  std::function<bool()> sound;
} kTargets[] = {
    {"USERS.REC", false, [] {
       SecurityDatabase db;
       SecurityOptions o;
       LoadSecurityDatabase(db, o);
       return !Raises([&] { SaveSecurityDatabase(db, o); }) || fs::is_directory(DataFilePath("\\USERS.REC"));
     }},
    {"QUORVANE.LOG", true, [] { return !AuditLogFile().AppendEvent("s", "ann", "d"); }},
    {"QUORVANE.IDX", true, [] { return !AuditLogFile().AppendEvent("s", "ann", "d"); }},
    {"QUORVANE.IX1", false, [] {
       for (const char* d : {"one", "two"}) AuditLogFile().AppendEvent("s", "ann", d);
       AuditLogFile().RemoveEvent(0);
       Raises([] { AuditLogFile().Compact(); });
       return AuditDescriptions() == std::vector<std::string>{"two"};
     }},
    {"qvtalmor.ini", true, [] {
       return GetProfileString("qvtalmor.ini", "S", "K", "def", 8) == "def" &&
              Raises([] { WriteProfileString("qvtalmor.ini", "S", "K", "v"); });
     }},
    {"share/QuorvaneWClass.lock", true,
     [] { return !IsHostWindowPresent() && QVHostPresenceAcquire() == 0; }},
    {"share/slot.47", true, [] {
       char slot[8] = "x";
       QVStatusGetString(47, slot, sizeof slot);
       return slot[0] == '\0';
     }},
};

TEST_F(HostileNeighbours, PlantedLinksFifosAndDirectoriesAreNeitherFollowedNorWaitedOn) {
  TempDir outside;
  const std::string precious = outside.File("precious");
  for (const auto& target : kTargets) {
    for (const char* plant : {precious.c_str(), "/dev/zero", "fifo", "dir"}) {
      SCOPED_TRACE(std::string(target.name) + " as " + plant);
      for (const auto& entry : fs::directory_iterator(dir_.path())) fs::remove_all(entry.path());
      ASSERT_EQ(::mkdir(File("share").c_str(), 0700), 0);
      std::ofstream(precious) << "precious";
      const std::string path = File(target.name);
      ASSERT_EQ(plant == std::string("fifo") ? ::mkfifo(path.c_str(), 0600)
                : plant == std::string("dir") ? ::mkdir(path.c_str(), 0700)
                                              : ::symlink(plant, path.c_str()),
                0);
      const fs::file_type planted = fs::symlink_status(path).type();
      EXPECT_EQ(RunInChild([&] { return target.sound() ? 0 : 1; }, 30), 0);
      std::ifstream in(precious);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");
      EXPECT_TRUE(!target.keeps || fs::symlink_status(path).type() == planted);
    }
  }
}

// What a session creates gets no bits for others (group bits only in a directory shared with the
// group), so another account can neither read the records nor lock the audit files, even in a
// directory others may enter (as one made by an older release). The default directory is 0700.
TEST_F(HostileNeighbours, CreatedFilesArePrivateAndAnotherAccountCanNeitherReadNorLock) {
  TempDir home;
  {
    ScopedEnv windir("QUORVANE_WINDIR", ""), xdg("XDG_DATA_HOME", home.File("data"));
    GetProfileString("qvtalmor.ini", "S", "K", "", 8);
    EXPECT_EQ(fs::status(home.File("data/quorvane")).permissions(), fs::perms::owner_all);
  }
  const mode_t umask = ::umask(002);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
  SaveSecurityDatabase(SecurityDatabase(), SecurityOptions());
  for (const char* d : {"one", "two"}) AuditLogFile().AppendEvent("s", "ann", d);
  AuditLogFile().RemoveEvent(0);
  AuditLogFile().Compact();
  ASSERT_EQ(::chmod(dir_.path().c_str(), 02775), 0);
  WriteProfileString("qvtalmor.ini", "S", "K", "v");
  ::umask(umask);
  const std::vector<std::string> names = FileNames(dir_.path());
  for (const std::string& name : names) {
    EXPECT_EQ(fs::status(File(name)).permissions() & (fs::perms::others_all | fs::perms::group_all),
              name == "qvtalmor.ini" ? fs::perms::group_read | fs::perms::group_write
                                     : fs::perms::none)
        << name;
  }
  if (::geteuid() != 0) GTEST_SKIP() << "acting as another account needs root to switch to it";
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
}

}  // namespace
}  // namespace talmor::testing
