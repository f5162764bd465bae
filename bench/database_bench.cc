// The security database at its sizing target: 10,000 users, 1,000 groups of 100 members, each
// right granted to 100 groups. Prints the memory the filled database takes, then times the
// enumeration by index (per user, at growing sizes) and the lookups by name.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "database/security_database.h"

namespace {

using talmor::GroupRecord;
using talmor::RightRecord;
using talmor::SecurityDatabase;
using talmor::UserRecord;

constexpr int kUsers = 10000;
constexpr int kGroups = 1000;
constexpr int kMembersPerGroup = 100;
constexpr int kGroupsPerRight = 100;

std::string UserName(int i) { return "user" + std::to_string(100000 + i); }
std::string GroupName(int i) { return "group" + std::to_string(10000 + i); }

std::unique_ptr<SecurityDatabase> Build(int users, int groups) {
  auto db = std::make_unique<SecurityDatabase>();
  std::mt19937 rng(7);
  for (int i = 0; i < users; ++i) {
    db->AddUser(UserRecord(UserName(i), "Full Name " + std::to_string(i), "Laboratory analyst",
                           "secret" + std::to_string(i)));
  }
  std::uniform_int_distribution<int> pick_user(0, users - 1);
  for (int g = 0; g < groups; ++g) {
    GroupRecord group(GroupName(g), "Group of analysts");
    while (static_cast<int>(group.Members().Count()) < kMembersPerGroup) {
      group.AddMember(UserName(pick_user(rng)));
    }
    db->AddGroup(group);
  }
  std::uniform_int_distribution<int> pick_group(0, groups - 1);
  for (int r = 0; r < 26 && groups > 0; ++r) {
    RightRecord right(r);
    while (static_cast<int>(right.Members().Count()) < kGroupsPerRight) {
      right.AddMember(GroupName(pick_group(rng)));
    }
    db->EditRight(r, right);
  }
  return db;
}

SecurityDatabase& Full() {
  static std::unique_ptr<SecurityDatabase> db = Build(kUsers, kGroups);
  return *db;
}

void BM_EnumerateUsers(benchmark::State& state) {
  const int users = static_cast<int>(state.range(0));
  auto db = Build(users, 0);
  UserRecord out;
  for (auto _ : state) {
    for (int i = 0; db->GetUserAt(i, &out); ++i) benchmark::DoNotOptimize(out);
  }
  state.counters["per_user"] = benchmark::Counter(
      users, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EnumerateUsers)->Arg(1000)->Arg(2000)->Arg(5000)->Arg(10000);

void BM_EnumerateGroups(benchmark::State& state) {
  SecurityDatabase& db = Full();
  GroupRecord out;
  for (auto _ : state) {
    for (int i = 0; db.GetGroupAt(i, &out); ++i) benchmark::DoNotOptimize(out);
  }
  state.counters["per_group"] = benchmark::Counter(
      kGroups, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EnumerateGroups);

void BM_FindUser(benchmark::State& state) {
  SecurityDatabase& db = Full();
  UserRecord out;
  int i = 0;
  for (auto _ : state) {
    // Upper case: the lookup ignores case.
    std::string name = "USER" + std::to_string(100000 + (i++ * 7919) % kUsers);
    benchmark::DoNotOptimize(db.FindUser(name, &out));
  }
}
BENCHMARK(BM_FindUser);

void BM_FindGroup(benchmark::State& state) {
  SecurityDatabase& db = Full();
  GroupRecord out;
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(db.FindGroup(GroupName((i++ * 31) % kGroups), &out));
  }
}
BENCHMARK(BM_FindGroup);

void BM_IsNameInUse(benchmark::State& state) {
  SecurityDatabase& db = Full();
  int i = 0;
  for (auto _ : state) {
    const int n = i++;
    // Alternately a free name, a user's and a group's.
    const std::string candidate = n % 3 == 0   ? "nobody" + std::to_string(n % 100)
                                  : n % 3 == 1 ? UserName(n % kUsers)
                                               : GroupName(n % kGroups);
    benchmark::DoNotOptimize(db.IsNameInUse(candidate, ""));
  }
}
BENCHMARK(BM_IsNameInUse);

void BM_IsUserInGroup(benchmark::State& state) {
  SecurityDatabase& db = Full();
  int i = 0;
  for (auto _ : state) {
    const int n = i++;
    benchmark::DoNotOptimize(db.IsUserInGroup(UserName((n * 13) % kUsers), GroupName(n % kGroups)));
  }
}
BENCHMARK(BM_IsUserInGroup);

// A user in no group: every granted group is looked up and tested, the slowest answer.
void BM_UserHoldsRightNo(benchmark::State& state) {
  SecurityDatabase& db = Full();
  int r = 0;
  for (auto _ : state) benchmark::DoNotOptimize(db.UserHoldsRight("stranger", r++ % 26));
}
BENCHMARK(BM_UserHoldsRightNo);

void BM_UserHoldsRightMixed(benchmark::State& state) {
  SecurityDatabase& db = Full();
  int i = 0;
  for (auto _ : state) {
    const int n = i++;
    benchmark::DoNotOptimize(db.UserHoldsRight(UserName((n * 7) % kUsers), n % 26));
  }
}
BENCHMARK(BM_UserHoldsRightMixed);

void BM_EditUserRename(benchmark::State& state) {
  SecurityDatabase& db = Full();
  // Renames a member of several groups back and forth: the cascade over every group.
  UserRecord a(UserName(5), "", "", ""), b("renamed", "", "", "");
  for (auto _ : state) {
    db.EditUser(UserName(5), b);
    db.EditUser("renamed", a);
  }
}
BENCHMARK(BM_EditUserRename);

}  // namespace

int main(int argc, char** argv) {
  const auto before = mallinfo2().uordblks;
  {
    auto db = Build(kUsers, kGroups);
    const auto after = mallinfo2().uordblks;
    std::printf("database of %d users, %d groups of %d members, %d groups per right: %.2f MB\n",
                kUsers, kGroups, kMembersPerGroup, kGroupsPerRight,
                static_cast<double>(after - before) / (1024.0 * 1024.0));
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
