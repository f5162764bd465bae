// The keyboard on real Qt widgets: key presses sent to the widget that has Qt's focus, as a
// user's would arrive, move through the dialog's tab order, reach controls by their mnemonics,
// and end the dialog with Enter and Escape.
#include <gtest/gtest.h>

#ifdef TALMOR_WITH_QT

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <algorithm>
#include <string>
#include <vector>

#include "dialogs/account_policy_dialog.h"
#include "dialogs/dialog_driver.h"
#include "resources/resource_ids.h"

namespace talmor::testing {
namespace {

namespace ids = account_policy_ids;

// Presses and releases `key` on the focus widget (else the active window).
void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
  QWidget* target = QApplication::focusWidget();
  if (target == nullptr) target = QApplication::activeWindow();
  ASSERT_NE(target, nullptr) << "no widget takes the keyboard";
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(target, &release);
}

class QtKeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<std::string> backends = DriverBackends();
    if (std::find(backends.begin(), backends.end(), "qt") == backends.end()) {
      GTEST_SKIP() << "Qt cannot start here";
    }
    driver_ = MakeDriver("qt");
    ASSERT_NE(driver_, nullptr);
  }

  int Run(AccountPolicyDialog& dialog, std::vector<Step> steps) {
    int result = -1;
    RunResult run = driver_->Run(std::move(steps), [&] { result = dialog.DoModal(); });
    EXPECT_EQ(run.steps_left, 0u);
    return result;
  }

  std::unique_ptr<UiDriver> driver_;
};

TEST_F(QtKeyboardTest, TabMnemonicsAndEnterWorkThroughTheDialog) {
  AccountPolicyDialog dialog(nullptr);
  dialog.values_.PasswordMinChars = 6;
  dialog.values_.BlankPasswordOK = 1;
  dialog.values_.SecurityDisable = 0;
  dialog.values_.IndividualINI = 1;
  std::vector<int> focus;
  bool min_enabled_before = true, min_enabled_after = false;
  const int result =
      Run(dialog, Steps({Script("dialog 135"), Steps(Probe([&](Dialog& d) {
                           focus.push_back(d.GetFocusId());
                           // Forward through every tab stop and round to the start, then back one.
                           for (int i = 0; i < 5; ++i) {
                             Press(Qt::Key_Tab);
                             focus.push_back(d.GetFocusId());
                           }
                           Press(Qt::Key_Backtab, Qt::ShiftModifier);
                           focus.push_back(d.GetFocusId());
                           min_enabled_before = d.Item(ids::kMinChars)->IsWindowEnabled();
                           // Alt+L: "At &Least" is clicked, which enables the minimum box.
                           Press(Qt::Key_L, Qt::AltModifier);
                           focus.push_back(d.GetFocusId());
                           min_enabled_after = d.Item(ids::kMinChars)->IsWindowEnabled();
                           // Tab into the box selects its text; typing replaces it.
                           Press(Qt::Key_Tab);
                           focus.push_back(d.GetFocusId());
                           Press(Qt::Key_9, Qt::NoModifier, "9");
                           // Alt+D: the check box is clicked and takes the focus.
                           Press(Qt::Key_D, Qt::AltModifier);
                           focus.push_back(d.GetFocusId());
                         })),
                         Steps(Probe([](Dialog&) { Press(Qt::Key_Return); }))}));
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(focus, (std::vector<int>{kIdOk, kIdCancel, ids::kPermitBlank, ids::kIndividualSettings,
                                     ids::kDisableSecurity, kIdOk, ids::kDisableSecurity,
                                     ids::kAtLeast, ids::kMinChars, ids::kDisableSecurity}));
  EXPECT_FALSE(min_enabled_before);
  EXPECT_TRUE(min_enabled_after);
  EXPECT_EQ(dialog.values_.BlankPasswordOK, 0);
  EXPECT_EQ(dialog.values_.PasswordMinChars, 9);
  EXPECT_EQ(dialog.values_.SecurityDisable, 1);
  EXPECT_EQ(dialog.values_.IndividualINI, 1);
}

TEST_F(QtKeyboardTest, EscapeCancelsWhateverTheKeysChanged) {
  AccountPolicyDialog dialog(nullptr);
  dialog.values_.PasswordMinChars = 6;
  dialog.values_.BlankPasswordOK = 0;
  dialog.values_.SecurityDisable = 0;
  int checked_after_alt_m = -1;
  const int result = Run(dialog, Steps({Script("dialog 135"), Steps(Probe([&](Dialog& d) {
                                          Press(Qt::Key_M, Qt::AltModifier);
                                          checked_after_alt_m =
                                              d.Item(ids::kIndividualSettings)->GetCheck();
                                          Press(Qt::Key_B, Qt::AltModifier);
                                        })),
                                        Steps(Probe([](Dialog&) { Press(Qt::Key_Escape); }))}));
  EXPECT_EQ(result, kIdCancel);
  EXPECT_EQ(checked_after_alt_m, 0);  // Alt+M clicked the check box off
  EXPECT_EQ(dialog.values_.BlankPasswordOK, 0);
  EXPECT_EQ(dialog.values_.PasswordMinChars, 6);
  EXPECT_EQ(dialog.values_.IndividualINI, 1);
}

}  // namespace
}  // namespace talmor::testing

#endif  // TALMOR_WITH_QT
