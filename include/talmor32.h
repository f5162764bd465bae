/* The security manager's C interface: the 23 functions a host calls, by name or by ordinal.
 *
 * Valid C89 and later, C++98 and later. Every function is called from the host's user-interface thread, one call at
 * a time. Results are 1 for success, yes or found and 0 otherwise (SecurityIndividualINI gives
 * the option's value). Output strings go into caller buffers: at most size - 1 bytes and a zero
 * byte; a null buffer or a size below 1 is left untouched. A name argument counts as given only
 * when the pointer is not null and its length is above 0; it is read up to its zero byte.
 * Window handles: on Windows an HWND; elsewhere a top-level window's native id (an X11 window
 * id for the Qt backend) or any non-null value for the headless backend; null for none.
 *
 * On Windows the functions use the standard calling convention and are exported by the
 * undecorated names at the ordinals of TALMOR_ORDINALS below (base 2; 8, 9, 12 and 14 to 19 are
 * empty). On Linux the library is libtalmor32.so and only these names are in its symbol table. */
#ifndef TALMOR32_H_
#define TALMOR32_H_

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(_WIN32)
#define TALMOR_CALL __stdcall
#if defined(TALMOR_BUILDING)
#define TALMOR_API __declspec(dllexport)
#else
#define TALMOR_API __declspec(dllimport)
#endif
#else
#define TALMOR_CALL
#define TALMOR_API __attribute__((visibility("default")))
#endif

/* The helpers below are static functions: inline where the language has the word. */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define TALMOR_INLINE static inline
#elif defined(__GNUC__)
#define TALMOR_INLINE static __inline__
#elif defined(_MSC_VER)
#define TALMOR_INLINE static __inline
#else
#define TALMOR_INLINE static
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void *TalmorWindow;

/* The platform's message record (the layout of the Windows MSG structure). */
typedef struct TalmorPoint {
  int32_t x;
  int32_t y;
} TalmorPoint;

typedef struct TalmorMessage {
  TalmorWindow hwnd;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
  uint32_t time;
  TalmorPoint pt;
} TalmorMessage;

/* Ordinal 2: gives the library's windows the first look at a message of the host's loop.
 * Nonzero when one of them consumed it (the host must not dispatch it again). */
TALMOR_API int32_t TALMOR_CALL FilterDllMsg(TalmorMessage *message);
/* Ordinal 3: the library's idle work; call when the host's message queue has run empty. */
TALMOR_API void TALMOR_CALL ProcessDllIdle(void);

/* Log-on and log-off. */
TALMOR_API int32_t TALMOR_CALL SecurityLogin(TalmorWindow owner);                 /* 4 */
TALMOR_API int32_t TALMOR_CALL SecurityLogoff(void);                              /* 5 */
TALMOR_API int32_t TALMOR_CALL SecuritySave(void);                                /* 6 */
TALMOR_API int32_t TALMOR_CALL SecurityGetCurrentUser(char *name, int32_t name_size,
                                                      char *full_name, int32_t full_name_size,
                                                      char *description,
                                                      int32_t description_size); /* 7 */
TALMOR_API int32_t TALMOR_CALL SecurityIndividualINI(void);                       /* 33 */

/* Rights, enquiry and notes. A null window shows no refusal box. */
TALMOR_API int32_t TALMOR_CALL SecurityEnquire(TalmorWindow window, uint32_t right); /* 10 */
TALMOR_API int32_t TALMOR_CALL SecurityNote(uint32_t code, const char *category,
                                            int32_t reserved1, const char *description,
                                            int32_t reserved2);                      /* 11 */
TALMOR_API int32_t TALMOR_CALL SecurityEnquireNoAudit(TalmorWindow window,
                                                      uint32_t right);               /* 13 */
TALMOR_API int32_t TALMOR_CALL SecurityGetRight(uint32_t right, char *buffer,
                                                int32_t size);                       /* 31 */

/* Administration (right 0 required; dialogs owned by `owner`). */
TALMOR_API int32_t TALMOR_CALL SecurityAccountPolicy(TalmorWindow owner);          /* 20 */
TALMOR_API int32_t TALMOR_CALL SecurityRightsPolicy(TalmorWindow owner);           /* 21 */
TALMOR_API int32_t TALMOR_CALL SecurityAuditPolicy(TalmorWindow owner);            /* 22 */
TALMOR_API int32_t TALMOR_CALL SecurityGetUser(int32_t index, char *name, int32_t name_size,
                                               char *full_name, int32_t full_name_size,
                                               char *description,
                                               int32_t description_size);          /* 23 */
TALMOR_API int32_t TALMOR_CALL SecurityGetGroup(int32_t index, char *name, int32_t name_size,
                                                char *description,
                                                int32_t description_size);         /* 24 */
TALMOR_API int32_t TALMOR_CALL SecurityEditUser(TalmorWindow owner, const char *name,
                                                int32_t length);                   /* 25 */
TALMOR_API int32_t TALMOR_CALL SecurityEditGroup(TalmorWindow owner, const char *name,
                                                 int32_t length);                  /* 26 */
TALMOR_API int32_t TALMOR_CALL SecurityCopyUser(TalmorWindow owner, const char *name,
                                                int32_t length);                   /* 27 */
