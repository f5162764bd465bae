// The rights test (with its look whether another process saved) and the audited access enquiry
// on a manager holding 10,000 users, 1,000 groups of 100 members and each right granted to 100
// groups. The audited enquiry is set beside its parts, an audit append of the same event and the
// rights test alone: it should cost no more than their sum and a tenth. Then the look itself.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "audit/audit_log_file.h"
#include "manager/security_manager.h"
#include "platform/profile_file.h"
#include "storage/database_files.h"

namespace talmor {
namespace {

constexpr int kUsers = 10000;
constexpr int kGroups = 1000;
constexpr int kMembersPerGroup = 100;
constexpr int kGroupsPerRight = 100;

std::string UserName(int i) { return "user" + std::to_string(100000 + i); }
std::string GroupName(int i) { return "group" + std::to_string(10000 + i); }

void UseScratchDirectory() {
  static const std::string dir = [] {
    std::string templ = (std::filesystem::temp_directory_path() / "talmor-bench-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    ::setenv("QUORVANE_WINDIR", templ.c_str(), 1);
    ::setenv("QVSHARE_DIR", (templ + "/share").c_str(), 1);
    return templ;
  }();
  for (const char* name : {"QUORVANE.LOG", "QUORVANE.IDX", "QUORVANE.LO1"}) {
    std::filesystem::remove(dir + "/" + name);
  }
}

SecurityManager& Manager() {
  static std::unique_ptr<SecurityManager> manager = [] {
    UseScratchDirectory();
    auto m = std::make_unique<SecurityManager>();
    std::mt19937 rng(11);
    for (int i = 0; i < kUsers; ++i) {
      m->AddUser(UserRecord(UserName(i), "Full Name", "Laboratory analyst", "pw"));
    }
    m->AddUser(UserRecord("stranger", "", "", "pw"));  // in no group
    m->AddUser(UserRecord("stranger2", "", "", "pw"));
    std::uniform_int_distribution<int> pick_user(0, kUsers - 1);
    for (int g = 0; g < kGroups; ++g) {
      GroupRecord group(GroupName(g), "");
      while (static_cast<int>(group.Members().Count()) < kMembersPerGroup) {
        group.AddMember(UserName(pick_user(rng)));
      }
      m->AddGroup(group);
    }
    std::uniform_int_distribution<int> pick_group(0, kGroups - 1);
    for (int r = 0; r < 26; ++r) {
      RightRecord right(r);
      while (static_cast<int>(right.Members().Count()) < kGroupsPerRight) {
        right.AddMember(GroupName(pick_group(rng)));
      }
      m->EditRight(r, right);
    }
    m->CreateBuiltInAccounts();
    m->AuditMaxEvents = INT_MAX;  // appends never overwrite
    return m;
  }();
  return *manager;
}

// A user who holds right `right` through the last group that grants it, so the test walks far.
std::string MemberOfLastGroup(SecurityManager& m, int right) {
  RightRecord record;
  m.FindRight(right, &record);
  std::string group_name;
  record.GetMemberAt(record.Members().Count() - 2, &group_name);  // the last is "Administrators"
  GroupRecord group;
  m.FindGroup(group_name, &group);
  std::string user;
  group.GetMemberAt(0, &user);
  return user;
}

void BM_HasRightMember(benchmark::State& state) {
  SecurityManager& m = Manager();
  const std::string user = MemberOfLastGroup(m, 14);
  m.LogInUser(user, "pw");
  for (auto _ : state) benchmark::DoNotOptimize(m.HasRight(14));
  if (!m.HasRight(14)) state.SkipWithError("member lacks the right");
}
BENCHMARK(BM_HasRightMember);

void BM_HasRightNonMember(benchmark::State& state) {
  SecurityManager& m = Manager();
  m.LogInUser("stranger", "pw");
  for (auto _ : state) benchmark::DoNotOptimize(m.HasRight(14));
  if (m.HasRight(14)) state.SkipWithError("non-member holds the right");
}
BENCHMARK(BM_HasRightNonMember);

// The first answer for a user: alternating between two users who are in no group makes every
// test walk all 101 groups of the right (the log-on costs one lookup more).
void BM_HasRightNonMemberFirstAnswer(benchmark::State& state) {
  SecurityManager& m = Manager();
  const char* users[] = {"stranger", "stranger2"};
  int n = 0;
  for (auto _ : state) {
    m.LogInUser(users[n++ & 1], "pw");
    benchmark::DoNotOptimize(m.HasRight(14));
  }
}
BENCHMARK(BM_HasRightNonMemberFirstAnswer);

void BM_AuditedEnquiry(benchmark::State& state) {
  SecurityManager& m = Manager();
  m.LogInUser("stranger", "pw");
  UseScratchDirectory();
  for (auto _ : state) benchmark::DoNotOptimize(m.Enquire(nullptr, 14, true));
}
BENCHMARK(BM_AuditedEnquiry);

// The audit append the enquiry makes, on its own.
void BM_EnquiryAppendAlone(benchmark::State& state) {
  UseScratchDirectory();
  const std::string description = "Failed object access.\r\nAccess attempted : Start acquisitions";
  for (auto _ : state) {
    AuditLogFile log;
    log.SetMaxEvents(INT_MAX);
    benchmark::DoNotOptimize(log.AppendEvent("Object Access", "stranger", description));
  }
}
BENCHMARK(BM_EnquiryAppendAlone);

// The audited enquiry with forwarding to the system log off and on: a receiver on a datagram
// socket of its own, drained by a thread as a log daemon would, takes every event.
void BM_AuditedEnquiryForwarding(benchmark::State& state) {
  UseScratchDirectory();
  const std::string socket_path = ProfileFilePath("qvtalmor.ini") + ".sock";
  ::unlink(socket_path.c_str());
  const int receiver = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
  if (::bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
  std::atomic<long> received{0};
  std::thread drain([&] {
    char buffer[8192];
    while (::recv(receiver, buffer, sizeof buffer, 0) > 0) ++received;
  });
  WriteProfileString("qvtalmor.ini", "AuditLog", "Socket", socket_path);
  WriteProfileString("qvtalmor.ini", "AuditLog", "Forward", state.range(0) ? "syslog" : "off");
  {
    SecurityManager m;
    m.StartUp();
    m.AuditMaxEvents = INT_MAX;
    m.AddUser(UserRecord("stranger", "", "", "pw"));
    m.LogInUser("stranger", "pw");
    for (auto _ : state) benchmark::DoNotOptimize(m.Enquire(nullptr, 14, true));
  }
  ::shutdown(receiver, SHUT_RDWR);
  drain.join();
  ::close(receiver);
  state.counters["received"] = static_cast<double>(received);
  DeleteProfileKey("qvtalmor.ini", "AuditLog", "Forward");
  DeleteProfileKey("qvtalmor.ini", "AuditLog", "Socket");
}
BENCHMARK(BM_AuditedEnquiryForwarding)->Arg(0)->Arg(1);

// The look whether another process saved, as HasRight and every other call makes it at most
// every SecurityManager::kCatchUpIntervalMs: one status query of the lock file, compared.
void BM_OtherSaveCheck(benchmark::State& state) {
  UseScratchDirectory();
  DatabaseLock().MarkSaved();
  const DatabaseStamp known = ReadDatabaseStamp();
  for (auto _ : state) benchmark::DoNotOptimize(ReadDatabaseStamp() == known);
}
BENCHMARK(BM_OtherSaveCheck);

}  // namespace
}  // namespace talmor

BENCHMARK_MAIN();
