#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audit/audit_log_file.h"
#include "dialog_fixture.h"
#include "dialogs/membership_dialog.h"
#include "manager/rights_catalogue.h"
#include "resources/resource_ids.h"

namespace talmor::testing {
namespace {

namespace g = group_properties_ids;
namespace m = membership_ids;
namespace r = group_rights_policy_ids;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

constexpr const char* kCaption = "Quorvane Security Manager";
constexpr const char* kAccountMustStay =
    "The Administrator account must be a member of the Administrators group.";
constexpr const char* kGroupMustStay =
    "Unable to remove access privilege from Administrators group.\nThis group must have full "
    "access rights.";

std::string Right(uint32_t n) { return std::string(RightName(n, false)); }

// What a probe saw of the membership dialog.
struct Chooser {
  std::string caption, heading;
  std::vector<std::string> members, non_members, selected_members, selected_non_members;
  bool add_enabled = false, remove_enabled = false;
};

Chooser SeeChooser(Dialog& d) {
  Chooser c;
  c.caption = d.GetWindowText();
  c.heading = d.Item(m::kHeading)->GetWindowText();
  c.members = Entries(d.Item(m::kMembers));
  c.non_members = Entries(d.Item(m::kNonMembers));
  c.selected_members = SelectedEntries(d.Item(m::kMembers));
  c.selected_non_members = SelectedEntries(d.Item(m::kNonMembers));
  c.add_enabled = d.Item(m::kAdd)->IsWindowEnabled();
  c.remove_enabled = d.Item(m::kRemove)->IsWindowEnabled();
  return c;
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
    LogOnAsAdministrator();
    for (const char* user : {"ann", "bob", "carl"}) manager().AddUser(UserRecord(user, "", "", ""));
  }
};

TEST_P(GroupDialogsTest, NewGroupGetsTwoUsersInOneClick) {
  Chooser opened, after_add;
  std::vector<std::string> members_shown;
  bool rights_enabled = true;
  RunResult run =
      Run(Steps({Script("dialog 133"), Steps(Probe([&](Dialog& d) {
                   rights_enabled = d.Item(g::kRights)->IsWindowEnabled() ||
                                    d.Item(g::kRightsLabel)->IsWindowEnabled();
                 })),
                 Script("type 1001 Chemists\nclick 1004\ndialog 138"),
                 Steps(Probe([&](Dialog& d) { opened = SeeChooser(d); })),
                 Script("select 1017 ann\nselect 1017 carl\nclick 1018"),
                 Steps(Probe([&](Dialog& d) { after_add = SeeChooser(d); })), Script("click 1"),
                 Steps(Probe([&](Dialog& d) { members_shown = Entries(d.Item(g::kMembers)); })),
                 Script("type 1002 Wet lab\nenter")}),
          [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, std::nullopt), 1); });
  EXPECT_FALSE(rights_enabled);
  EXPECT_EQ(opened.caption, "Group Membership");
  EXPECT_EQ(opened.heading, "Group : Chemists");
  EXPECT_THAT(opened.members, IsEmpty());
  EXPECT_THAT(opened.non_members, ElementsAre("Administrator", "ann", "bob", "carl"));
  EXPECT_FALSE(opened.add_enabled);
  EXPECT_FALSE(opened.remove_enabled);

  EXPECT_THAT(after_add.members, ElementsAre("ann", "carl"));
  EXPECT_THAT(after_add.selected_members, ElementsAre("ann", "carl"));
  EXPECT_THAT(after_add.non_members, ElementsAre("Administrator", "bob"));
  EXPECT_FALSE(after_add.add_enabled);
  EXPECT_TRUE(after_add.remove_enabled);

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

TEST_P(GroupDialogsTest, HeadingWithNothingTypedAndCancelledChooserChangeNothing) {
  Chooser opened;
  std::vector<std::string> members_shown;
  RunResult run =
      Run(Steps({Script("dialog 133\nclick 1004\ndialog 138"),
                 Steps(Probe([&](Dialog& d) { opened = SeeChooser(d); })),
                 Script("select 1017 bob\nclick 1018\nescape"),
                 Steps(Probe([&](Dialog& d) { members_shown = Entries(d.Item(g::kMembers)); })),
                 Script("escape")}),
          [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, std::nullopt), 0); });
  EXPECT_EQ(opened.heading, "Group : ");
  EXPECT_THAT(members_shown, IsEmpty());
  EXPECT_EQ(run.steps_left, 0u);
}

