/* A unit library that finds a unit but hands out the handle 0 for every channel. */
#include <stdint.h>

int open_dev(void) { return 1; }
intptr_t open_file(const char* name) {
  (void)name;
  return 0;
}
