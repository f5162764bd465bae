#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "manager/rights_catalogue.h"
#include "resources/resource_ids.h"

namespace talmor::testing {
namespace {

namespace g = group_properties_ids;
namespace m = membership_ids;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

constexpr const char* kGroupMustStay =
    "Unable to remove access privilege from Administrators group.\nThis group must have full "
    "access rights.";

std::string Right(uint32_t n) { return std::string(RightName(n, false)); }

// What a probe saw of the membership dialog: "<heading> [<members>] [<others>]", selected
// entries marked with '*', then the enabled ones of "add" and "remove".
Step SeeChooser(std::string& out) {
  return Probe([&out](Dialog& d) {
    auto list = [&d](int id) {
      std::string text;
      for (int i = 0; i < d.Item(id)->GetCount(); ++i)
        text += (i ? " " : "") + d.Item(id)->GetText(i) + (d.Item(id)->GetSel(i) > 0 ? "*" : "");
      return "[" + text + "]";
    };
    out = d.Item(m::kHeading)->GetWindowText() + " " + list(m::kMembers) + " " +
          list(m::kNonMembers) + (d.Item(m::kAdd)->IsWindowEnabled() ? " add" : "") +
          (d.Item(m::kRemove)->IsWindowEnabled() ? " remove" : "");
  });
}
Step SeeList(int id, std::vector<std::string>& out) {
  return Probe([id, &out](Dialog& d) { out = Entries(d.Item(id)); });
}

std::vector<std::string> Members(const MembershipRecord& record) {
  std::vector<std::string> names;
  std::string name;
  for (int i = 0; record.GetMemberAt(i, &name); ++i) names.push_back(name);
  return names;
}

class GroupDialogsTest : public DialogScenario {
 protected:
  void SetUp() override {
    DialogScenario::SetUp();
    if (IsSkipped()) return;
    LogOnAsAdministrator();
    for (const char* user : {"ann", "bob", "carl"}) manager().AddUser(UserRecord(user, "", "", ""));
  }
  std::vector<std::string> StoredMembers(const char* group) {
    GroupRecord stored;
    EXPECT_TRUE(manager().FindGroup(group, &stored)) << group;
    return Members(stored);
  }
  std::vector<std::string> StoredGrants(int right) {
    RightRecord stored;
    EXPECT_TRUE(manager().FindRight(right, &stored)) << right;
    return Members(stored);
  }
};

TEST_P(GroupDialogsTest, NewGroupGetsTwoUsersInOneClick) {
  std::string opened, after_add;
  std::vector<std::string> members_shown;
  bool rights_enabled = true;
  RunResult run =
      Run(Steps({Script("dialog 133"), Steps(Probe([&](Dialog& d) {
                   rights_enabled = d.Item(g::kRights)->IsWindowEnabled() ||
                                    d.Item(g::kRightsLabel)->IsWindowEnabled();
                 })),
                 Script("type 1001 Chemists\nclick 1004\ndialog 138"), Steps(SeeChooser(opened)),
                 Script("select 1017 ann\nselect 1017 carl\nclick 1018"),
                 Steps(SeeChooser(after_add)), Script("click 1"),
                 Steps(SeeList(g::kMembers, members_shown)), Script("type 1002 Wet lab\nenter")}),
          [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, std::nullopt), 1); });
  EXPECT_FALSE(rights_enabled);
  EXPECT_EQ(opened, "Group : Chemists [] [Administrator ann bob carl]");
  EXPECT_EQ(after_add, "Group : Chemists [ann* carl*] [Administrator bob] remove");
  EXPECT_THAT(members_shown, ElementsAre("ann", "carl"));
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t133\tGroup Properties", "dialog\t138\tGroup Membership",
                          "end\t138\t1", "end\t133\t1"));
  EXPECT_EQ(run.steps_left, 0u);
  GroupRecord stored;
  ASSERT_TRUE(manager().FindGroup("Chemists", &stored));
  EXPECT_EQ(stored.Description(), "Wet lab");
  EXPECT_THAT(Members(stored), UnorderedElementsAre("ann", "carl"));
}

