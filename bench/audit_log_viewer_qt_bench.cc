// The audit log viewer on a log of 30,000 events with the Qt backend on the off-screen platform:
// the End key pressed in its list until every event is in the list and the list has caught up
// with it (the layout, the scroll range and one paint). Target: under 300 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "audit/audit_log_file.h"
#include "thirty_thousand_events.h"
#include "audit/audit_log_viewer.h"
#include "resources/resource_ids.h"
#include "ui/backend.h"
#include "ui/dialog.h"
#include "ui/qt/qt_backend.h"

namespace talmor {
namespace {

void SendKey(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

void BM_ViewerEndQt(benchmark::State& state) {
  PrepareLog();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!QtBackend::DisplayAvailable()) return state.SkipWithError("Qt cannot start");
  static QtBackend* backend = new QtBackend();
  ScopedBackend scoped_backend(*backend);
  for (auto _ : state) {
    int lines = -1;
    QTimer::singleShot(0, [&] {
      QWidget* top = QApplication::activeModalWidget();
      auto* list = top ? top->findChild<QAbstractItemView*>("control-1000") : nullptr;
      Dialog* d = QtBackend::InnermostDialog();
      if (list == nullptr || d == nullptr) return;
      QApplication::processEvents();  // the first batch shown
      const auto start = std::chrono::steady_clock::now();
      SendKey(list, Qt::Key_End);
      QApplication::sendPostedEvents();
      list->viewport()->repaint();
      state.SetIterationTime(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      lines = d->Item(audit_log_viewer_ids::kList)->GetCount();
      SendKey(top, Qt::Key_Escape);
    });
    AuditLogViewer viewer(nullptr);
    viewer.DoModal();
    if (lines != kEvents) return state.SkipWithError(("lines: " + std::to_string(lines)).c_str());
  }
}

BENCHMARK(BM_ViewerEndQt)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace talmor

BENCHMARK_MAIN();
