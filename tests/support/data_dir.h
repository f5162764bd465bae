#pragma once

// A test's own data directory (QUORVANE_WINDIR) with the shared-status directory (QVSHARE_DIR)
// inside it, both removed afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace talmor::testing {

// The names in a directory, sorted.
inline std::vector<std::string> FileNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class DataDirTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name); }

  TempDir dir_;
  ScopedEnv windir_{"QUORVANE_WINDIR", dir_.path()};
  ScopedEnv share_{"QVSHARE_DIR", dir_.File("share")};
};

}  // namespace talmor::testing