TEST_P(GroupDialogsTest, SelectionFollowsTheFocusAndRemoveMovesNamesBack) {
  GroupRecord group("Chemists", "");
  for (const char* user : {"ann", "bob"}) group.AddMember(user);
  manager().AddGroup(group);
  std::string heading, after_focus_moves, after_remove;
  std::vector<std::string> after_cancel;
  Run(Steps({Script("dialog 133\ntype 1001 \nclick 1004\ndialog 138"), Steps(SeeChooser(heading)),
             Script("escape"), Steps(SeeList(g::kMembers, after_cancel)),
             Script("type 1001 Chemists\nclick 1004\ndialog 138\nselect 1017 carl\n"
                    "select 1016 ann"),  // the focus moves: carl lets go
             Steps(SeeChooser(after_focus_moves)), Script("select 1016 bob\nclick 1019"),
             Steps(SeeChooser(after_remove)), Script("click 1\nclick 1")}),
      [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, "chemists"), 1); });
  EXPECT_EQ(heading, "Group :  [ann bob] [Administrator carl]");  // no name typed
  EXPECT_THAT(after_cancel, ElementsAre("ann", "bob"));
  EXPECT_EQ(after_focus_moves, "Group : Chemists [ann* bob] [Administrator carl] remove");
  EXPECT_EQ(after_remove, "Group : Chemists [] [Administrator ann* bob* carl] add");
  EXPECT_THAT(StoredMembers("Chemists"), IsEmpty());
}

TEST_P(GroupDialogsTest, TheBuiltInGroupKeepsItsNameAndItsAdministrator) {
  GroupRecord admins;
  ASSERT_TRUE(manager().FindGroup("Administrators", &admins));
  admins.AddMember("ann");
  admins.AddMember("bob");
  manager().EditGroup("Administrators", admins);
  bool name_enabled = true, description_enabled = true;
  std::vector<std::string> rights;
  std::string after_remove;
  RunResult run = Run(Steps({Script("dialog 133"), Steps(Probe([&](Dialog& d) {
                               name_enabled = d.Item(g::kName)->IsWindowEnabled();
                               description_enabled = d.Item(g::kDescription)->IsWindowEnabled();
                             })),
                             Steps(SeeList(g::kRights, rights)),
                             Script("click 1004\ndialog 138\nselect 1016 Administrator\n"
                                    "select 1016 ann\nselect 1016 bob\nclick 1019"),
                             Steps(SeeChooser(after_remove)), Script("click 1\nclick 1")}),
                      [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, "ADMINISTRATORS"), 1); });
  EXPECT_FALSE(name_enabled || description_enabled);
  ASSERT_EQ(rights.size(), 26u);
  EXPECT_EQ(rights.back(), Right(25));
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t133\tGroup Properties", "dialog\t138\tGroup Membership",
                          StopBox(kManagerCaption,
                                  "The Administrator account must be a member "
                                  "of the Administrators group."),
                          "end\t138\t1", "end\t133\t1"));
  EXPECT_EQ(after_remove, "Group : Administrators [Administrator] [ann* bob* carl] add");
  EXPECT_THAT(StoredMembers("Administrators"), ElementsAre("Administrator"));
}

TEST_P(GroupDialogsTest, RightsListShowsEachRightOnceAfterTwoAssignments) {
  manager().AddGroup(GroupRecord("Chemists", ""));
  manager().CopyGroupRights("Chemists", "Administrators");  // every right
  RightRecord only_admins(4);
  only_admins.AddMember("Administrators");
  manager().EditRight(4, only_admins);
  std::vector<std::string> rights;
  Run(Steps({Script("dialog 133\n"
                    "click 1004\ndialog 138\nselect 1017 ann\nclick 1018\nclick 1\n"
                    "click 1004\ndialog 138\nselect 1017 bob\nclick 1018\nclick 1"),
             Steps(SeeList(g::kRights, rights)), Script("click 1")}),
      [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, "Chemists"), 1); });
  ASSERT_EQ(rights.size(), 25u);
  EXPECT_EQ(rights[3], Right(3));
  EXPECT_EQ(rights[4], Right(5));
  EXPECT_THAT(StoredMembers("Chemists"), UnorderedElementsAre("ann", "bob"));
}

