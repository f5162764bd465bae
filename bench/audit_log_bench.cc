// Audit log costs: one append through AuditLogFile against the same file operations written by
// hand, an append to a full log, and compaction of a large log.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "audit/audit_log_file.h"
#include "platform/data_directory.h"
#include "platform/file_system.h"

namespace talmor {
namespace {

const std::string& BenchDirectory() {
  static const std::string dir = [] {
    std::string templ = (std::filesystem::temp_directory_path() / "talmor-bench-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    ::setenv("QUORVANE_WINDIR", templ.c_str(), 1);
    return templ;
  }();
  return dir;
}

void RemovePair() {
  for (const char* name : {"QUORVANE.LOG", "QUORVANE.IDX", "QUORVANE.LO1", "bare.txt"}) {
    std::filesystem::remove(BenchDirectory() + "/" + name);
  }
}

const std::string kRecord = std::string(
    "04-Dec-2026\0"
    "14:05:09\0"
    "Logon/Logoff\0"
    "Administrator\0"
    "User logged off.\0",
    65);

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

// Writes a pair of `total` records of which the last `live` are indexed.
void BuildPair(uint32_t total, uint32_t live, uint32_t flags) {
  std::string data;
  data.reserve(size_t{total} * kRecord.size());
  for (uint32_t i = 0; i < total; ++i) data += kRecord;
  std::string idx;
  Put32(idx, AuditLogFile::kVersion);
  Put32(idx, 8);
  Put32(idx, live);
  Put32(idx, flags);
  for (uint32_t i = total - live; i < total; ++i) {
    Put32(idx, static_cast<uint32_t>(i * kRecord.size()));
    idx.push_back(static_cast<char>(kRecord.size()));
    idx.push_back(0);
    idx.push_back(0);
    idx.push_back(0);
  }
  std::ofstream(BenchDirectory() + "/QUORVANE.LOG", std::ios::binary | std::ios::trunc) << data;
  std::ofstream(BenchDirectory() + "/QUORVANE.IDX", std::ios::binary | std::ios::trunc) << idx;
}

void BM_BareOpenWriteClose(benchmark::State& state) {
  RemovePair();
  const std::string path = BenchDirectory() + "/bare.txt";
  FileSystem& fs = FileSystem::Default();
  for (auto _ : state) {
    auto file = fs.Open(path, OpenMode::kOpenOrCreate);
    file->Write(kRecord.data(), kRecord.size());
    file->Close();
  }
}
BENCHMARK(BM_BareOpenWriteClose);

// The floor: the operations an append needs, with nothing else.
void BM_HandWrittenAppend(benchmark::State& state) {
  RemovePair();
  BuildPair(1, 1, 0);
  FileSystem& fs = FileSystem::Default();
  const std::string dir = WindowsDirectory();
  const std::string log_path = JoinDataPath(dir, "\\QUORVANE.LOG");
  const std::string idx_path = JoinDataPath(dir, "\\QUORVANE.IDX");
  for (auto _ : state) {
    auto log = fs.Open(log_path, OpenMode::kReadWrite);
    auto idx = fs.Open(idx_path, OpenMode::kReadWrite);
    log->LockExclusive(std::chrono::milliseconds(2000));
    idx->LockExclusive(std::chrono::milliseconds(2000));
    unsigned char header[16];
    idx->Read(header, 16);
    uint32_t count = header[8] | header[9] << 8 | header[10] << 16 | uint32_t{header[11]} << 24;
    const uint64_t offset = log->SeekToEnd();
    log->Write(kRecord.data(), kRecord.size());
    unsigned char entry[8] = {static_cast<unsigned char>(offset),
                              static_cast<unsigned char>(offset >> 8),
                              static_cast<unsigned char>(offset >> 16),
                              static_cast<unsigned char>(offset >> 24),
                              65,
                              0,
                              0,
                              0};
    idx->Seek(16 + 8 * uint64_t{count});
    idx->Write(entry, 8);
    ++count;
    header[8] = static_cast<unsigned char>(count);
    header[9] = static_cast<unsigned char>(count >> 8);
    header[10] = static_cast<unsigned char>(count >> 16);
    header[11] = static_cast<unsigned char>(count >> 24);
    idx->Seek(0);
    idx->Write(header, 16);
    idx->Close();
    log->Close();
  }
}
BENCHMARK(BM_HandWrittenAppend);

void BM_AuditLogAppend(benchmark::State& state) {
  RemovePair();
  for (auto _ : state) {
    AuditLogFile log;
    log.SetMaxEvents(0xFFFFFFFF);
    benchmark::DoNotOptimize(log.AppendEvent("Logon/Logoff", "Administrator", "User logged off."));
  }
}
BENCHMARK(BM_AuditLogAppend);

void BM_AuditLogAppendNotFull30000(benchmark::State& state) {
  RemovePair();
  BuildPair(30000, 30000, 0);
  for (auto _ : state) {
    AuditLogFile log;
    log.SetMaxEvents(0xFFFFFFFF);
    benchmark::DoNotOptimize(log.AppendEvent("Logon/Logoff", "Administrator", "User logged off."));
  }
}
BENCHMARK(BM_AuditLogAppendNotFull30000);

void BM_AuditLogAppendFull30000(benchmark::State& state) {
  RemovePair();
  BuildPair(30000, 30000, 0);
  for (auto _ : state) {
    AuditLogFile log;
    log.SetMaxEvents(30000);
    log.SetOverwrite(true);
    benchmark::DoNotOptimize(log.AppendEvent("Logon/Logoff", "Administrator", "User logged off."));
  }
}
BENCHMARK(BM_AuditLogAppendFull30000);

void BM_AuditLogCompact30000(benchmark::State& state) {
  RemovePair();
  for (auto _ : state) {
    state.PauseTiming();
    BuildPair(60000, 30000, AuditLogFile::kFlagCompactionPending);
    state.ResumeTiming();
    AuditLogFile log;
    log.Compact();
    if (log.EventCount() != 30000 || log.flags() != 0) state.SkipWithError("compaction failed");
  }
  state.SetLabel("30,000 live events after 30,000 drops");
}
BENCHMARK(BM_AuditLogCompact30000)->Unit(benchmark::kMillisecond);

// Keeps the mean real time of each benchmark for the ratios printed at the end.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        times_[run.run_name.function_name] =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e6;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Microseconds(const std::string& name) const {
    auto it = times_.find(name);
    return it == times_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace
}  // namespace talmor

int main(int argc, char** argv) {
  using talmor::RecordingReporter;
  talmor::BenchDirectory();
  benchmark::Initialize(&argc, argv);
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double bare = reporter.Microseconds("BM_BareOpenWriteClose");
  const double floor = reporter.Microseconds("BM_HandWrittenAppend");
  const double append = reporter.Microseconds("BM_AuditLogAppend");
  const double not_full = reporter.Microseconds("BM_AuditLogAppendNotFull30000");
  const double full = reporter.Microseconds("BM_AuditLogAppendFull30000");
  const double compact = reporter.Microseconds("BM_AuditLogCompact30000");
  std::printf("\nbare open+write+close: %.1f us\n", bare);
  std::printf("hand-written append floor: %.1f us\n", floor);
  std::printf("AuditLogFile append: %.1f us, ratio to floor %.2f (target <= 1.5)\n", append,
              floor > 0 ? append / floor : 0.0);
  std::printf(
      "append at 30,000 events: not full %.1f us, full with overwrite %.1f us, ratio %.2f"
      " (target <= 3)\n",
      not_full, full, not_full > 0 ? full / not_full : 0.0);
  std::printf("compaction of 30,000 live events after 30,000 drops: %.1f ms (target < 100)\n",
              compact / 1000.0);
  benchmark::Shutdown();
  std::filesystem::remove_all(talmor::BenchDirectory());
  return 0;
}
