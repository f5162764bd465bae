// Force-included into the core test programs when they are built for Windows: the few POSIX
// calls those tests use, on the Windows runtime. Processes cannot be forked on Windows; fork()
// fails with ENOSYS, and the tests that need a second process are left out of the Windows runs
// (tests/windows/excluded_tests.txt).
#pragma once

#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>

#ifdef __cplusplus
#include <string>
#endif

#ifndef _PID_T_
typedef int pid_t;
#endif

static inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name) != NULL) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

static inline int unsetenv(const char* name) {
  // An empty value removes the variable from the runtime's environment.
  return _putenv_s(name, "") == 0 ? 0 : -1;
}

// Replaces the trailing "XXXXXX" of `templ` and creates that directory.
static inline char* mkdtemp(char* templ) {
  const size_t length = strlen(templ);
  if (length < 6 || strcmp(templ + length - 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return NULL;
  }
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned seed = (unsigned)time(NULL) ^ ((unsigned)_getpid() << 16) ^ (unsigned)clock();
  for (int attempt = 0; attempt < 1000; ++attempt) {
    for (size_t i = length - 6; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      templ[i] = kLetters[(seed >> 16) % (sizeof kLetters - 1)];
    }
    if (_mkdir(templ) == 0) return templ;
    if (errno != EEXIST) return NULL;
  }
  return NULL;
}

static inline int pipe(int fds[2]) { return _pipe(fds, 4096, _O_BINARY); }

static inline pid_t fork(void) {
  errno = ENOSYS;
  return -1;
}

// Windows has no superuser whom file permissions do not stop.
static inline unsigned geteuid(void) { return 1000; }
