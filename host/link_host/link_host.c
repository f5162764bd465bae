/* A host that links TALMOR32.DLL through an import library, as a C caller of the header does,
 * so that the loader binds every export when the program starts. It uses no C runtime (only
 * kernel32), which lets any linker build it, logs on through the log-on dialog (run with the
 * headless backend and a script that fills it in), checks the logged-on user and logs off.
 * Prints "LINK HOST PASS" and exits with 0, or names the failing step and exits with it. */
#include <windows.h>

#include "talmor32.h"

static void Print(const char *text) {
  DWORD length = 0, written = 0;
  while (text[length] != '\0') ++length;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, NULL);
}

static int SameText(const char *a, const char *b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

static int Fail(int step) {
  char text[] = "LINK HOST FAIL step 00\n";
  text[20] = (char)('0' + step / 10);
  text[21] = (char)('0' + step % 10);
  Print(text);
  return step;
}

static int Run(void) {
  /* Every function is referenced, so that the import table names all of them. */
  void (*volatile all[TALMOR_EXPORT_COUNT])(void);
  char name[32], full_name[32], description[64];
  int i;
  all[0] = (void (*)(void))FilterDllMsg;
  all[1] = (void (*)(void))ProcessDllIdle;
  all[2] = (void (*)(void))SecurityLogin;
  all[3] = (void (*)(void))SecurityLogoff;
  all[4] = (void (*)(void))SecuritySave;
  all[5] = (void (*)(void))SecurityGetCurrentUser;
  all[6] = (void (*)(void))SecurityEnquire;
  all[7] = (void (*)(void))SecurityNote;
  all[8] = (void (*)(void))SecurityEnquireNoAudit;
  all[9] = (void (*)(void))SecurityAccountPolicy;
  all[10] = (void (*)(void))SecurityRightsPolicy;
  all[11] = (void (*)(void))SecurityAuditPolicy;
  all[12] = (void (*)(void))SecurityGetUser;
  all[13] = (void (*)(void))SecurityGetGroup;
  all[14] = (void (*)(void))SecurityEditUser;
  all[15] = (void (*)(void))SecurityEditGroup;
  all[16] = (void (*)(void))SecurityCopyUser;
  all[17] = (void (*)(void))SecurityCopyGroup;
  all[18] = (void (*)(void))SecurityDeleteUser;
  all[19] = (void (*)(void))SecurityDeleteGroup;
  all[20] = (void (*)(void))SecurityGetRight;
  all[21] = (void (*)(void))SecurityLogView;
  all[22] = (void (*)(void))SecurityIndividualINI;
  for (i = 0; i < TALMOR_EXPORT_COUNT; ++i) {
    if (all[i] == NULL) return Fail(1);
  }
  /* Stack arguments of every size go through: 0, 4, 8, 12 and 24 bytes. */
  ProcessDllIdle();
  if (SecurityEnquireNoAudit(NULL, 0) != 0) return Fail(2); /* nobody logged on yet */
  if (SecurityLogin(NULL) != 1) return Fail(3);
  if (SecurityGetCurrentUser(name, (int32_t)sizeof name, full_name, (int32_t)sizeof full_name,
                             description, (int32_t)sizeof description) != 1) {
    return Fail(4);
  }
  if (!SameText(name, "Administrator")) return Fail(5);
  if (SecurityEnquireNoAudit(NULL, 0) != 1) return Fail(6);
  if (SecurityGetRight(14, description, (int32_t)sizeof description) != 1 ||
      !SameText(description, "Start acquisitions")) {
    return Fail(7);
  }
  if (SecurityLogoff() != 1 || SecurityEnquireNoAudit(NULL, 0) != 0) return Fail(8);
  Print("LINK HOST PASS\n");
  return 0;
}

/* The program's entry point (no C runtime start-up). */
void link_host_start(void) { ExitProcess((UINT)Run()); }
