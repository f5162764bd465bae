// A database save failing at every write, flush, sync, rename, truncation and removal it makes,
// one point at a time: each of the four files must read back wholly old or wholly new (the
// new ones a prefix of the save order), no temporary file may stay behind, and the next save
// must succeed.

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

DatabaseSnapshot LoadSnapshot() {
  SecurityDatabase db;
  SecurityOptions options;
  LoadSecurityDatabase(db, options);
  return DatabaseSnapshot::Of(db, options);
}


class SaveFaultsTest : public testing::DataDirTest {
 protected:
  void SetUp() override {
    old_db_.AddUser(UserRecord("analyst", "Old Analyst", "", "old"));
    GroupRecord chemists("Chemists", "old");
    chemists.AddMember("analyst");
    old_db_.AddGroup(chemists);
    old_options_.AuditMaxEvents = 100;

    // Every file differs from the old one, and the users take several buffer writes.
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
    new_options_.PasswordMinChars = 6;

    SaveSecurityDatabase(new_db_, new_options_);
    new_ = LoadSnapshot();
    SaveSecurityDatabase(old_db_, old_options_);
    old_ = LoadSnapshot();
    ASSERT_NE(old_.options, new_.options);
    ASSERT_NE(old_.rights, new_.rights);
    ASSERT_NE(old_.groups, new_.groups);
    ASSERT_NE(old_.users, new_.users);
  }

  // Each part of the loaded database is the old or the new one, the new ones first in save
  // order (options, rights, groups, users).
  void ExpectWhollyOldOrNew() {
    const DatabaseSnapshot now = LoadSnapshot();
    const bool is_new[] = {now.options == new_.options, now.rights == new_.rights,
                           now.groups == new_.groups, now.users == new_.users};
    const bool is_old[] = {now.options == old_.options, now.rights == old_.rights,
                           now.groups == old_.groups, now.users == old_.users};
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(is_new[i] || is_old[i]) << "file " << i << " is neither old nor new";
      EXPECT_TRUE(i == 0 || !is_new[i] || is_new[i - 1]) << "file " << i << " saved out of order";
    }
    EXPECT_EQ(testing::FileNames(dir_.path()),
              (std::vector<std::string>{"GROUPS.REC", "OPTIONS.REC", "RIGHTS.REC", "USERS.REC"}));
    for (const char* name : {"GROUPS.REC", "OPTIONS.REC", "RIGHTS.REC", "USERS.REC"}) {
      EXPECT_TRUE(OsFileSystem().GetStatus(dir_.File(name))->attributes & kAttributeReadOnly)
          << name;
    }
  }

  SecurityDatabase old_db_, new_db_;
  SecurityOptions old_options_, new_options_;
  DatabaseSnapshot old_, new_;
};

TEST_F(SaveFaultsTest, FailingAtEveryPointLeavesEachFileWhollyOldOrNew) {
  FaultyFileSystem faults;
  {
    ScopedFileSystem installed(faults);
    faults.ResetCounts();
    SaveSecurityDatabase(new_db_, new_options_);
  }
  // Four files, each written, synced, renamed into place and its directory synced.
  EXPECT_GE(faults.Count(FaultKind::kWrite), 5);
  EXPECT_EQ(faults.Count(FaultKind::kRename), 4);
  EXPECT_GE(faults.Count(FaultKind::kSync), 8);

  bool raised = false;
  const int points = testing::ForEveryFaultPoint(
      faults, [&] { SaveSecurityDatabase(old_db_, old_options_); },
      [&] {
        try {
          raised = false;
          SaveSecurityDatabase(new_db_, new_options_);
        } catch (const FileException&) {
          raised = true;
        }
      },
      [&] {
        EXPECT_TRUE(raised);  // a failure is reported, never taken for success
        ExpectWhollyOldOrNew();
        SaveSecurityDatabase(new_db_, new_options_);
        EXPECT_EQ(LoadSnapshot(), new_);
      });
  EXPECT_GE(points, 17);
}

// This process changes users, a group's member order and an option; meanwhile another process
// may save. `old_db_` is what both loaded, `new_db_` the other's save.
class ManagerSaveTest : public SaveFaultsTest {
 protected:
  void StartAndChange() {
    GroupRecord team("Team", "");
    for (const char* name : {"user1", "user2", "user3"}) team.AddMember(name);
    if (!old_db_.FindGroup("Team", nullptr)) old_db_.AddGroup(team);
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
    for (const char* name : {"OPTIONS.REC", "RIGHTS.REC", "GROUPS.REC", "USERS.REC"}) all += testing::ReadBytes(File(name)) + '|';
    return all;
  }
  static DatabaseSnapshot Sorted(DatabaseSnapshot s) {
    std::sort(s.users.begin(), s.users.end());
    std::sort(s.groups.begin(), s.groups.end());
    return s;
  }
  std::unique_ptr<SecurityManager> manager_;
};

TEST_F(ManagerSaveTest, WithNobodyElseSavingASaveWritesTheWorkingDatabaseAsItIs) {
  StartAndChange();
  SaveSecurityDatabase(*manager_, *manager_);  // the plain save; the lock file is not touched
  const std::string plain = Bytes();
  SaveSecurityDatabase(old_db_, old_options_);
  manager_->Save();
  EXPECT_EQ(Bytes(), plain);
}

TEST_F(ManagerSaveTest, AFailedMergedSaveLeavesEachFileWhollyTheOthersOrMerged) {
  StartAndChange();
  OtherProcessSaves();
  manager_->Save();
  const DatabaseSnapshot merged = LoadSnapshot();
  UserRecord user;
  ASSERT_TRUE(manager_->FindUser("mine", &user) && manager_->FindUser("user2499", &user));
  ASSERT_FALSE(manager_->FindUser("analyst", &user));

  FaultyFileSystem faults;
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
        EXPECT_TRUE(raised);
        const DatabaseSnapshot now = LoadSnapshot();
        EXPECT_TRUE(now.options == new_.options || now.options == merged.options);
        EXPECT_TRUE(now.rights == new_.rights || now.rights == merged.rights);
        EXPECT_TRUE(now.groups == new_.groups || now.groups == merged.groups);
        EXPECT_TRUE(now.users == new_.users || now.users == merged.users);
        manager_->Save();  // merges again over what the failed one left: the same records
        EXPECT_EQ(Sorted(LoadSnapshot()), Sorted(merged));
      });
  EXPECT_GE(points, 19);
}

}  // namespace
}  // namespace talmor