TEST_P(GroupDialogsTest, NameChecksAndTheNameLimit) {
  RunResult run = Run(Script("dialog 133\nenter\n"
                             "type 1001 BOB\n"  // a user's name, in other case
                             "enter\ntype 1001 administrators\nenter\n"
                             "type 1001 abcdefghijklmnopqrstu\n"  // 21 characters
                             "enter"),
                      [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, std::nullopt), 1); });
  const std::string in_use = StopBox(
      kManagerCaption,
      "You specified a Group Name which is already in use by another user or group.\nChoose a "
      "Group Name which in not already in use by another user or group.");
  EXPECT_THAT(
      run.transcript,
      ElementsAre("dialog\t133\tGroup Properties",
                  StopBox(kManagerCaption, "You must type a valid Group Name for the group."),
                  in_use, in_use, "end\t133\t1"));
  EXPECT_TRUE(manager().FindGroup("abcdefghijklmnopqrst", nullptr));
  // Group names may hold any character.
  Run(Script("dialog 133\ntype 1001 Lab, floor 2.\nenter"),
      [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, std::nullopt), 1); });
  EXPECT_TRUE(manager().FindGroup("Lab, floor 2.", nullptr));
}

TEST_P(GroupDialogsTest, GroupRightsAssignmentsStayAfterEscape) {
  for (const char* name : {"Chemists", "Physicists"}) manager().AddGroup(GroupRecord(name, ""));
  std::string selected_right;
  std::vector<std::string> grants_at_start, rights_offered, grants_after;
  std::string chooser;
  RunResult run = Run(
      Steps({Script("dialog 136"), Steps(Probe([&](Dialog& d) {
               Control* combo = d.Item(group_rights_policy_ids::kRight);
               rights_offered = Entries(combo);
               selected_right = combo->GetText(combo->GetCurSel());
             })),
             Steps(SeeList(group_rights_policy_ids::kGrantList, grants_at_start)),
             Script("select 1014 " + Right(9) + "\nclick 1004\ndialog 138"),
             Steps(SeeChooser(chooser)),
             Script("select 1017 Chemists\nselect 1017 Physicists\nclick 1018\nclick 1"),
             Steps(SeeList(group_rights_policy_ids::kGrantList, grants_after)), Script("escape")}),
      [&] { EXPECT_EQ(manager().AdminRightsPolicy(nullptr), 0); });
  EXPECT_EQ(rights_offered.size(), 26u);
  EXPECT_EQ(selected_right, Right(0));
  EXPECT_THAT(grants_at_start, ElementsAre("Administrators"));
  EXPECT_EQ(chooser, "Right : " + Right(9) + " [Administrators] [Chemists Physicists]");
  EXPECT_THAT(grants_after, ElementsAre("Administrators", "Chemists", "Physicists"));
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t136\tGroup Rights Policy", "dialog\t138\tGroup Right Assignment",
                          "end\t138\t1", "end\t136\t2"));
  EXPECT_THAT(StoredGrants(9), UnorderedElementsAre("Administrators", "Chemists", "Physicists"));
  EXPECT_THAT(StoredGrants(8), ElementsAre("Administrators"));
  // Escape records no policy change; only the enquiry of right 0 is in the log.
  EXPECT_THAT(AuditEvents(), ElementsAre(::testing::StartsWith("Object Access: ")));
}

TEST_P(GroupDialogsTest, AdministratorsCannotLoseARightAndCloseIsOk) {
  manager().AddGroup(GroupRecord("Chemists", ""));
  RightRecord right(3);
  right.AddMember("Administrators");
  right.AddMember("Chemists");
  manager().EditRight(3, right);
  std::string after_remove;
  RunResult run = Run(Steps({Script("dialog 136\nselect 1014 " + Right(3) +
                                    "\nclick 1004\ndialog 138\nselect 1016 Administrators\n"
                                    "select 1016 Chemists\nclick 1019"),
                             Steps(SeeChooser(after_remove)), Script("click 1\nclick 1")}),
                      [&] { EXPECT_EQ(manager().AdminRightsPolicy(nullptr), 1); });
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t136\tGroup Rights Policy", "dialog\t138\tGroup Right Assignment",
                          StopBox(kManagerCaption, kGroupMustStay), "end\t138\t1", "end\t136\t1"));
  EXPECT_EQ(after_remove, "Right : " + Right(3) + " [Administrators] [Chemists*] add");
  EXPECT_THAT(StoredGrants(3), ElementsAre("Administrators"));
  EXPECT_EQ(AuditEvents().back(), "Policy Change: Group Rights policy modified.");
}

INSTANTIATE_TEST_SUITE_P(Backends, GroupDialogsTest, UiBackendRows(), UiBackendName);

}  // namespace
}  // namespace talmor::testing
