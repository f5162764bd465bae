// The environment is read live: what a host sets through the system's own call after start-up
// (past the C runtime's copy on Windows) is seen, and the data directory follows it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/data_directory.h"
#include "platform/environment.h"

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
  SetLive("TALMOR_TEST_VALUE", nullptr);
  EXPECT_EQ(EnvironmentValue("TALMOR_TEST_VALUE"), std::nullopt);

  const std::string dir = testing::TempDir() + "live-windir";
  SetLive("QUORVANE_WINDIR", dir.c_str());
  EXPECT_EQ(WindowsDirectory(), dir);
  SetLive("QUORVANE_WINDIR", nullptr);
}

}  // namespace
}  // namespace talmor
