// Writes the fuzzers' seed corpora from files the library itself writes:
//   make_corpus <corpus directory>   (fills <dir>/<fuzzer>/seed-*)

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audit/audit_log_file.h"
#include "database/security_database.h"
#include "fuzz_support.h"
#include "platform/data_directory.h"
#include "platform/profile_file.h"
#include "storage/database_files.h"
#include "storage/record_writer.h"

using namespace talmor;

namespace {

std::string corpus_root;

void Seed(const std::string& fuzzer, const std::string& name, const std::string& bytes) {
  const std::string dir = corpus_root + "/" + fuzzer;
  std::filesystem::create_directories(dir);
  fuzz::WriteFile(dir + "/seed-" + name, bytes);
}

std::string DataFile(std::string_view name) { return fuzz::ReadFile(DataFilePath(name)); }

void DatabaseSeeds() {
  fuzz::FreshDataDirectory();
  SecurityDatabase empty;
  SaveSecurityDatabase(empty, SecurityOptions{});
  const std::vector<std::string> names = {std::string(kOptionsFileName), std::string(kRightsFileName),
                                          std::string(kGroupsFileName), std::string(kUsersFileName)};
  auto files = [&] {
    std::vector<std::string> parts;
    for (const auto& n : names) parts.push_back(DataFile(n));
    return parts;
  };
  Seed("database", "empty", fuzz::JoinInput(files()));

  SecurityDatabase db;
  for (int i = 0; i < 3; ++i) {
    UserRecord user("user" + std::to_string(i), "Full Name " + std::to_string(i), "d=x",
                    i == 1 ? "" : "secret");
    user.SetAccountDisabled(i == 2);
    user.SetCannotChangePassword(i == 0);
    db.AddUser(user);
  }
  GroupRecord group("Chemists", "Laboratory staff");
  group.AddMember("user0");
  group.AddMember("USER2");
  db.AddGroup(group);
  db.AddGroup(GroupRecord("Empty", ""));
  RightRecord right(7);
  right.AddMember("Chemists");
  db.EditRight(7, right);
  SecurityOptions options;
  options.AuditMaxEvents = 50;
  options.PasswordMinChars = -2;
  options.SecurityDisable = 1;
  SaveSecurityDatabase(db, options);
  const auto parts = files();
  Seed("database", "small", fuzz::JoinInput(parts));
  Seed("record_file", "options", parts[0]);
  Seed("record_file", "rights", parts[1]);
  Seed("record_file", "groups", parts[2]);
  Seed("record_file", "users", parts[3]);
}

void AuditSeeds() {
  fuzz::FreshDataDirectory();
  auto pair = [] {
    return fuzz::JoinInput({DataFile("\\QUORVANE.IDX"), DataFile("\\QUORVANE.LOG")});
  };
  {
    AuditLogFile log;
    log.AppendEvent("Security", "Administrator", "Logon");
  }
  Seed("audit_log", "one", std::string(1, '\0') + pair());
  {
    AuditLogFile log;
    for (int i = 0; i < 5; ++i) log.AppendEvent("Host", "user" + std::to_string(i), "event");
    log.RemoveEvent(2);
  }
  Seed("audit_log", "pending", std::string(1, '\3') + pair());
  {
    AuditLogFile log;
    log.Compact();
  }
  Seed("audit_log", "compacted", std::string(1, '\1') + pair());
}

void ProfileSeeds() {
  const std::string dir = fuzz::FreshDataDirectory();
  WriteProfileString("qvtalmor.ini", "Security", "User", "Administrator");
  WriteProfileString("qvtalmor.ini", "Options", "Directory", "C:\\DATA");
  WriteProfileString("qvtalmor.ini", "Security", "Enable", "\"1\"");
  const std::string content = fuzz::ReadFile(dir + "/qvtalmor.ini");
  // The provider takes the strings from the front ("\\ " ends one) and the size from the end.
  Seed("profile", "write", "Security\\ User\\ Analyst\\ Enable\\ " + content + "\x01\x00");
  Seed("profile", "new", "Audit\\ Level\\ 3\\ User\\ " + content + "\x00\x10");
  Seed("profile", "crlf", "options\\ directory\\ x\\ y\\ [Options]\r\nDirectory = 'D:\\X' \r\n; c\r\n\x40\x00");
}

void ScriptSeeds() {
  Seed("operator_script", "all",
       "# every action\n"
       "dialog 100\n"
       "type 1001 Analyst\\tone\\x41\\\\\n"
       "click 1\n  check 1002 # comment\nuncheck 1002\n"
       "select 1003 Chemists\nunselect 1003\ndblclick 1003 Chemists\n"
       "menu 32771\nkey 1003 PageDown\nscroll 1003 bottom\nresize 640 -480\n"
       "escape\nclose\ndump\nenter\nanswer yes\r\n"
       "bogus 1\nclick x\nkey 1 Sideways\nclick 1 trailing\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
    return 2;
  }
  corpus_root = argv[1];
  DatabaseSeeds();
  AuditSeeds();
  ProfileSeeds();
  ScriptSeeds();
  return 0;
}