TEST_P(GroupDialogsTest, SelectionFollowsTheListWithTheFocusAndRemoveMovesNamesBack) {
  GroupRecord group("Chemists", "");
  for (const char* user : {"ann", "bob"}) group.AddMember(user);
  manager().AddGroup(group);
  Chooser both_selected, after_focus_moves, after_remove;
  Run(Steps({Script("dialog 133\nclick 1004\ndialog 138\n"
                    "select 1017 carl\n"
                    "select 1016 ann\n"),  // the focus moves: carl lets go
             Steps(Probe([&](Dialog& d) { after_focus_moves = SeeChooser(d); })),
             Script("select 1016 bob\nclick 1019"),
             Steps(Probe([&](Dialog& d) { after_remove = SeeChooser(d); })),
             Script("click 1\nclick 1")}),
      [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, "chemists"), 1); });
  EXPECT_THAT(after_focus_moves.selected_members, ElementsAre("ann"));
  EXPECT_THAT(after_focus_moves.selected_non_members, IsEmpty());
  EXPECT_FALSE(after_focus_moves.add_enabled);
  EXPECT_TRUE(after_focus_moves.remove_enabled);

  EXPECT_THAT(after_remove.members, IsEmpty());
  EXPECT_THAT(after_remove.non_members, ElementsAre("Administrator", "ann", "bob", "carl"));
  EXPECT_THAT(after_remove.selected_non_members, ElementsAre("ann", "bob"));
  EXPECT_TRUE(after_remove.add_enabled);
  EXPECT_FALSE(after_remove.remove_enabled);
  GroupRecord stored;
  ASSERT_TRUE(manager().FindGroup("Chemists", &stored));
  EXPECT_THAT(Members(stored), IsEmpty());
}

TEST_P(GroupDialogsTest, TheBuiltInGroupKeepsItsNameAndItsAdministrator) {
  GroupRecord admins;
  ASSERT_TRUE(manager().FindGroup("Administrators", &admins));
  admins.AddMember("ann");
  admins.AddMember("bob");
  manager().EditGroup("Administrators", admins);

  bool name_enabled = true, description_enabled = true;
  std::vector<std::string> rights;
  Chooser after_remove;
  RunResult run = Run(Steps({Script("dialog 133"), Steps(Probe([&](Dialog& d) {
                               name_enabled = d.Item(g::kName)->IsWindowEnabled();
                               description_enabled = d.Item(g::kDescription)->IsWindowEnabled();
                               rights = Entries(d.Item(g::kRights));
                             })),
                             Script("click 1004\ndialog 138\n"
                                    "select 1016 Administrator\n"
                                    "select 1016 ann\n"
                                    "select 1016 bob\n"
                                    "click 1019\n"),
                             Steps(Probe([&](Dialog& d) { after_remove = SeeChooser(d); })),
                             Script("click 1\nclick 1")}),
                      [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, "ADMINISTRATORS"), 1); });
  EXPECT_FALSE(name_enabled);
  EXPECT_FALSE(description_enabled);
  ASSERT_EQ(rights.size(), 26u);
  EXPECT_EQ(rights.front(), Right(0));
  EXPECT_EQ(rights.back(), Right(25));
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t133\tGroup Properties", "dialog\t138\tGroup Membership",
                          StopBox(kCaption, kAccountMustStay), "end\t138\t1", "end\t133\t1"));
  EXPECT_THAT(after_remove.members, ElementsAre("Administrator"));
  EXPECT_THAT(after_remove.selected_non_members, ElementsAre("ann", "bob"));
  GroupRecord stored;
  ASSERT_TRUE(manager().FindGroup("Administrators", &stored));
  EXPECT_THAT(Members(stored), ElementsAre("Administrator"));
}

TEST_P(GroupDialogsTest, RightsListShowsEachRightOnceAfterTwoAssignments) {
  GroupRecord group("Chemists", "");
  manager().AddGroup(group);
  manager().CopyGroupRights("Chemists", "Administrators");  // every right
  RightRecord only_admins(4);
  only_admins.AddMember("Administrators");
  manager().EditRight(4, only_admins);
  std::vector<std::string> rights;
  Run(Steps({Script("dialog 133\n"
                    "click 1004\ndialog 138\nselect 1017 ann\nclick 1018\nclick 1\n"
                    "click 1004\ndialog 138\nselect 1017 bob\nclick 1018\nclick 1\n"),
             Steps(Probe([&](Dialog& d) { rights = Entries(d.Item(g::kRights)); })),
             Script("click 1")}),
      [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, "Chemists"), 1); });
  ASSERT_EQ(rights.size(), 25u);
  EXPECT_EQ(rights[3], Right(3));
  EXPECT_EQ(rights[4], Right(5));
  GroupRecord stored;
  ASSERT_TRUE(manager().FindGroup("Chemists", &stored));
  EXPECT_THAT(Members(stored), UnorderedElementsAre("ann", "bob"));
}

