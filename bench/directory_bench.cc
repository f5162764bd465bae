// Directory log-on against a local slapd (ldaps, search account, three group mappings), and
// HasRight for the directory user once answered beside the same for a local member of the same
// group: the directory user's answer should cost no more than twice the local one.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "manager/security_manager.h"
#include "storage/database_files.h"
#include "support/slapd.h"

namespace talmor {
namespace {

struct Setup {
  TempDir dir;
  std::unique_ptr<testing::Slapd> server;
  std::unique_ptr<SecurityManager> manager;
};

// The server and a manager on a database where group Chemists holds right 3 and lists the local
// user "lena"; null when slapd is missing or does not start.
Setup* Lab() {
  static Setup* setup = [] {
    if (!testing::Slapd::Installed()) return static_cast<Setup*>(nullptr);
    static Setup lab;  // destroyed at exit: the server stops, the directory goes
    Setup* s = &lab;
    ::setenv("QUORVANE_WINDIR", s->dir.path().c_str(), 1);
    ::setenv("QVSHARE_DIR", s->dir.File("share").c_str(), 1);
    s->server = std::make_unique<testing::Slapd>();
    if (!s->server->ready()) return static_cast<Setup*>(nullptr);
    SecurityDatabase db;
    db.AddUser(UserRecord("lena", "", "", "lenapw"));
    GroupRecord chemists("Chemists", "");
    chemists.AddMember("lena");
    db.AddGroup(chemists);
    RightRecord right(3);
    right.AddMember("Chemists");
    db.EditRight(3, right);
    SaveSecurityDatabase(db, SecurityOptions{});
    s->server->Configure(s->dir.File("reader.secret"));
    s->manager = std::make_unique<SecurityManager>();
    s->manager->StartUp();
    return s;
  }();
  return setup;
}

void BM_DirectoryLogOn(benchmark::State& state) {
  Setup* lab = Lab();
  if (lab == nullptr) return state.SkipWithError("slapd is not installed or did not start");
  for (auto _ : state) {
    if (lab->manager->LogInUser("ann", "annpw") != 1) state.SkipWithError("log-on refused");
  }
}
BENCHMARK(BM_DirectoryLogOn)->Unit(benchmark::kMillisecond);

// HasRight(3) once answered, for `user` logged on with `password`.
void HasRightOnceAnswered(benchmark::State& state, const char* user, const char* password) {
  Setup* lab = Lab();
  if (lab == nullptr) return state.SkipWithError("slapd is not installed or did not start");
  if (lab->manager->LogInUser(user, password) != 1 || lab->manager->HasRight(3) != 1) {
    return state.SkipWithError("no right");
  }
  for (auto _ : state) benchmark::DoNotOptimize(lab->manager->HasRight(3));
}
void BM_HasRightDirectoryUser(benchmark::State& state) {
  HasRightOnceAnswered(state, "ann", "annpw");
}
void BM_HasRightLocalUser(benchmark::State& state) {
  HasRightOnceAnswered(state, "lena", "lenapw");
}
BENCHMARK(BM_HasRightDirectoryUser);
BENCHMARK(BM_HasRightLocalUser);

}  // namespace
}  // namespace talmor

BENCHMARK_MAIN();
