// Services of the operating system whose Windows form differs: the environment is read live
// (what a host sets through the system's own call after start-up, past the C runtime's copy on
// Windows, is seen, and the data directory follows it); a file that is open is replaced as on
// Linux (the open handle keeps the old file and nothing is left behind).
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/data_directory.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace talmor {
namespace {

void SetLive(const char* name, const char* value) {
#ifdef _WIN32
  ::SetEnvironmentVariableA(name, value);
#else
  value != nullptr ? setenv(name, value, 1) : unsetenv(name);
#endif
}

TEST(EnvironmentTest, ValuesSetAfterStartUpAreSeenAndEmptyOnesCountAsUnset) {
  const std::string long_value(1000, 'v');  // beyond the first buffer
  SetLive("TALMOR_TEST_VALUE", long_value.c_str());
  EXPECT_EQ(EnvironmentValue("TALMOR_TEST_VALUE"), long_value);
  SetLive("TALMOR_TEST_VALUE", "");
  EXPECT_EQ(EnvironmentValue("TALMOR_TEST_VALUE"), std::nullopt);

  const std::string dir = testing::TempDir() + "live-windir";
  SetLive("QUORVANE_WINDIR", dir.c_str());
  EXPECT_EQ(WindowsDirectory(), dir);
  SetLive("QUORVANE_WINDIR", nullptr);
}

std::string ReadAll(File& file) {
  std::string text(64, '\0');
  file.Seek(0);
  text.resize(file.Read(text.data(), text.size()));
  return text;
}

TEST(FileSystemTest, ReplacingAnOpenFileKeepsItsHandleOnTheOldFileAndLeavesNothingBehind) {
  TempDir dir;
  FileSystem& fs = FileSystem::Default();
  fs.Open(dir.File("LOG"), OpenMode::kCreateTruncate)->Write("old", 3);
  fs.Open(dir.File("LO1"), OpenMode::kCreateTruncate)->Write("new", 3);
  auto held = fs.Open(dir.File("LOG"), OpenMode::kReadWrite);
  ASSERT_TRUE(held->LockExclusive(std::chrono::milliseconds(0)));
  fs.Rename(dir.File("LO1"), dir.File("LOG"));
  EXPECT_EQ(ReadAll(*held), "old");
  EXPECT_EQ(ReadAll(*fs.Open(dir.File("LOG"), OpenMode::kRead)), "new");
  held.reset();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace talmor
