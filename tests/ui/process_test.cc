#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/temp_dir.h"
#include "ui/sample_dialogs.h"

namespace talmor::testing {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A host process driven by the script in the environment, as an unattended host runs: the
// transcript is appended by each process, and a process whose script is wrong still ends.
int RunHost(const TempDir& dir, const std::string& script) {
  {
    std::ofstream out(dir.File("script.txt"), std::ios::binary | std::ios::trunc);
    out << script;
  }
  pid_t pid = fork();
  if (pid == 0) {
    alarm(20);  // a hung dialog fails the test instead of blocking it
    setenv("TALMOR_UI", "headless", 1);
    setenv("TALMOR_UI_SCRIPT", dir.File("script.txt").c_str(), 1);
    setenv("TALMOR_UI_TRANSCRIPT", dir.File("transcript.txt").c_str(), 1);
    GroupDialog dialog;
    dialog.users_ = {"ann", "bob"};
    int result = dialog.DoModal();
    _exit(result == kIdOk ? 10 + static_cast<int>(dialog.members_.size()) : result);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HeadlessProcessTest, HostProcessesFollowTheirScriptsAndAppendTheTranscript) {
  TempDir dir;
  EXPECT_EQ(RunHost(dir,
                    "dialog 133\n"
                    "type 1001 Lab\n"
                    "click 1004\n"
                    "dialog 138\n"
                    "select 1017 bob\n"
                    "click 1018\n"
                    "enter\n"             // Add lost the focus when it was disabled: OK answers
                    "key 1001 Enter\n"),  // from the edit, Enter is the default button
            11);
  EXPECT_EQ(RunHost(dir,
                    "dialog 133\n"
                    "click 1004\n"
                    "dialog 136\n"  // the wrong dialog: reported, the chooser is cancelled
                    "click 1\n"),
            10);  // the group dialog still ends with OK, with no members
  EXPECT_EQ(ReadAll(dir.File("transcript.txt")),
            "dialog\t133\tGroup Properties\n"
            "dialog\t138\tGroup Membership\n"
            "end\t138\t1\n"
            "end\t133\t1\n"
            "dialog\t133\tGroup Properties\n"
            "dialog\t138\tGroup Membership\n"
            "error\tdialog 136 expected, dialog 138 shown\n"
            "end\t138\t2\n"
            "end\t133\t1\n");
}

}  // namespace
}  // namespace talmor::testing
