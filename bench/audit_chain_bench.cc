// The hash chain's costs: an append with sealing on against one without (the chain is kept in
// both), and verifying a 30,000-event log with its side file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "audit/audit_chain.h"
#include "audit/audit_log_file.h"

namespace talmor {
namespace {

// A fresh directory, made the data directory.
std::string UseFreshDirectory() {
  std::string templ = (std::filesystem::temp_directory_path() / "talmor-bench-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) std::abort();
  ::setenv("QUORVANE_WINDIR", templ.c_str(), 1);
  return templ;
}

void Append(uint32_t max_events = 100000) {
  AuditLogFile log;
  log.SetMaxEvents(max_events);
  if (!log.AppendEvent("Object Access", "Administrator", "Object access granted.")) std::abort();
}

void BM_Append(benchmark::State& state) {
  const std::string dir = UseFreshDirectory();
  if (state.range(0) != 0) AuditChain::CreateSealingKey(dir, 900);
  for (auto _ : state) Append();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Append)->Arg(0)->Arg(1)->ArgName("sealed")->Iterations(20000);

void BM_Verify30000(benchmark::State& state) {
  const std::string dir = UseFreshDirectory();
  const std::string key = AuditChain::CreateSealingKey(dir, 900);
  for (int i = 0; i < 30000; ++i) Append();
  for (auto _ : state) {
    const ChainReport r = VerifyAuditChain(dir, key);
    if (r.status != ChainReport::Status::kIntact || r.events != 30000) std::abort();
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Verify30000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talmor

BENCHMARK_MAIN();
