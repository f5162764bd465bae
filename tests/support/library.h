#pragma once

// The built library opened with dlopen, as a host opens it. Open it in a child process
// (support/process.h): loading starts the library and the child's exit stops it.

#include <dlfcn.h>

namespace talmor::testing {

class Library {
 public:
  Library() : handle_(::dlopen(TALMOR32_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (handle_ != nullptr) ::dlclose(handle_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  void* handle() const { return handle_; }
  template <typename Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(::dlsym(handle_, name));
  }

 private:
  void* handle_;
};

}  // namespace talmor::testing
