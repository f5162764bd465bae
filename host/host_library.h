#pragma once

#include <string>

#include "talmor32.h"

// The security library as a host loads it at run time: every export resolved by name.
struct HostLibrary {
  void* module = nullptr;
  TalmorFilterDllMsgFn FilterDllMsg = nullptr;
  TalmorProcessDllIdleFn ProcessDllIdle = nullptr;
  TalmorWindowFn SecurityLogin = nullptr;
  TalmorVoidFn SecurityLogoff = nullptr;
  TalmorVoidFn SecuritySave = nullptr;
  TalmorGetCurrentUserFn SecurityGetCurrentUser = nullptr;
  TalmorEnquireFn SecurityEnquire = nullptr;
  TalmorNoteFn SecurityNote = nullptr;
  TalmorEnquireFn SecurityEnquireNoAudit = nullptr;
  TalmorWindowFn SecurityAccountPolicy = nullptr;
  TalmorWindowFn SecurityRightsPolicy = nullptr;
  TalmorWindowFn SecurityAuditPolicy = nullptr;
  TalmorGetUserFn SecurityGetUser = nullptr;
  TalmorGetGroupFn SecurityGetGroup = nullptr;
  TalmorNamedFn SecurityEditUser = nullptr;
  TalmorNamedFn SecurityEditGroup = nullptr;
  TalmorNamedFn SecurityCopyUser = nullptr;
  TalmorNamedFn SecurityCopyGroup = nullptr;
  TalmorNamedFn SecurityDeleteUser = nullptr;
  TalmorNamedFn SecurityDeleteGroup = nullptr;
  TalmorGetRightFn SecurityGetRight = nullptr;
  TalmorWindowFn SecurityLogView = nullptr;
  TalmorVoidFn SecurityIndividualINI = nullptr;

  // Opens the library (TALMOR32_LIBRARY, else "libtalmor32.so" on the program's run path) and
  // resolves every export; false with `error` set when the library or an export is missing.
  bool Load(std::string& error);
  void Unload();
};
