#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <string>

#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "platform/names.h"
#include "support/process.h"
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

TEST(FileSystem, ReadWriteSeekTruncateAndErrorsAsExceptions) {
  TempDir tmp;
  FileSystem& fs = FileSystem::Default();
  const std::string path = tmp.File("a.bin");
  try {
    fs.Open(path, OpenMode::kRead);
    ADD_FAILURE() << "opening a missing file must raise";
  } catch (const FileException& e) {
    EXPECT_TRUE(e.cause() == FileException::Cause::kNotFound && e.path() == path);
  }
  auto f = fs.Open(path, OpenMode::kCreateNew);
  f->Write("hello world", 11);
  f->Seek(6);
  char buf[16] = {};
  EXPECT_EQ(std::string(buf, f->Read(buf, sizeof buf)), "world");
  f->SetLength(5);
  EXPECT_EQ(f->SeekToEnd(), 5u);
  f->Close();
  EXPECT_THROW(f->Write("x", 1), FileException);
  EXPECT_THROW(fs.Open(path, OpenMode::kCreateNew), FileException);
  EXPECT_EQ(fs.Open(path, OpenMode::kOpenOrCreate)->Length(), 5u);
  EXPECT_EQ(fs.Open(path, OpenMode::kCreateTruncate)->Length(), 0u);
  fs.Rename(path, tmp.File("b.bin"));
  EXPECT_FALSE(fs.GetStatus(path).has_value());
  fs.Remove(tmp.File("b.bin"));
  EXPECT_THROW(fs.Remove(tmp.File("b.bin")), FileException);
}

TEST(FileSystem, ReadOnlyAttributeAndTimesAreSetAndReadBack) {
  TempDir tmp;
  FileSystem& fs = FileSystem::Default();
  const std::string path = tmp.File("r.rec");
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

TEST(FileSystem, ExclusiveLockWaitsForAnotherHolderAndTimesOut) {
  TempDir tmp;
  FileSystem& fs = FileSystem::Default();
  const std::string path = tmp.File("lock");
  fs.Open(path, OpenMode::kCreateNew);

  // The child is forked before anything is opened, so it inherits no descriptor that would
  // keep our lock alive; it waits for our signal, then tries to lock while we still hold it.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  testing::Child child([&] {
    char c;
    if (::read(ready[0], &c, 1) != 1) return 2;
    auto f = OsFileSystem().Open(path, OpenMode::kReadWrite);
    return f->LockExclusive(std::chrono::milliseconds(5000)) ? 0 : 1;
  });
  auto first = fs.Open(path, OpenMode::kReadWrite);
  ASSERT_TRUE(first->LockExclusive(std::chrono::milliseconds(0)));
  // A second open file in this process conflicts, as another process would.
  auto second = fs.Open(path, OpenMode::kReadWrite);
  EXPECT_FALSE(second->LockExclusive(std::chrono::milliseconds(20)));
  ASSERT_EQ(::write(ready[1], "x", 1), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  first->Close();
  EXPECT_EQ(child.Wait(), 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
}  // namespace talmor
