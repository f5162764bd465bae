// The four database files from one input (options, rights, groups, users, in that order,
// separated by kFileSeparator); a load, then save and reload twice: the first reload has the
// groups and users in reverse order, the second gives back the first load exactly.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>

#include "database/security_database.h"
#include "fuzz_support.h"
#include "platform/data_directory.h"
#include "storage/database_files.h"
#include "support/database_snapshot.h"

using namespace talmor;

namespace {

DatabaseSnapshot Load() {
  SecurityDatabase db;
  SecurityOptions options;
  LoadSecurityDatabase(db, options);
  return DatabaseSnapshot::Of(db, options);
}

DatabaseSnapshot SaveAndReload() {
  SecurityDatabase db;
  SecurityOptions options;
  LoadSecurityDatabase(db, options);
  SaveSecurityDatabase(db, options);
  return Load();
}

// Prints where two loads differ, for the report of a failed check.
void PrintDifference(const DatabaseSnapshot& want, const DatabaseSnapshot& got) {
  auto show = [](const char* what, const std::vector<std::string>& a,
                 const std::vector<std::string>& b) {
    if (a == b) return;
    std::fprintf(stderr, "%s differ (%zu vs %zu)\n", what, a.size(), b.size());
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
      std::fprintf(stderr, "  [%zu] %s | %s\n", i, i < a.size() ? a[i].c_str() : "-",
                   i < b.size() ? b[i].c_str() : "-");
    }
  };
  if (want.options != got.options) {
    std::fprintf(stderr, "options %s | %s\n", want.options.c_str(), got.options.c_str());
  }
  show("rights", want.rights, got.rights);
  show("groups", want.groups, got.groups);
  show("users", want.users, got.users);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FreshDataDirectory();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view names[] = {kOptionsFileName, kRightsFileName, kGroupsFileName,
                                    kUsersFileName};
  const auto parts = fuzz::SplitInput(input, 4);
  for (size_t i = 0; i < parts.size(); ++i) fuzz::WriteFile(DataFilePath(names[i]), parts[i]);

  const DatabaseSnapshot first = Load();
  const DatabaseSnapshot second = SaveAndReload();
  if (!(second == first.Reversed())) PrintDifference(first.Reversed(), second);
  if (!(second == first.Reversed())) fuzz::Fail("a save and reload changed the database");
  const DatabaseSnapshot third = SaveAndReload();
  if (!(third == first)) PrintDifference(first, third);
  if (!(third == first)) fuzz::Fail("two saves and reloads did not give the first load");
  return 0;
}
