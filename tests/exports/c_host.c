/* A host written in C: loads the library, reaches its functions by ordinal through the header's
 * resolver and makes a few calls. Compiled as C, which proves the header valid C. */
#include <dlfcn.h>
#include <string.h>

#include "talmor32.h"

/* 0 when every step worked; otherwise the number of the first step that failed. */
int talmor_c_host_run(const char *library_path) {
  void *module = dlopen(library_path, RTLD_NOW | RTLD_LOCAL);
  char buffer[120];
  if (module == NULL) return 1;
  TalmorGetRightFn get_right = (TalmorGetRightFn)TalmorResolveOrdinal(module, 31);
  TalmorEnquireFn enquire = (TalmorEnquireFn)TalmorResolveOrdinal(module, 13);
  TalmorGetUserFn get_user = (TalmorGetUserFn)TalmorResolveOrdinal(module, 23);
  if (get_right == NULL || enquire == NULL || get_user == NULL) return 2;
  if (TalmorResolveOrdinal(module, 8) != NULL || TalmorResolveOrdinal(module, 34) != NULL) return 3;
  if (get_right(14, buffer, (int32_t)sizeof buffer) != 1) return 4;
  if (strcmp(buffer, "Start acquisitions") != 0) return 5;
  if (enquire(NULL, 0) != 0) return 6; /* nobody logged on */
  if (get_user(0, buffer, 14, NULL, 0, NULL, 0) != 1 || strcmp(buffer, "Administrator") != 0) return 7;
  if (TalmorExportOrdinal("SecurityLogView") != 32 || TalmorExportName(12) != NULL) return 8;
  dlclose(module);
  return 0;
}
