#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/ui_backends.h"
#include "ui/control.h"
#include "ui/headless_script.h"

// Drives the dialog scenarios on every user-interface backend under test with one operator
// (support/ui_backends.h): a scenario is a list of steps, operator actions in the headless
// script language and probes that look at the innermost open dialog when the operator reaches
// them (Step, Script, Probe, Steps; UiDriver::Run answers a RunResult).
namespace talmor::testing {

// "headless", and "qt" where the Qt backend is built and can start.
inline std::vector<std::string> DriverBackends() { return UiBackendsUnderTest(); }

// The driver for `backend`; null for a backend this build does not have.
inline std::unique_ptr<UiDriver> MakeDriver(const std::string& backend) {
  if (backend == "headless") return MakeUiDriver(backend);
#ifdef TALMOR_WITH_QT
  if (backend == "qt") return MakeUiDriver(backend);
#endif
  return nullptr;
}

// The texts of a list or combo box, in list order.
inline std::vector<std::string> Entries(Control* list) {
  std::vector<std::string> texts;
  if (list == nullptr) return texts;
  for (int i = 0; i < list->GetCount(); ++i) texts.push_back(list->GetText(i));
  return texts;
}

// The texts of the selected entries of an extended-selection list, in list order.
inline std::vector<std::string> SelectedEntries(Control* list) {
  std::vector<std::string> texts;
  if (list == nullptr) return texts;
  for (int index : list->GetSelItems()) texts.push_back(list->GetText(index));
  return texts;
}

// The transcript line of a stop box with OK, as the operator answers it.
inline std::string StopBox(const std::string& caption, const std::string& text) {
  return "msgbox\tstop\tok\t" + EscapeTranscriptText(caption) + "\t" + EscapeTranscriptText(text) +
         "\tok";
}

}  // namespace talmor::testing
