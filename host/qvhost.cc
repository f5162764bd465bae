// qvhost: the demonstration and test host. With a display (and Qt) it opens a main window that
// offers everything a host does; without one it runs a short headless demonstration.
// `qvhost --screenshot FILE` logs on, saves a picture of the main window and quits.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "qvhost_demo.h"

#if defined(QVHOST_WITH_QT)
int RunMainWindow(int argc, char** argv);
#endif

namespace {

bool DisplayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const bool headless = (argc > 1 && std::strcmp(argv[1], "--headless") == 0);
  if (!headless && DisplayAvailable()) {
#if defined(QVHOST_WITH_QT)
    return RunMainWindow(argc, argv);
#else
    std::printf("qvhost: built without Qt.\n");
#endif
  }
  return RunHeadlessDemo();
}
