#include "dialogs/logon_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "manager/host_status.h"
#include "resources/resource_ids.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;

const std::string kFailure = StopBox(
    "Quorvane Login",
    "Quorvane could not log you on. Make sure your\nusername is correct, then type your "
    "password again.\nPasswords are case sensitive, so please make sure\nthat Caps Lock is not "
    "accidentally on.");

std::string RememberedName() {
  return GetProfileString("qvtalmor.ini", "Login", "UserName", "", 80);
}

class LogonDialogTest : public DialogScenario {};

TEST_P(LogonDialogTest, TheFocusStartsOnThePasswordOnlyWhenANameIsRemembered) {
  int focus = 0;
  Run(Steps({Script("dialog 130"), Steps(Probe([&](Dialog& d) { focus = d.GetFocusId(); }))}),
      [&] { EXPECT_EQ(manager().Login(nullptr), 0); });
  EXPECT_EQ(focus, logon_ids::kUserName);

  WriteProfileString("qvtalmor.ini", "Login", "UserName", "administrator");
  std::string shown_name;
  Rect placed;
  Size screen;
  bool topmost = false;
  RunResult run = Run(Steps({Script("dialog 130"), Steps(Probe([&](Dialog& d) {
                               focus = d.GetFocusId();
                               topmost = d.IsTopmost();
                               shown_name = d.Item(logon_ids::kUserName)->GetWindowText();
                               placed = d.GetWindowRect();
                               screen = d.ScreenSize();
                             })),
                             Script("type 1001 BlueHarbour\nenter")}),
                      [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_EQ(focus, logon_ids::kPassword);
  EXPECT_TRUE(topmost);
  EXPECT_EQ(shown_name, "administrator");
  // Centred across the screen, a third of the way down.
  EXPECT_EQ(placed.left, (screen.cx - placed.width()) / 2);
  EXPECT_EQ(placed.top, (screen.cy - placed.height()) / 3);
  EXPECT_GT(placed.width(), 254);  // more than one pixel a dialog unit: base units applied
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t1"));
  EXPECT_EQ(manager().current_user(), "Administrator");
  EXPECT_EQ(ReadPublishedUserName(), "administrator");
}

TEST_P(LogonDialogTest, FailedAttemptsKeepTheDialogOpenUntilTheRightPassword) {
  manager().AddUser(UserRecord("chemist", "", "", "Secret"));
  UserRecord disabled("locked", "", "", "pw");
  disabled.SetAccountDisabled(1);
  manager().AddUser(disabled);
  std::vector<std::string> typed_after_failure;
  RunResult run =
      Run(Steps({Script("dialog 130\ntype 1000 nobody\ntype 1001 Secret\nenter\n"
                        "type 1000 chemist\n"
                        "type 1001 secret\n"  // case matters
                        "click 1"),
                 Steps(Probe([&](Dialog& d) {
                   typed_after_failure = {d.Item(logon_ids::kUserName)->GetWindowText(),
                                          d.Item(logon_ids::kPassword)->GetWindowText()};
                 })),
                 Script("type 1000 locked\ntype 1001 pw\nenter\n"
                        "type 1000 CHEMIST\ntype 1001 Secret\nenter")}),
          [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t130\tQuorvane Login", kFailure, kFailure,
                                          kFailure, "end\t130\t1"));
  EXPECT_THAT(typed_after_failure, ElementsAre("chemist", "secret"));
  // Logged on under the stored name; remembered and published as typed.
  EXPECT_EQ(manager().current_user(), "chemist");
  EXPECT_EQ(RememberedName(), "CHEMIST");
  EXPECT_EQ(ReadPublishedUserName(), "CHEMIST");
  // The failed attempts inside the dialog leave no event of their own.
  EXPECT_THAT(AuditEvents(), ElementsAre("Logon/Logoff: Successful logon."));
}

TEST_P(LogonDialogTest, CancelLeavesTheUserTheProfileAndTheSlotAlone) {
  manager().AddUser(UserRecord("chemist", "", "", "Secret"));
  ASSERT_EQ(manager().LogInUser("chemist", "Secret"), 1);
  PublishUserName("chemist");
  WriteProfileString("qvtalmor.ini", "Login", "UserName", "chemist");
  for (const char* way : {"escape", "close", "click 2"}) {
    RunResult run = Run(
        Script(std::string("dialog 130\ntype 1000 Administrator\ntype 1001 BlueHarbour\n") + way),
        [&] { EXPECT_EQ(manager().Login(nullptr), 0); });
    EXPECT_THAT(run.transcript, ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t2")) << way;
    EXPECT_EQ(manager().current_user(), "chemist") << way;
    EXPECT_EQ(RememberedName(), "chemist") << way;
    EXPECT_EQ(ReadPublishedUserName(), "chemist") << way;
  }
}

TEST_P(LogonDialogTest, TypingIsCutToTheBoxLimits) {
  manager().AddUser(UserRecord("abcdefghijklmnop", "", "", "12345678901234"));
  Run(Script("dialog 130\ntype 1000 abcdefghijklmnopXYZ\ntype 1001 12345678901234567\nenter"),
      [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_EQ(manager().current_user(), "abcdefghijklmnop");
}

TEST_P(LogonDialogTest, AlternativeBrandingUsesItsTemplate) {
  UseAlternativeBranding();
  RunResult run = Run(Script("dialog 139\ntype 1000 Administrator\ntype 1001 BlueHarbour\nenter"),
                      [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t139\tSarvento Login", "end\t139\t1"));
}

TEST_P(LogonDialogTest, AProfileThatCannotBeWrittenDoesNotUndoTheLogOn) {
  // A directory where the profile file should be: it can be neither read nor replaced.
  std::filesystem::create_directory(dir_.File("qvtalmor.ini"));
  RunResult run = Run(Script("dialog 130\ntype 1000 Administrator\ntype 1001 BlueHarbour\nenter"),
                      [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t1"));
  EXPECT_EQ(manager().current_user(), "Administrator");
  EXPECT_EQ(ReadPublishedUserName(), "Administrator");
}

INSTANTIATE_TEST_SUITE_P(Backends, LogonDialogTest, UiBackendRows(), UiBackendName);

}  // namespace
}  // namespace talmor::testing
