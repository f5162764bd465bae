#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/data_directory.h"
#include "support/temp_dir.h"

namespace talmor {
namespace {

TEST(DataDirectory, FollowsTheEnvironmentAtEveryLookupAndCreatesTheDirectory) {
  TempDir tmp;
  {
    ScopedEnv env("QUORVANE_WINDIR", tmp.File("win") + "/");
    EXPECT_EQ(WindowsDirectory(), tmp.File("win"));
    struct stat st {};
    EXPECT_EQ(::stat(tmp.File("win").c_str(), &st), 0);
    EXPECT_EQ(DataFilePath("\\USERS.REC"), tmp.File("win") + "/USERS.REC");
    ScopedEnv other("QUORVANE_WINDIR", tmp.File("other"));
    EXPECT_EQ(DataFilePath("\\QUORVANE.LOG"), tmp.File("other") + "/QUORVANE.LOG");
  }
  ScopedEnv unset("QUORVANE_WINDIR", "");
  ScopedEnv xdg("XDG_DATA_HOME", tmp.File("xdg"));
  EXPECT_EQ(WindowsDirectory(), tmp.File("xdg") + "/quorvane");
}

}  // namespace
}  // namespace talmor
