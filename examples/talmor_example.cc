// A small example of the library's core: shows where the data lives.
#include <cstdio>

#include "platform/data_directory.h"

int main() {
  std::printf("Data directory: %s\n", talmor::WindowsDirectory().c_str());
  return 0;
}
