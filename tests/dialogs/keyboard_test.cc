// The keyboard on real Qt widgets: key presses sent to the widget that has Qt's focus, as a
// user's would arrive, move back round the dialog's tab order, reach controls by their
// mnemonics, and end the dialog with Enter (Escape is the driver's own key press everywhere).
#include <gtest/gtest.h>

#include "dialogs/account_policy_dialog.h"
#include "resources/resource_ids.h"
#include "support/ui_backends.h"

#ifdef TALMOR_WITH_QT
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

class QtKeyboardTest : public UiBackendTest {};

TEST_P(QtKeyboardTest, TabMnemonicsAndEnterWorkThroughTheDialog) {
  AccountPolicyDialog dialog(nullptr);
  dialog.values_.BlankPasswordOK = 1;
  dialog.values_.PasswordMinChars = 6;
  dialog.values_.SecurityDisable = 0;
  dialog.values_.IndividualINI = 1;
  std::vector<int> focus;
  bool min_enabled_before = true, min_enabled_after = false;
  int result = -1;
  RunResult run = Run(Steps({Script("dialog 135"), Steps(Probe([&](Dialog& d) {
                               focus.push_back(d.GetFocusId());
                               Press(Qt::Key_Backtab, Qt::ShiftModifier);  // round to the last
                               focus.push_back(d.GetFocusId());
                               min_enabled_before = d.Item(ids::kMinChars)->IsWindowEnabled();
                               Press(Qt::Key_L, Qt::AltModifier);  // "At &Least": the box enables
                               focus.push_back(d.GetFocusId());
                               min_enabled_after = d.Item(ids::kMinChars)->IsWindowEnabled();
                               Press(Qt::Key_Tab);  // into the box, its text selected
                               focus.push_back(d.GetFocusId());
                               Press(Qt::Key_9, Qt::NoModifier, "9");
                               Press(Qt::Key_D, Qt::AltModifier);  // the check box takes the focus
                               focus.push_back(d.GetFocusId());
                               Press(Qt::Key_Return);
                             }))}),
                      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(run.steps_left, 0u);
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(focus, (std::vector<int>{kIdOk, ids::kDisableSecurity, ids::kAtLeast, ids::kMinChars,
                                     ids::kDisableSecurity}));
  EXPECT_FALSE(min_enabled_before);
  EXPECT_TRUE(min_enabled_after);
  EXPECT_EQ(dialog.values_.BlankPasswordOK, 0);
  EXPECT_EQ(dialog.values_.PasswordMinChars, 9);
  EXPECT_EQ(dialog.values_.SecurityDisable, 1);
  EXPECT_EQ(dialog.values_.IndividualINI, 1);
}

INSTANTIATE_TEST_SUITE_P(Qt, QtKeyboardTest, ::testing::Values("qt"), UiBackendName);

}  // namespace
}  // namespace talmor::testing
#endif  // TALMOR_WITH_QT
