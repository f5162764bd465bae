#include "host_library.h"

#include <dlfcn.h>

#include <cstdlib>

namespace {

template <typename Fn>
bool Resolve(void* module, const char* name, Fn& out, std::string& error) {
  out = reinterpret_cast<Fn>(dlsym(module, name));
  if (out == nullptr) error = std::string("missing export ") + name;
  return out != nullptr;
}

}  // namespace

bool HostLibrary::Load(std::string& error) {
  const char* path = std::getenv("TALMOR32_LIBRARY");
  module = dlopen(path != nullptr && *path != '\0' ? path : "libtalmor32.so", RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    error = why != nullptr ? why : "cannot load libtalmor32.so";
    return false;
  }
  return Resolve(module, "FilterDllMsg", FilterDllMsg, error) &&
         Resolve(module, "ProcessDllIdle", ProcessDllIdle, error) &&
         Resolve(module, "SecurityLogin", SecurityLogin, error) &&
         Resolve(module, "SecurityLogoff", SecurityLogoff, error) &&
         Resolve(module, "SecuritySave", SecuritySave, error) &&
         Resolve(module, "SecurityGetCurrentUser", SecurityGetCurrentUser, error) &&
         Resolve(module, "SecurityEnquire", SecurityEnquire, error) &&
         Resolve(module, "SecurityNote", SecurityNote, error) &&
         Resolve(module, "SecurityEnquireNoAudit", SecurityEnquireNoAudit, error) &&
         Resolve(module, "SecurityAccountPolicy", SecurityAccountPolicy, error) &&
         Resolve(module, "SecurityRightsPolicy", SecurityRightsPolicy, error) &&
         Resolve(module, "SecurityAuditPolicy", SecurityAuditPolicy, error) &&
         Resolve(module, "SecurityGetUser", SecurityGetUser, error) &&
         Resolve(module, "SecurityGetGroup", SecurityGetGroup, error) &&
         Resolve(module, "SecurityEditUser", SecurityEditUser, error) &&
         Resolve(module, "SecurityEditGroup", SecurityEditGroup, error) &&
         Resolve(module, "SecurityCopyUser", SecurityCopyUser, error) &&
         Resolve(module, "SecurityCopyGroup", SecurityCopyGroup, error) &&
         Resolve(module, "SecurityDeleteUser", SecurityDeleteUser, error) &&
         Resolve(module, "SecurityDeleteGroup", SecurityDeleteGroup, error) &&
         Resolve(module, "SecurityGetRight", SecurityGetRight, error) &&
         Resolve(module, "SecurityLogView", SecurityLogView, error) &&
         Resolve(module, "SecurityIndividualINI", SecurityIndividualINI, error);
}

void HostLibrary::Unload() {
  if (module != nullptr) dlclose(module);
  module = nullptr;
}
