// The library's costs set beside what the same work costs done another way, in one run, with the
// ratios printed at the end:
//   - an audited enquiry against the hand-written floor of its file operations, a bare
//     open + write + close, and an SQLite insert of the same event done the same way (open,
//     insert, close per event; WAL with synchronous=NORMAL);
//   - loading and saving a database of 10,000 users against reading and writing the same bytes
//     (each file written to a temporary name, synced and renamed, as the save does);
//   - HasRight against a hash-set lookup of the user's name.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "audit/audit_log_file.h"
#include "manager/security_manager.h"
#include "platform/data_directory.h"
#include "platform/crypto.h"
#include "platform/file_system.h"
#include "storage/database_files.h"

namespace talmor {
namespace {

const std::string& Directory() {
  static const std::string dir = [] {
    std::string templ = (std::filesystem::temp_directory_path() / "talmor-peers-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    ::setenv("QUORVANE_WINDIR", templ.c_str(), 1);
    ::setenv("QVSHARE_DIR", (templ + "/share").c_str(), 1);
    return templ;
  }();
  return dir;
}

void RemoveLogs() {
  for (const char* name : {"QUORVANE.LOG", "QUORVANE.IDX", "QUORVANE.LO1", "bare.txt", "audit.db",
                           "audit.db-wal", "audit.db-shm"}) {
    std::filesystem::remove(Directory() + "/" + name);
  }
}

const char kSource[] = "Object Access";
const char kUser[] = "analyst";
const char kDescription[] = "Failed object access.\r\nAccess attempted : Start acquisitions";

// ---- The audited enquiry and its peers ----

void BM_AuditedEnquiry(benchmark::State& state) {
  Directory();
  RemoveLogs();
  SecurityManager manager;
  manager.AddUser(UserRecord(kUser, "", "", ""));
  manager.AuditMaxEvents = 0x7FFFFFFF;
  manager.LogInUser(kUser, "");
  for (auto _ : state) benchmark::DoNotOptimize(manager.Enquire(nullptr, 14, true));
}
BENCHMARK(BM_AuditedEnquiry);

std::string EventRecord() {
  std::string record = "06-Dec-2026";
  record.push_back('\0');
  for (const char* field : {"14:05:09", kSource, kUser, kDescription}) {
    record += field;
    record.push_back('\0');
  }
  return record;
}

void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The operations an append cannot do without: open and lock both files, read the header, write
// the record and its index entry, rewrite the header, close. `chained` adds the hash chain's step:
// open the side file, read its last step, hash the previous value with the new step and the
// record, write the 80-byte step.
void AppendFloor(benchmark::State& state, bool chained) {
  RemoveLogs();
  std::filesystem::remove(Directory() + "/QUORVANE.SIG");
  FileSystem& fs = FileSystem::Default();
  const std::string log_path = JoinDataPath(Directory(), "\\QUORVANE.LOG");
  const std::string idx_path = JoinDataPath(Directory(), "\\QUORVANE.IDX");
  const std::string sig_path = JoinDataPath(Directory(), "\\QUORVANE.SIG");
  {
    unsigned char header[16];
    Put32(header, AuditLogFile::kVersion);
    Put32(header + 4, 8);
    Put32(header + 8, 0);
    Put32(header + 12, 0);
    fs.Open(idx_path, OpenMode::kCreateTruncate)->Write(header, 16);
    fs.Open(log_path, OpenMode::kCreateTruncate);
    fs.Open(sig_path, OpenMode::kCreateTruncate)->Write(std::string(96, '\0').data(), 96);
  }
  const std::string record = EventRecord();
  for (auto _ : state) {
    auto log = fs.Open(log_path, OpenMode::kReadWrite);
    auto idx = fs.Open(idx_path, OpenMode::kReadWrite);
    log->LockExclusive(std::chrono::milliseconds(2000));
    idx->LockExclusive(std::chrono::milliseconds(2000));
    unsigned char header[16];
    idx->Read(header, 16);
    const uint32_t count = header[8] | header[9] << 8 | header[10] << 16 | uint32_t{header[11]} << 24;
    const uint64_t offset = log->SeekToEnd();
    if (chained) {
      auto sig = fs.Open(sig_path, OpenMode::kReadWrite);
      unsigned char step[80];
      sig->Seek(sig->SeekToEnd() - 80);
      sig->Read(step, 80);
      const Digest value = Sha256({ByteView(reinterpret_cast<const char*>(step) + 48, 32),
                                   ByteView(reinterpret_cast<const char*>(step), 48), record});
      std::memcpy(step + 48, value.data(), 32);
      sig->SeekToEnd();
      sig->Write(step, 80);
    }
    log->Write(record.data(), record.size());
    unsigned char entry[8] = {};
    Put32(entry, static_cast<uint32_t>(offset));
    entry[4] = static_cast<unsigned char>(record.size());
    entry[5] = static_cast<unsigned char>(record.size() >> 8);
    idx->Seek(16 + 8 * uint64_t{count});
    idx->Write(entry, 8);
    Put32(header + 8, count + 1);
    idx->Seek(0);
    idx->Write(header, 16);
    idx->Close();
    log->Close();
  }
}
void BM_HandWrittenAppendFloor(benchmark::State& state) { AppendFloor(state, false); }
BENCHMARK(BM_HandWrittenAppendFloor);
void BM_HandWrittenChainedAppendFloor(benchmark::State& state) { AppendFloor(state, true); }
BENCHMARK(BM_HandWrittenChainedAppendFloor);

void BM_BareOpenWriteClose(benchmark::State& state) {
  RemoveLogs();
  FileSystem& fs = FileSystem::Default();
  const std::string path = Directory() + "/bare.txt";
  const std::string record = EventRecord();
  for (auto _ : state) {
    auto file = fs.Open(path, OpenMode::kOpenOrCreate);
    file->SeekToEnd();
    file->Write(record.data(), record.size());
    file->Close();
  }
}
BENCHMARK(BM_BareOpenWriteClose);

void BM_SqliteInsertPerEvent(benchmark::State& state) {
  RemoveLogs();
  const std::string path = Directory() + "/audit.db";
  {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL;"
                 "CREATE TABLE events(date TEXT, time TEXT, source TEXT, user TEXT, "
                 "description TEXT);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  for (auto _ : state) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) state.SkipWithError("open");
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO events VALUES('06-Dec-2026', '14:05:09', ?, ?, ?)", -1,
                       &insert, nullptr);
    sqlite3_bind_text(insert, 1, kSource, -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, kUser, -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 3, kDescription, -1, SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) state.SkipWithError("insert");
    sqlite3_finalize(insert);
    sqlite3_close(db);
  }
}
BENCHMARK(BM_SqliteInsertPerEvent);

// ---- Database load and save ----

void FillDatabase(SecurityDatabase& db) {
  for (int i = 0; i < 10000; ++i) {
    const std::string n = std::to_string(i);
    db.AddUser(UserRecord("operator" + n, "Bench Operator Number " + n,
                          "Night shift, laboratory " + std::to_string(i % 17), "pass" + n));
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

const std::vector<std::string> kDatabaseFiles = {"OPTIONS.REC", "RIGHTS.REC", "GROUPS.REC",
                                                 "USERS.REC"};

// The saved files' contents, to read and write by hand.
std::map<std::string, std::string> SavedBytes() {
  static const std::map<std::string, std::string> bytes = [] {
    Directory();  // the data directory is chosen before the first save
    SecurityDatabase db;
    FillDatabase(db);
    SaveSecurityDatabase(db, SecurityOptions{});
    std::map<std::string, std::string> out;
    FileSystem& fs = FileSystem::Default();
    for (const std::string& name : kDatabaseFiles) {
      auto file = fs.Open(Directory() + "/" + name, OpenMode::kRead);
      std::string content(file->Length(), '\0');
      file->Read(content.data(), content.size());
      out[name] = content;
    }
    return out;
  }();
  return bytes;
}

void BM_SaveDatabase(benchmark::State& state) {
  SavedBytes();
  SecurityDatabase db;
  FillDatabase(db);
  for (auto _ : state) SaveSecurityDatabase(db, SecurityOptions{});
}
BENCHMARK(BM_SaveDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteSameBytes(benchmark::State& state) {
  const auto bytes = SavedBytes();
  FileSystem& fs = FileSystem::Default();
  for (auto _ : state) {
    for (const auto& [name, content] : bytes) {
      const std::string path = Directory() + "/" + name;
      auto file = fs.Open(path + ".tmp", OpenMode::kCreateTruncate);
      file->Write(content.data(), content.size());
      file->Sync();
      file->Close();
      fs.Rename(path + ".tmp", path);
    }
    fs.SyncDirectory(Directory());
  }
}
BENCHMARK(BM_WriteSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadDatabase(benchmark::State& state) {
  SavedBytes();
  for (auto _ : state) {
    SecurityDatabase db;
    SecurityOptions options;
    LoadSecurityDatabase(db, options);
    benchmark::DoNotOptimize(db.UserCount());
  }
}
BENCHMARK(BM_LoadDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadSameBytes(benchmark::State& state) {
  SavedBytes();
  FileSystem& fs = FileSystem::Default();
  for (auto _ : state) {
    for (const std::string& name : kDatabaseFiles) {
      auto file = fs.Open(Directory() + "/" + name, OpenMode::kRead);
      std::string content(file->Length(), '\0');
      file->Read(content.data(), content.size());
      benchmark::DoNotOptimize(content.data());
    }
  }
}
BENCHMARK(BM_ReadSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- The rights test ----

void BM_HasRight(benchmark::State& state) {
  SecurityManager manager;
  FillDatabase(manager);
  manager.LogInUser("operator1234", "pass1234");
  for (auto _ : state) benchmark::DoNotOptimize(manager.HasRight(14));
}
BENCHMARK(BM_HasRight);

void BM_HashSetLookupFloor(benchmark::State& state) {
  std::unordered_set<std::string> holders;
  for (int i = 0; i < 10000; i += 2) holders.insert("operator" + std::to_string(i));
  const std::string user = "operator1234";
  for (auto _ : state) benchmark::DoNotOptimize(holders.count(user));
}
BENCHMARK(BM_HashSetLookupFloor);

// Keeps each benchmark's time per iteration and prints the ratios after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        seconds_[run.run_name.function_name] = run.GetAdjustedRealTime() *
                                               (run.time_unit == benchmark::kMillisecond ? 1e-3 : 1e-9);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Ratios() const {
    std::printf("\nRatios (left / right):\n");
    Ratio("BM_AuditedEnquiry", "BM_HandWrittenAppendFloor");
    Ratio("BM_AuditedEnquiry", "BM_HandWrittenChainedAppendFloor");
    Ratio("BM_AuditedEnquiry", "BM_BareOpenWriteClose");
    Ratio("BM_SqliteInsertPerEvent", "BM_AuditedEnquiry");
    Ratio("BM_SaveDatabase", "BM_WriteSameBytes");
    Ratio("BM_LoadDatabase", "BM_ReadSameBytes");
    Ratio("BM_HasRight", "BM_HashSetLookupFloor");
  }

 private:
  void Ratio(const char* a, const char* b) const {
    auto x = seconds_.find(a), y = seconds_.find(b);
    if (x == seconds_.end() || y == seconds_.end() || y->second <= 0) return;
    std::printf("  %-26s / %-26s = %8.2f   (%.3g us / %.3g us)\n", a, b, x->second / y->second,
                x->second * 1e6, y->second * 1e6);
  }
  std::map<std::string, double> seconds_;
};

}  // namespace
}  // namespace talmor

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  talmor::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.Ratios();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(talmor::Directory(), ignored);  // the run's scratch data directory
  return 0;
}
