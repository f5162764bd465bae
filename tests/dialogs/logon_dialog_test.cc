#include "dialogs/logon_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "audit/audit_log_file.h"
#include "dialog_fixture.h"
#include "manager/host_status.h"
#include "resources/resource_ids.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kMainFailure =
    "Quorvane could not log you on. Make sure your\nusername is correct, then type your password "
    "again.\nPasswords are case sensitive, so please make sure\nthat Caps Lock is not "
    "accidentally on.";
constexpr const char* kAlternativeFailure =
    "Sarvento could not log you on. Make sure your\nusername is correct, then type your password "
    "again.\nPasswords are case sensitive, so please make sure\nthat Caps Lock is not "
    "accidentally on.";

class LogonDialogTest : public DialogScenario {
 protected:
  std::string ProfileText() {
    std::ifstream in(dir_.File("qvtalmor.ini"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_P(LogonDialogTest, RememberedNameFillsTheBoxAndPutsTheFocusOnThePassword) {
  WriteProfileString("qvtalmor.ini", "Login", "UserName", "administrator");
  int focus = 0;
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
  if (GetParam() == "headless") {
    // 254 by 58 units at base units 8 by 16 on a 1024 by 768 screen. Qt measures the template
    // font and its own screen, so only the rule above holds there.
    EXPECT_EQ(placed, (Rect{(1024 - 508) / 2, (768 - 116) / 3, (1024 - 508) / 2 + 508,
                            (768 - 116) / 3 + 116}));
  } else {
    EXPECT_GT(placed.width(), 254);  // more than one pixel a unit: the base units were applied
    EXPECT_GT(placed.height(), 58);
  }
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t1"));
  EXPECT_EQ(run.steps_left, 0u);
  EXPECT_EQ(manager().current_user(), "Administrator");
  EXPECT_EQ(ReadPublishedUserName(), "administrator");
}

TEST_P(LogonDialogTest, WithoutARememberedNameTheFocusStaysOnTheNameBox) {
  int focus = 0;
  RunResult run =
      Run(Steps({Script("dialog 130"), Steps(Probe([&](Dialog& d) { focus = d.GetFocusId(); }))}),
          [&] { EXPECT_EQ(manager().Login(nullptr), 0); });
  EXPECT_EQ(focus, logon_ids::kUserName);
  EXPECT_EQ(run.steps_left, 0u);
}

TEST_P(LogonDialogTest, FailedAttemptsKeepTheDialogOpenUntilTheRightPassword) {
  manager().AddUser(UserRecord("chemist", "", "", "Secret"));
  UserRecord disabled("locked", "", "", "pw");
  disabled.SetAccountDisabled(1);
  manager().AddUser(disabled);

  std::vector<std::string> typed_after_failure;
  RunResult run =
      Run(Steps({Script("dialog 130\n"
                        "type 1000 nobody\n"
                        "type 1001 Secret\n"
                        "enter\n"
                        "type 1000 chemist\n"
                        "type 1001 secret\n"  // case matters
                        "click 1\n"),
                 Steps(Probe([&](Dialog& d) {
                   typed_after_failure = {d.Item(logon_ids::kUserName)->GetWindowText(),
                                          d.Item(logon_ids::kPassword)->GetWindowText()};
                 })),
                 Script("type 1000 locked\n"
                        "type 1001 pw\n"
                        "enter\n"
                        "type 1000 CHEMIST\n"
                        "type 1001 Secret\n"
                        "enter\n")}),
          [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t130\tQuorvane Login", StopBox("Quorvane Login", kMainFailure),
                          StopBox("Quorvane Login", kMainFailure),
                          StopBox("Quorvane Login", kMainFailure), "end\t130\t1"));
  EXPECT_THAT(typed_after_failure, ElementsAre("chemist", "secret"));
  // Logged on under the stored name; remembered and published as typed.
  EXPECT_EQ(manager().current_user(), "chemist");
  EXPECT_EQ(GetProfileString("qvtalmor.ini", "Login", "UserName", "", 80), "CHEMIST");
  EXPECT_EQ(ReadPublishedUserName(), "CHEMIST");
  // The failed attempts inside the dialog leave no event of their own.
  AuditLogFile log;
  ASSERT_EQ(log.EventCount(), 1u);
  std::string date, time, source, user, description;
  ASSERT_TRUE(log.ReadEvent(0, date, time, source, user, description));
  EXPECT_EQ(source, "Logon/Logoff");
  EXPECT_EQ(user, "chemist");
  EXPECT_EQ(description, "Successful logon.");
}

TEST_P(LogonDialogTest, CancelLeavesTheUserTheProfileAndTheSlotAlone) {
  manager().AddUser(UserRecord("chemist", "", "", "Secret"));
  ASSERT_EQ(manager().LogInUser("chemist", "Secret"), 1);
  PublishUserName("chemist");
  WriteProfileString("qvtalmor.ini", "Login", "UserName", "chemist");

  for (const char* way : {"escape", "close", "click 2"}) {
    RunResult run = Run(Script(std::string("dialog 130\ntype 1000 Administrator\n"
                                           "type 1001 BlueHarbour\n") +
                               way),
                        [&] { EXPECT_EQ(manager().Login(nullptr), 0); });
    EXPECT_THAT(run.transcript, ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t2")) << way;
    EXPECT_EQ(manager().current_user(), "chemist") << way;
    EXPECT_EQ(GetProfileString("qvtalmor.ini", "Login", "UserName", "", 80), "chemist") << way;
    EXPECT_EQ(ReadPublishedUserName(), "chemist") << way;
  }
}

TEST_P(LogonDialogTest, TypingIsCutToTheBoxLimits) {
  manager().AddUser(UserRecord("abcdefghijklmnop", "", "", "12345678901234"));
  RunResult run = Run(Script("dialog 130\n"
                             "type 1000 abcdefghijklmnopXYZ\n"
                             "type 1001 12345678901234567\n"
                             "enter\n"),
                      [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t1"));
  EXPECT_EQ(manager().current_user(), "abcdefghijklmnop");
}

TEST_P(LogonDialogTest, AlternativeBrandingUsesItsTemplateCaptionAndMessage) {
  UseAlternativeBranding();
  RunResult run = Run(Script("dialog 139\n"
                             "type 1000 Administrator\n"
                             "type 1001 wrong\n"
                             "enter\n"
                             "type 1001 BlueHarbour\n"
                             "enter\n"),
                      [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t139\tSarvento Login",
                          StopBox("Sarvento Login", kAlternativeFailure), "end\t139\t1"));
  EXPECT_EQ(run.steps_left, 0u);
}

TEST_P(LogonDialogTest, AProfileThatCannotBeWrittenDoesNotUndoTheLogOn) {
  // A directory where the profile file should be: it can be neither read nor replaced.
  std::filesystem::create_directory(dir_.File("qvtalmor.ini"));
  RunResult run = Run(Script("dialog 130\n"
                             "type 1000 Administrator\n"
                             "type 1001 BlueHarbour\n"
                             "enter\n"),
                      [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t1"));
  EXPECT_EQ(manager().current_user(), "Administrator");
  EXPECT_EQ(ReadPublishedUserName(), "Administrator");
}

INSTANTIATE_TEST_SUITE_P(Backends, LogonDialogTest, ::testing::ValuesIn(DriverBackends()));

}  // namespace
}  // namespace talmor::testing
