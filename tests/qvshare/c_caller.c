/* Compiled as C: the header must be valid C, and a C caller must reach the library. */
#include <string.h>

#include "qvshare.h"

int QVShareCallFromC(int slot, const char *text) {
  char buffer[64];
  memset(buffer, 'x', sizeof buffer);
  QVStatusSetString(slot, text);
  QVStatusGetString(slot, buffer, (int)sizeof buffer);
  return strcmp(buffer, text) == 0;
}
