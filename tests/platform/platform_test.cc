#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "platform/names.h"
#include "support/temp_dir.h"

namespace talmor {
namespace {

TEST(Names, FoldOnlyAsciiLettersAndCompareOtherBytesExactly) {
  EXPECT_TRUE(EqualIgnoringCase("Administrator", "ADMINISTRATOR"));
  EXPECT_FALSE(EqualIgnoringCase("Administrator", "Administrators"));
  EXPECT_FALSE(EqualIgnoringCase("abc", "ab"));
  // Bytes above 0x7F are never letters: é (0xE9) and É (0xC9) differ.
  EXPECT_FALSE(EqualIgnoringCase("caf\xE9", "CAF\xC9"));
  EXPECT_TRUE(EqualIgnoringCase("caf\xE9", "CAF\xE9"));
  // '[' (0x5B) sits between 'Z' and 'a': folding must not make it equal to anything else.
  EXPECT_FALSE(EqualIgnoringCase("[", "{"));
  EXPECT_FALSE(EqualExactly("Bob", "bob"));
  EXPECT_EQ(FoldCase("MiXeD \xC9!"), "mixed \xC9!");
  EXPECT_LT(CompareIgnoringCase("apple", "BANANA"), 0);
  EXPECT_GT(CompareIgnoringCase("\xE9", "z"), 0);  // compared as unsigned bytes
  EXPECT_LT(CompareIgnoringCase("ab", "ABC"), 0);
}

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

// Reading, writing, seeking and truncating are exercised by every file format's tests, locks by
// the audit log's sharing tests.
TEST(FileSystem, ReadOnlyAttributeAndTimesAreSetAndReadBack) {
  TempDir tmp;
  FileSystem& fs = FileSystem::Default();
  const std::string path = tmp.File("r.rec");
  try {
    fs.Open(path, OpenMode::kRead);
    ADD_FAILURE() << "opening a missing file must raise";
  } catch (const FileException& e) {
    EXPECT_TRUE(e.cause() == FileException::Cause::kNotFound && e.path() == path);
  }
  fs.Open(path, OpenMode::kCreateNew)->Write("x", 1);
  auto status = *fs.GetStatus(path);
  const FileTime old = FileTime(std::chrono::seconds(1'000'000'000)) + std::chrono::nanoseconds(1234);
  status.attributes = kAttributeReadOnly | kAttributeHidden;
  status.modified = old;
  status.accessed = old + std::chrono::seconds(5);
  fs.SetStatus(path, status);
  const auto after = *fs.GetStatus(path);
  EXPECT_EQ(after.attributes, unsigned{kAttributeReadOnly});
  EXPECT_TRUE(after.modified == old && after.accessed == old + std::chrono::seconds(5));
  struct stat st {};
  EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0);
}

}  // namespace
}  // namespace talmor
