#pragma once

// A test's own data directory (QUORVANE_WINDIR) with the shared-status directory (QVSHARE_DIR)
// inside it, both removed afterwards.

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace talmor::testing {

class DataDirTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name); }

  TempDir dir_;
  ScopedEnv windir_{"QUORVANE_WINDIR", dir_.path()};
  ScopedEnv share_{"QVSHARE_DIR", dir_.File("share")};
};

}  // namespace talmor::testing
