// Loading and saving a database of 10,000 users (about 6 MB of USERS.REC), and the manager's save
// of it. Reports the file bytes decoded or encoded per second as MB/s (bytes_per_second).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "database/security_database.h"
#include "manager/security_manager.h"
#include "storage/database_files.h"

namespace talmor {
namespace {

constexpr int kUsers = 10000;

class BenchDirectory {
 public:
  BenchDirectory() {
    std::string templ = (std::filesystem::temp_directory_path() / "talmor-bench-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    path_ = templ;
    ::setenv("QUORVANE_WINDIR", path_.c_str(), 1);
  }
  ~BenchDirectory() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::uint64_t TotalBytes() const {
    std::uint64_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      if (entry.is_regular_file()) total += entry.file_size();
    }
    return total;
  }

 private:
  std::string path_;
};

void FillDatabase(SecurityDatabase& db) {
  db.CopyContentFrom(SecurityDatabase());
  for (int i = 0; i < kUsers; ++i) {
    const std::string n = std::to_string(i);
    db.AddUser(UserRecord("operator" + n, "Bench Operator Number " + n,
                          "Night shift, laboratory " + std::to_string(i % 17) +
                              ", instrument bay " + std::to_string(i % 5),
                          "pass" + n + "word"));
  }
  for (int g = 0; g < 50; ++g) {
    GroupRecord group("Group" + std::to_string(g), "Bench group");
    for (int m = 0; m < 200; ++m) group.AddMember("operator" + std::to_string(g * 200 + m));
    db.AddGroup(group);
  }
  for (int r = 0; r < SecurityDatabase::kRightCount; ++r) {
    RightRecord right(r);
    for (int g = 0; g < 50; g += 3) right.AddMember("Group" + std::to_string(g));
    db.EditRight(r, right);
  }
}

void BM_SaveDatabase(benchmark::State& state) {
  BenchDirectory dir;
  SecurityDatabase db;
  FillDatabase(db);
  const SecurityOptions options;
  for (auto _ : state) SaveSecurityDatabase(db, options);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * dir.TotalBytes()));
}
BENCHMARK(BM_SaveDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();

// The manager's save with nobody else saving: the plain save plus the lock, the mark in the lock
// file and the copy kept as the base for later merges.
void BM_ManagerSaveNobodyElseSaved(benchmark::State& state) {
  BenchDirectory dir;
  ::setenv("QVSHARE_DIR", (dir.path() + "/share").c_str(), 1);
  SecurityManager manager;
  manager.StartUp();
  FillDatabase(manager);
  for (auto _ : state) manager.Save();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * dir.TotalBytes()));
}
BENCHMARK(BM_ManagerSaveNobodyElseSaved)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadDatabase(benchmark::State& state) {
  BenchDirectory dir;
  {
    SecurityDatabase db;
    FillDatabase(db);
    SaveSecurityDatabase(db, SecurityOptions{});
  }
  for (auto _ : state) {
    SecurityDatabase db;
    SecurityOptions options;
    LoadSecurityDatabase(db, options);
    benchmark::DoNotOptimize(db.UserCount());
    if (db.UserCount() != kUsers) state.SkipWithError("users missing after load");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * dir.TotalBytes()));
}
BENCHMARK(BM_LoadDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace talmor

BENCHMARK_MAIN();
