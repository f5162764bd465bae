// A database save failing at every write, flush, sync, rename, truncation and removal it makes,
// one point at a time, while it merges this process's changes onto another process's save: each
// of the four files must read back wholly the other's or wholly merged (the merged ones a prefix
// of the save order), no temporary file may stay behind, and the next save must succeed.
// Beside it: with nobody else saving, a save writes what the plain save of the working database
// writes, byte for byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "database/security_database.h"
#include "manager/security_manager.h"
#include "platform/file_exception.h"
#include "storage/database_files.h"
#include "support/bytes.h"
#include "support/database_snapshot.h"
#include "support/faulty_file_system.h"
#include "support/data_dir.h"

namespace talmor {
namespace {

using testing::FaultKind;
using testing::FaultyFileSystem;
using testing::ScopedFileSystem;

const char* const kFiles[] = {"OPTIONS.REC", "RIGHTS.REC", "GROUPS.REC", "USERS.REC"};

DatabaseSnapshot LoadSnapshot() {
  SecurityDatabase db;
  SecurityOptions options;
  LoadSecurityDatabase(db, options);
  return DatabaseSnapshot::Of(db, options);
}

// The order of records carries no meaning between two merges.
DatabaseSnapshot Sorted(DatabaseSnapshot s) {
  std::sort(s.users.begin(), s.users.end());
  std::sort(s.groups.begin(), s.groups.end());
  return s;
}

// This process loads `old_db_` and changes users, a group's member order and an option; the
// other process may then save `new_db_`, which differs in every file and takes several writes.
class SaveFaultsTest : public testing::DataDirTest {
 protected:
  void SetUp() override {
    old_db_.AddUser(UserRecord("analyst", "Old Analyst", "", "old"));
    GroupRecord team("Team", "");
    for (const char* name : {"user1", "user2", "user3"}) team.AddMember(name);
    old_db_.AddGroup(team);
    for (int i = 0; i < 2500; ++i) {
      new_db_.AddUser(UserRecord("user" + std::to_string(i), std::string(30, 'n'), "d", "pw"));
    }
    GroupRecord reviewers("Reviewers", "new");
    reviewers.AddMember("user7");
    new_db_.AddGroup(reviewers);
    RightRecord right(4);
    right.AddMember("Reviewers");
    new_db_.EditRight(4, right);
    new_options_.AuditMaxEvents = 777;
    SaveSecurityDatabase(new_db_, new_options_);
    new_ = LoadSnapshot();
  }

  void StartAndChange() {
    SaveSecurityDatabase(old_db_, old_options_);
    manager_ = std::make_unique<SecurityManager>();
    manager_->StartUp();
    manager_->AddUser(UserRecord("mine", "", "", "pw"));
    manager_->DeleteUser("analyst");
    GroupRecord reordered("Team", "");
    for (const char* name : {"user1", "user2", "user3"}) reordered.AddMember(name);
    manager_->EditGroup("Team", reordered);  // the same members, stored in the other order
    manager_->PasswordMinChars = 9;
  }
  void OtherProcessSaves() {
    DatabaseLock lock;
    lock.MarkSaved();
    SaveSecurityDatabase(new_db_, new_options_);
  }
  std::string Bytes() {
    std::string all;
    for (const char* name : kFiles) all += testing::ReadBytes(File(name)) + '|';
    return all;
  }

  SecurityDatabase old_db_, new_db_;
  SecurityOptions old_options_, new_options_;
  DatabaseSnapshot new_;
  std::unique_ptr<SecurityManager> manager_;
};

TEST_F(SaveFaultsTest, WithNobodyElseSavingASaveWritesTheWorkingDatabaseAsItIs) {
  StartAndChange();
  SaveSecurityDatabase(*manager_, *manager_);  // the plain save; the lock file is not touched
  const std::string plain = Bytes();
  SaveSecurityDatabase(old_db_, old_options_);
  manager_->Save();
  EXPECT_EQ(Bytes(), plain);
}

TEST_F(SaveFaultsTest, AFailedMergedSaveLeavesEachFileWhollyTheOthersOrMerged) {
  StartAndChange();
  OtherProcessSaves();
  FaultyFileSystem faults;
  {
    ScopedFileSystem installed(faults);
    faults.ResetCounts();
    manager_->Save();
  }
  // Four files, each written, synced, renamed into place and its directory synced.
  EXPECT_EQ(faults.Count(FaultKind::kRename), 4);
  EXPECT_GE(faults.Count(FaultKind::kSync), 8);
  const DatabaseSnapshot merged = LoadSnapshot();
  UserRecord user;
  ASSERT_TRUE(manager_->FindUser("mine", &user) && manager_->FindUser("user2499", &user));
  ASSERT_FALSE(manager_->FindUser("analyst", &user));

  bool raised = false;
  const int points = testing::ForEveryFaultPoint(
      faults, [&] { StartAndChange(); OtherProcessSaves(); },
      [&] {
        try {
          raised = false;
          manager_->Save();
        } catch (const FileException&) {
          raised = true;
        }
      },
      [&] {
        EXPECT_TRUE(raised);  // a failure is reported, never taken for success
        const DatabaseSnapshot now = LoadSnapshot();
        const bool is_merged[] = {now.options == merged.options, now.rights == merged.rights,
                                  now.groups == merged.groups, now.users == merged.users};
        const bool is_theirs[] = {now.options == new_.options, now.rights == new_.rights,
                                  now.groups == new_.groups, now.users == new_.users};
        for (int i = 0; i < 4; ++i) {
          EXPECT_TRUE(is_merged[i] || is_theirs[i]) << kFiles[i] << " is neither";
          EXPECT_TRUE(i == 0 || !is_merged[i] || is_merged[i - 1]) << kFiles[i] << " out of order";
          EXPECT_TRUE(OsFileSystem().GetStatus(File(kFiles[i]))->attributes & kAttributeReadOnly);
        }
        EXPECT_EQ(testing::FileNames(dir_.path()).size(), 6u);  // the files, lock, share dir
        manager_->Save();  // merges again over what the failed one left: the same records
        EXPECT_EQ(Sorted(LoadSnapshot()), Sorted(merged));
      });
  EXPECT_GE(points, 19);
}

}  // namespace
}  // namespace talmor
