#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/headless_script.h"

// The backend without a display: dialogs are driven by an operator (a script file named by
// TALMOR_UI_SCRIPT, or an Operator installed in-process) and what is shown is written to a
// transcript (TALMOR_UI_TRANSCRIPT, and the operator's Record).
//
// Controls keep their state as a toolkit would: disabled or hidden controls ignore actions
// (logged as `error`), typing is cut to an edit's limit, sorted lists sort, an automatic radio
// button unchecks the others of its group, Enter clicks the default push button, Escape clicks
// Cancel. Actions run against the innermost open dialog; a dialog whose actions run out (or
// whose next action is a `dialog` line) is cancelled as by Escape. A message box with only OK
// is answered OK unless the next action is `answer`; any other box takes the next `answer`, or
// else Cancel (No for a Yes/No box). Measures: 6 pixels per character, base units 8 by 16,
// list items 16 pixels high, screen 1024 by 768. Password edits appear in dumps as asterisks.

namespace talmor {

class HeadlessBackend : public Backend {
 public:
  HeadlessBackend() = default;
  ~HeadlessBackend() override;

  const char* Name() const override { return "headless"; }
  std::unique_ptr<DialogPeer> CreateDialogPeer(Dialog& dialog, const DialogTemplate& t,
                                               WindowHandle owner) override;
  int ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                     unsigned style) override;
  Size DialogBaseUnits() const override { return {8, 16}; }
  int TextWidth(std::string_view text) const override { return 6 * static_cast<int>(text.size()); }
  Size ScreenSize() const override { return {1024, 768}; }

  // An in-process operator for the headless backend, used instead of the script; null goes
  // back to TALMOR_UI_SCRIPT. Not owned.
  static void InstallOperator(Operator* op);
  // The innermost dialog open on the headless backend; null when none is open or while a
  // message box looks for its answer.
  static Dialog* InnermostDialog();

  // Writes one transcript line (the operator's Record and the transcript file).
  void Record(const std::string& line);
  Operator* CurrentOperator();
  int RunLoop(class HeadlessDialog& dialog);

 private:
  std::unique_ptr<ScriptOperator> script_;
  std::string script_path_;
};

// Scoped installation of an in-process operator.
class ScopedOperator {
 public:
  explicit ScopedOperator(Operator& op) { HeadlessBackend::InstallOperator(&op); }
  ~ScopedOperator() { HeadlessBackend::InstallOperator(nullptr); }
  ScopedOperator(const ScopedOperator&) = delete;
  ScopedOperator& operator=(const ScopedOperator&) = delete;
};

}  // namespace talmor
