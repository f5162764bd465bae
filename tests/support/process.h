#pragma once

// Child processes for tests. A child is made by fork(), dies with its parent
// (PR_SET_PDEATHSIG) and is killed by SIGALRM at its deadline, so a hung test never leaves
// children spinning. Windows has no fork(): there a child never starts and Wait() gives -1.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace talmor::testing {

class Child {
 public:
  // Runs `body` in a new process; what it returns is the child's exit code.
  explicit Child(const std::function<int()>& body, unsigned deadline_seconds = 120) {
    std::fflush(nullptr);
#ifndef _WIN32
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ != 0) return;
#ifdef __linux__
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (::getppid() != parent) ::_exit(127);  // the parent died before the line above
    ::signal(SIGALRM, SIG_DFL);
    ::alarm(deadline_seconds);
    const int code = body();
    std::fflush(nullptr);
    ::_exit(code);
#else
    (void)body;
    (void)deadline_seconds;
#endif
  }
  ~Child() {
#ifndef _WIN32
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
#endif
  }
  Child(Child&& other) noexcept : pid_(std::exchange(other.pid_, -1)), code_(other.code_) {}
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The child's exit code; -1 when it was killed, hit its deadline or never started.
  int Wait() {
    Reap(0);
    return code_ == -2 ? -1 : code_;
  }
  // True once the child has ended (without waiting for it).
  bool Ended() {
    Reap(WNOHANG);
    return pid_ <= 0;
  }

 private:
  void Reap(int options) {
    if (pid_ <= 0) return;
    int status = 0;
    pid_t got;
    do {
      got = ::waitpid(pid_, &status, options);
    } while (got < 0 && errno == EINTR);
    if (got == 0) return;  // still running
    code_ = got == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
  }

  pid_t pid_ = -1;
  int code_ = -2;  // -2: not waited for
};

// Runs `body` in a child and waits: its exit code, or -1.
inline int RunInChild(const std::function<int()>& body, unsigned deadline_seconds = 120) {
  return Child(body, deadline_seconds).Wait();
}

// Reads with `read` while `write` runs in a child: every read must give `a` or `b` whole.
inline void ExpectWholeReadsDuring(const std::function<void()>& write,
                                   const std::function<std::string()>& read, const std::string& a,
                                   const std::string& b) {
  Child writer([&] {
    write();
    return 0;
  });
  int reads = 0, torn = 0;
  for (; !writer.Ended(); ++reads) {
    const std::string value = read();
    torn += value != a && value != b;
  }
  EXPECT_EQ(writer.Wait(), 0);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

// A child's exit code built step by step: returns `code` from the body when the check fails.
#define CHILD_STEP(condition, code)   \
  do {                                \
    if (!(condition)) return (code);  \
  } while (0)

}  // namespace talmor::testing