TEST_P(GroupDialogsTest, NameChecksAndTheNameLimit) {
  RunResult run = Run(Script("dialog 133\n"
                             "enter\n"
                             "type 1001 BOB\n"  // a user's name, in other case
                             "enter\n"
                             "type 1001 administrators\n"
                             "enter\n"
                             "type 1001 abcdefghijklmnopqrstu\n"  // 21 characters
                             "enter\n"),
                      [&] { EXPECT_EQ(manager().AdminEditGroup(nullptr, std::nullopt), 1); });
  const std::string in_use =
      "You specified a Group Name which is already in use by another user or group.\nChoose a "
      "Group Name which in not already in use by another user or group.";
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t133\tGroup Properties",
                          StopBox(kCaption, "You must type a valid Group Name for the group."),
                          StopBox(kCaption, in_use), StopBox(kCaption, in_use), "end\t133\t1"));
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
  Chooser chooser;
  RunResult run =
      Run(Steps({Script("dialog 136"), Steps(Probe([&](Dialog& d) {
                   Control* combo = d.Item(r::kRight);
                   rights_offered = Entries(combo);
                   selected_right = combo->GetText(combo->GetCurSel());
                   grants_at_start = Entries(d.Item(r::kGrantList));
                 })),
                 Script("select 1014 " + Right(9) + "\nclick 1004\ndialog 138"),
                 Steps(Probe([&](Dialog& d) { chooser = SeeChooser(d); })),
                 Script("select 1017 Chemists\nselect 1017 Physicists\nclick 1018\nclick 1"),
                 Steps(Probe([&](Dialog& d) { grants_after = Entries(d.Item(r::kGrantList)); })),
                 Script("escape")}),
          [&] { EXPECT_EQ(manager().AdminRightsPolicy(nullptr), 0); });
  ASSERT_EQ(rights_offered.size(), 26u);
  for (uint32_t n = 0; n < 26; ++n) EXPECT_EQ(rights_offered[n], Right(n));
  EXPECT_EQ(selected_right, Right(0));
  EXPECT_THAT(grants_at_start, ElementsAre("Administrators"));
  EXPECT_EQ(chooser.caption, "Group Right Assignment");
  EXPECT_EQ(chooser.heading, "Right : " + Right(9));
  EXPECT_THAT(chooser.members, ElementsAre("Administrators"));
  EXPECT_THAT(chooser.non_members, ElementsAre("Chemists", "Physicists"));
  EXPECT_THAT(grants_after, ElementsAre("Administrators", "Chemists", "Physicists"));
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t136\tGroup Rights Policy", "dialog\t138\tGroup Right Assignment",
                          "end\t138\t1", "end\t136\t2"));
  RightRecord stored;
  ASSERT_TRUE(manager().FindRight(9, &stored));
  EXPECT_THAT(Members(stored), UnorderedElementsAre("Administrators", "Chemists", "Physicists"));
  // The other rights are untouched.
  ASSERT_TRUE(manager().FindRight(8, &stored));
  EXPECT_THAT(Members(stored), ElementsAre("Administrators"));
  // Escape records no policy change; only the enquiry of right 0 is in the log.
  AuditLogFile log;
  std::vector<std::string> sources;
  for (uint32_t i = 0; i < log.EventCount(); ++i) {
    std::string date, time, source, user, description;
    ASSERT_TRUE(log.ReadEvent(i, date, time, source, user, description));
    sources.push_back(source);
  }
  EXPECT_THAT(sources, ElementsAre("Object Access"));
}

TEST_P(GroupDialogsTest, AdministratorsCannotLoseARightAndCloseIsOk) {
  manager().AddGroup(GroupRecord("Chemists", ""));
  RightRecord right(3);
  right.AddMember("Administrators");
  right.AddMember("Chemists");
  manager().EditRight(3, right);
  Chooser after_remove;
  RunResult run = Run(Steps({Script("dialog 136\nselect 1014 " + Right(3) +
                                    "\nclick 1004\ndialog 138\n"
                                    "select 1016 Administrators\nselect 1016 Chemists\n"
                                    "click 1019"),
                             Steps(Probe([&](Dialog& d) { after_remove = SeeChooser(d); })),
                             Script("click 1\nclick 1")}),
                      [&] { EXPECT_EQ(manager().AdminRightsPolicy(nullptr), 1); });
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t136\tGroup Rights Policy", "dialog\t138\tGroup Right Assignment",
                          StopBox(kCaption, kGroupMustStay), "end\t138\t1", "end\t136\t1"));
  EXPECT_THAT(after_remove.members, ElementsAre("Administrators"));
  EXPECT_THAT(after_remove.selected_non_members, ElementsAre("Chemists"));
  RightRecord stored;
  ASSERT_TRUE(manager().FindRight(3, &stored));
  EXPECT_THAT(Members(stored), ElementsAre("Administrators"));
}

TEST_P(GroupDialogsTest, AlternativeBrandingCaptionsTheRefusals) {
  UseAlternativeBranding();
  RunResult run = Run(Script("dialog 136\nclick 1004\ndialog 138\n"
                             "select 1016 Administrators\nclick 1019\nescape\nescape"),
                      [&] { manager().AdminRightsPolicy(nullptr); });
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t136\tGroup Rights Policy", "dialog\t138\tGroup Right Assignment",
                          StopBox("Sarvento Security Manager", kGroupMustStay), "end\t138\t2",
                          "end\t136\t2"));
}

INSTANTIATE_TEST_SUITE_P(Backends, GroupDialogsTest, ::testing::ValuesIn(DriverBackends()));

}  // namespace
}  // namespace talmor::testing