TALMOR_API int32_t TALMOR_CALL SecurityCopyGroup(TalmorWindow owner, const char *name,
                                                 int32_t length);                  /* 28 */
TALMOR_API int32_t TALMOR_CALL SecurityDeleteUser(TalmorWindow owner, const char *name,
                                                  int32_t length);                 /* 29 */
TALMOR_API int32_t TALMOR_CALL SecurityDeleteGroup(TalmorWindow owner, const char *name,
                                                   int32_t length);                /* 30 */
TALMOR_API int32_t TALMOR_CALL SecurityLogView(TalmorWindow owner);                /* 32 */

/* The export table: ordinal and name of each function, in ordinal order. */
#define TALMOR_ORDINAL_BASE 2
#define TALMOR_ORDINAL_LAST 33
#define TALMOR_EXPORT_COUNT 23

typedef struct TalmorOrdinal {
  int ordinal;
  const char *name;
} TalmorOrdinal;

static const TalmorOrdinal TALMOR_ORDINALS[TALMOR_EXPORT_COUNT] = {
    {2, "FilterDllMsg"},           {3, "ProcessDllIdle"},
    {4, "SecurityLogin"},          {5, "SecurityLogoff"},
    {6, "SecuritySave"},           {7, "SecurityGetCurrentUser"},
    {10, "SecurityEnquire"},       {11, "SecurityNote"},
    {13, "SecurityEnquireNoAudit"}, {20, "SecurityAccountPolicy"},
    {21, "SecurityRightsPolicy"},  {22, "SecurityAuditPolicy"},
    {23, "SecurityGetUser"},       {24, "SecurityGetGroup"},
    {25, "SecurityEditUser"},      {26, "SecurityEditGroup"},
    {27, "SecurityCopyUser"},      {28, "SecurityCopyGroup"},
    {29, "SecurityDeleteUser"},    {30, "SecurityDeleteGroup"},
    {31, "SecurityGetRight"},      {32, "SecurityLogView"},
    {33, "SecurityIndividualINI"},
};

/* The name exported at `ordinal`, or null for an empty or out-of-range ordinal. */
TALMOR_INLINE const char *TalmorExportName(int ordinal) {
  size_t i;
  for (i = 0; i < TALMOR_EXPORT_COUNT; ++i) {
    if (TALMOR_ORDINALS[i].ordinal == ordinal) return TALMOR_ORDINALS[i].name;
  }
  return NULL;
}

/* The ordinal of export `name`, or 0 for a name that is not exported. */
TALMOR_INLINE int TalmorExportOrdinal(const char *name) {
  size_t i;
  if (name == NULL) return 0;
  for (i = 0; i < TALMOR_EXPORT_COUNT; ++i) {
    if (strcmp(TALMOR_ORDINALS[i].name, name) == 0) return TALMOR_ORDINALS[i].ordinal;
  }
  return 0;
}

/* TalmorResolveOrdinal(module, ordinal): the address of the export at `ordinal` in a loaded
 * library, or null for an empty ordinal. On Linux `module` is a dlopen handle and the ordinal is
 * resolved through the table above; on Windows it is an HMODULE and the loader resolves the
 * ordinal itself (available when <windows.h> was included before this header). */
#if !defined(_WIN32)
#include <dlfcn.h>
TALMOR_INLINE void *TalmorResolveOrdinal(void *module, int ordinal) {
  const char *name = TalmorExportName(ordinal);
  return name != NULL ? dlsym(module, name) : NULL;
}
#elif defined(_WINDOWS_)
TALMOR_INLINE void *TalmorResolveOrdinal(HMODULE module, int ordinal) {
  /* Through a union: ISO C has no cast from a function pointer to void *. */
  union {
    FARPROC function;
    void *object;
  } address;
  if (TalmorExportName(ordinal) == NULL) return NULL;
  address.function = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
  return address.object;
}
#endif

/* Function pointer types, for hosts that load the library at run time. */
typedef int32_t(TALMOR_CALL *TalmorFilterDllMsgFn)(TalmorMessage *);
typedef void(TALMOR_CALL *TalmorProcessDllIdleFn)(void);
typedef int32_t(TALMOR_CALL *TalmorWindowFn)(TalmorWindow);
typedef int32_t(TALMOR_CALL *TalmorVoidFn)(void);
typedef int32_t(TALMOR_CALL *TalmorGetCurrentUserFn)(char *, int32_t, char *, int32_t, char *,
                                                     int32_t);
typedef int32_t(TALMOR_CALL *TalmorEnquireFn)(TalmorWindow, uint32_t);
typedef int32_t(TALMOR_CALL *TalmorNoteFn)(uint32_t, const char *, int32_t, const char *, int32_t);
typedef int32_t(TALMOR_CALL *TalmorGetUserFn)(int32_t, char *, int32_t, char *, int32_t, char *,
                                              int32_t);
typedef int32_t(TALMOR_CALL *TalmorGetGroupFn)(int32_t, char *, int32_t, char *, int32_t);
typedef int32_t(TALMOR_CALL *TalmorNamedFn)(TalmorWindow, const char *, int32_t);
typedef int32_t(TALMOR_CALL *TalmorGetRightFn)(uint32_t, char *, int32_t);

#ifdef __cplusplus
}
#endif

#endif /* TALMOR32_H_ */
