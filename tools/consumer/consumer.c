/* A host built against the installed SDK: linked to the library (import library on Windows),
 * reads the rights and the built-in account. Prints "CONSUMER PASS" and exits with 0, or
 * "CONSUMER FAIL <step>" and exits with the step. */
#include <stdio.h>
#include <string.h>

#include "talmor32.h"

int main(void) {
  char text[64];
  int step = 0;
  if (SecurityGetRight(14, text, (int32_t)sizeof text) != 1) {
    step = 1;
  } else if (strcmp(text, "Start acquisitions") != 0) {
    step = 2;
  } else if (SecurityGetUser(0, text, (int32_t)sizeof text, NULL, 0, NULL, 0) != 1 ||
             strcmp(text, "Administrator") != 0) {
    step = 3;
  } else if (SecurityEnquireNoAudit(NULL, 0) != 0) {
    step = 4; /* nobody is logged on */
  }
  if (step == 0) {
    printf("CONSUMER PASS\n");
  } else {
    printf("CONSUMER FAIL %d\n", step);
  }
  return step;
}
