// The audit log viewer on a log of 30,000 events (the largest the policy allows), on the
// headless backend: opening it until its first batch is shown, and opening it then loading
// every event with the End key. Targets: 20 ms for the first batch, 500 ms for everything.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "audit/audit_export.h"
#include "audit/audit_log_file.h"
#include "thirty_thousand_events.h"
#include "audit/audit_log_viewer.h"
#include "resources/resource_ids.h"
#include "ui/backend.h"
#include "ui/dialog.h"
#include "ui/headless_backend.h"
#include "ui/headless_script.h"

namespace talmor {
namespace {

// Opens the viewer and, once it is shown, runs `action` (a script line, or none) and closes it;
// the time runs from construction until the close is asked for.
void OpenViewer(benchmark::State& state, const std::string& action, int expected_lines) {
  PrepareLog();
  HeadlessBackend backend;
  ScopedBackend scoped_backend(backend);
  for (auto _ : state) {
    bool acted = action.empty();
    int lines = -1;
    bool paused = false;
    FunctionOperator op([&](Dialog* d) -> std::optional<std::string> {
      if (d == nullptr) return std::nullopt;
      if (!acted) {
        acted = true;
        return action;
      }
      lines = d->Item(audit_log_viewer_ids::kList)->GetCount();
      if (!paused) state.PauseTiming();  // closing saves the profile: not part of showing
      paused = true;
      return "escape";
    });
    ScopedOperator scoped(op);
    {
      AuditLogViewer viewer(nullptr);
      viewer.DoModal();
    }
    if (paused) state.ResumeTiming();
    if (lines != expected_lines) {
      state.SkipWithError(("lines: " + std::to_string(lines)).c_str());
      break;
    }
  }
}

void BM_ViewerFirstBatch(benchmark::State& state) { OpenViewer(state, "", 60); }
void BM_ViewerLoadAll(benchmark::State& state) { OpenViewer(state, "key 1000 End", kEvents); }

// The reviewer's export of the whole log as CSV (target: 300 ms).
void BM_ExportCsv(benchmark::State& state) {
  PrepareLog();
  for (auto _ : state) {
    std::vector<ExportedEvent> events;
    std::string error;
    if (!ReadExportedEvents(ExportFilter{}, events, error)) state.SkipWithError(error.c_str());
    std::ostringstream out;
    WriteCsvHeader(out);
    for (const ExportedEvent& e : events) WriteCsvRow(out, e);
    benchmark::DoNotOptimize(out.str().size());
  }
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_ViewerFirstBatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerLoadAll)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talmor

BENCHMARK_MAIN();
