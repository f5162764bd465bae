// The administration commands around the dialogs: deleting asks first and refuses the built-in
// account and group, copying a group takes its rights, listing answers empty past the end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialog_fixture.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;

class DeleteAndCopyTest : public DialogScenario {
 protected:
  void SetUp() override {
    DialogScenario::SetUp();
    if (IsSkipped()) return;
    LogOnAsAdministrator();
    manager().AddUser(UserRecord("ann", "Ann", "", "abcdefgh"));
    manager().AddGroup(GroupRecord("Chemists", "wet"));
  }
};

TEST_P(DeleteAndCopyTest, DeletingAsksFirstAndRefusesTheBuiltInOnes) {
  struct Row {
    bool user;
    const char* name;
    const char* answer;
    int result;
    std::string box;
  };
  const std::string ask = "exclamation\tokcancel\tConfirm ";
  for (const Row& row : {
           Row{true, "ADMINISTRATOR", "", 0,
               StopBox(kManagerCaption, "The Administrator account cannot be deleted.")},
           Row{false, "administrators", "", 0,
               StopBox(kManagerCaption, "The Administrators group cannot be deleted.")},
           Row{true, "ann", "answer cancel", 0,
               "msgbox\t" + ask + "User Delete\tDelete User : ann\tcancel"},
           Row{false, "Chemists", "answer cancel", 0,
               "msgbox\t" + ask + "Group Delete\tDelete Group : Chemists\tcancel"},
           Row{true, "ann", "answer ok", 1,
               "msgbox\t" + ask + "User Delete\tDelete User : ann\tok"},
           Row{false, "Chemists", "answer ok", 1,
               "msgbox\t" + ask + "Group Delete\tDelete Group : Chemists\tok"},
       }) {
    SCOPED_TRACE(row.name);
    RunResult run = Run(Script(row.answer), [&] {
      EXPECT_EQ(row.user ? manager().AdminDeleteUser(nullptr, row.name)
                         : manager().AdminDeleteGroup(nullptr, row.name),
                row.result);
    });
    EXPECT_THAT(run.transcript, ElementsAre(row.box));
    EXPECT_EQ(
        row.user ? manager().FindUser(row.name, nullptr) : manager().FindGroup(row.name, nullptr),
        row.result == 0);
  }
  EXPECT_EQ(manager().AdminDeleteUser(nullptr, std::nullopt), 0);
}

TEST_P(DeleteAndCopyTest, ACopiedGroupStartsWithoutANameAndTakesTheRights) {
  RightRecord right(7);
  right.AddMember("Chemists");
  manager().EditRight(7, right);
  std::string name_shown, description_shown;
  Run(Steps({Script("dialog 133"), Steps(Probe([&](Dialog& d) {
               name_shown = d.Item(group_properties_ids::kName)->GetWindowText();
               description_shown = d.Item(group_properties_ids::kDescription)->GetWindowText();
             })),
             Script("type 1001 Physicists\nenter")}),
      [&] { EXPECT_EQ(manager().AdminCopyGroup(nullptr, "chemists"), 1); });
  EXPECT_EQ(name_shown, "");
  EXPECT_EQ(description_shown, "wet");
  RightRecord stored;
  ASSERT_TRUE(manager().FindRight(7, &stored));
  EXPECT_TRUE(stored.IsMember("Physicists"));
  EXPECT_EQ(manager().AdminCopyGroup(nullptr, "nobody"), 0);
}

TEST_P(DeleteAndCopyTest, ListingPastTheEndAnswersEmptyStrings) {
  std::string name = "x", full_name = "x", description = "x";
  EXPECT_EQ(manager().GetUserStrings(1, name, full_name, description), 1);
  EXPECT_FALSE(name.empty() || full_name.empty());
  EXPECT_EQ(manager().GetUserStrings(2, name, full_name, description), 0);
  EXPECT_EQ(name + full_name + description, "");
  EXPECT_EQ(manager().GetGroupStrings(1, name, description), 1);
  EXPECT_FALSE(name.empty() || description.empty());
  EXPECT_EQ(manager().GetGroupStrings(2, name, description), 0);
  EXPECT_EQ(name + description, "");
}

INSTANTIATE_TEST_SUITE_P(Backends, DeleteAndCopyTest, UiBackendRows(), UiBackendName);

}  // namespace
}  // namespace talmor::testing
