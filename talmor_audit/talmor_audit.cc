// talmor-audit: checks the audit trail's hash chain and seals, and creates the sealing key.
//   talmor-audit verify [--key KEY] [DIR]   exit 0 intact, 1 tampered, 2 unreadable;
//                                           KEY "-" reads the key from the standard input
//   talmor-audit seal-init [DIR]            prints the verification key once
// DIR defaults to the data directory as the library finds it. The epoch length of a new key is
// 900 seconds, or QUORVANE_SEAL_EPOCH_SECONDS when set.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "audit/audit_chain.h"
#include "commands.h"
#include "platform/data_directory.h"
#include "platform/file_exception.h"

namespace {

using talmor::ChainReport;

constexpr int kIntact = 0;
constexpr int kTampered = 1;
constexpr int kUnreadable = 2;

int Usage() {
  std::fprintf(stderr,
               "usage: talmor-audit verify [--key KEY] [DIR]\n"
               "       talmor-audit seal-init [DIR]\n"
               "       talmor-audit export [--format csv|jsonl] [--since DATE] [--until DATE]\n"
               "                           [--user NAME] [--category TEXT] [--order oldest|newest] [DIR]\n"
               "       talmor-audit report --pdf FILE [the same filters] [DIR]\n");
  return kUnreadable;
}

std::string Directory(const std::vector<std::string>& rest) {
  return rest.empty() ? talmor::WindowsDirectory() : rest.front();
}

int Verify(std::vector<std::string> args) {
  std::optional<std::string> key;
  if (args.size() >= 2 && args[0] == "--key") {
    key = args[1];
    args.erase(args.begin(), args.begin() + 2);
    // "-" reads the key from the standard input, keeping it off the command line.
    if (*key == "-") {
      char line[256] = {};
      key = std::fgets(line, sizeof line, stdin) ? std::string(line) : std::string();
      while (!key->empty() && (key->back() == '\n' || key->back() == '\r')) key->pop_back();
    }
  }
  if (args.size() > 1) return Usage();
  const ChainReport r = talmor::VerifyAuditChain(Directory(args), key);
  for (const std::string& w : r.warnings) std::printf("warning: %s\n", w.c_str());
  for (const std::string& line : r.removals) std::printf("legitimate: %s\n", line.c_str());
  if (r.unlinked > 0) std::printf("%u event(s) are older than the chain\n", r.unlinked);
  if (r.seals_checked) {
    if (r.seals == 0) {
      std::printf("never sealed\n");
    } else {
      std::printf("last sealed %s\n", talmor::ChainTimeText(r.last_seal_time).c_str());
    }
    if (r.after_last_seal > 0) std::printf("%u event(s) after the last seal\n", r.after_last_seal);
  }
  switch (r.status) {
    case ChainReport::Status::kIntact:
      std::printf("intact: %u event(s)\n", r.events);
      return kIntact;
    case ChainReport::Status::kUnreadable:
      std::printf("unreadable: %s\n", r.detail.c_str());
      return kUnreadable;
    case ChainReport::Status::kTampered:
      break;
  }
  if (r.position >= 0) {
    std::printf("tampered: event %lld %s (%s %s, user %s)\n", static_cast<long long>(r.position),
                r.detail.c_str(), r.date.c_str(), r.time.c_str(), r.user.c_str());
  } else {
    std::printf("tampered: %s\n", r.detail.c_str());
  }
  return kTampered;
}

int SealInit(const std::vector<std::string>& args) {
  if (args.size() > 1) return Usage();
  unsigned long seconds = 900;
  if (const char* env = std::getenv("QUORVANE_SEAL_EPOCH_SECONDS"); env && *env) {
    seconds = std::strtoul(env, nullptr, 10);
    if (seconds == 0 || seconds > 0xFFFFFFFFul) return Usage();
  }
#ifndef _WIN32
  ::umask(077);  // the key file is created private (0600)
#endif
  try {
    const std::string key =
        talmor::AuditChain::CreateSealingKey(Directory(args), static_cast<uint32_t>(seconds));
    std::printf("sealing key created. Verification key (keep it elsewhere; it is not shown "
                "again):\n%s\n",
                key.c_str());
    return kIntact;
  } catch (const talmor::FileException&) {
    std::fprintf(stderr, "cannot create the sealing key (one may exist already)\n");
    return kUnreadable;
  }
}

#ifdef TALMOR_AUDIT_REPORT
// The chain check of the report's directory in one line, for the report's header.
int Report(const std::vector<std::string>& args) {
  ExportOptions options;
  std::string error;
  if (!ParseExportOptions(args, options, error)) return RunReport(args, "");
  const ChainReport r = talmor::VerifyAuditChain(
      options.directory.empty() ? talmor::WindowsDirectory() : options.directory, std::nullopt);
  std::string text;
  switch (r.status) {
    case ChainReport::Status::kIntact:
      text = r.side_file ? "intact, " + std::to_string(r.events) + " event(s) checked"
                         : "no hash chain beside this log (not checked)";
      if (!r.removals.empty()) text += ", " + std::to_string(r.removals.size()) + " legitimate removal(s)";
      break;
    case ChainReport::Status::kTampered:
      text = "TAMPERED: " + (r.position >= 0 ? "event " + std::to_string(r.position) + " " : "") + r.detail;
      break;
    case ChainReport::Status::kUnreadable:
      text = "unreadable: " + r.detail;
      break;
  }
  return RunReport(args, text);
}
#endif

struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
};

// Further commands join this table.
const Command kCommands[] = {
    {"verify", [](const std::vector<std::string>& a) { return Verify(a); }},
    {"seal-init", SealInit},
    {"export", RunExport},
#ifdef TALMOR_AUDIT_REPORT
    {"report", Report},
#endif
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string name = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& c : kCommands) {
    if (name == c.name) return c.run(args);
  }
  return Usage();
}
