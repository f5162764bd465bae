/* The host's shared library: numbered status strings that every process of the host (and of the
 * same user) can read, and the host presence lock that stands for the host's main window.
 *
 * Valid C and C++. On Linux the slots are files in a per-user share directory: $QVSHARE_DIR, else
 * $XDG_RUNTIME_DIR/qvshare, else /tmp/qvshare-<uid>, created 0700 when missing and refused (no
 * slot can be set, every slot reads as "", no presence can be taken) unless it is a directory of
 * this user's that group and others cannot enter.
 *
 * None of these calls reports failure: a slot that cannot be written keeps its old value, and
 * one that cannot be read reads as the empty string. */
#ifndef QVSHARE_H_
#define QVSHARE_H_

#if defined(_WIN32)
#if defined(QVSHARE_BUILDING)
#define QVSHARE_API __declspec(dllexport)
#else
#define QVSHARE_API __declspec(dllimport)
#endif
#else
#define QVSHARE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Sets status slot `slot` (any int) to `text`; a null text sets the empty string. Readers in any
 * process see either the old or the new string, never a mixture. */
QVSHARE_API void QVStatusSetString(int slot, const char *text);

/* Copies status slot `slot` into `buffer`: at most size - 1 bytes and a terminating zero byte.
 * A slot never set reads as "". A null buffer or a size below 1 writes nothing. */
QVSHARE_API void QVStatusGetString(int slot, char *buffer, int size);

/* Makes this process the running host: takes the exclusive lock on "QuorvaneWClass.lock" in the
 * share directory and keeps it until QVHostPresenceRelease or the end of the process. Returns 1
 * when this process holds it (also when it already did), 0 when another process holds it or the
 * directory is not usable. A child made by fork does not hold its parent's lock. */
QVSHARE_API int QVHostPresenceAcquire(void);

/* Gives up the lock taken by QVHostPresenceAcquire; nothing happens when it is not held. */
QVSHARE_API void QVHostPresenceRelease(void);

#ifdef __cplusplus
}
#endif

#endif /* QVSHARE_H_ */
