// The library's C interface: each export runs its manager operation inside one frame that
// switches to the module's state, turns window handles into window objects and stops every
// exception at the boundary (the result is then 0).
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "exports/module.h"
#include "manager/security_manager.h"
#include "platform/bounded_copy.h"
#include "talmor32.h"
#include "ui/backend.h"
#include "ui/window.h"

namespace talmor {
namespace {

// Runs `operation` on the manager with the module state current; 0 when the library did not
// start or an exception escapes.
template <typename Operation>
int32_t Frame(Operation&& operation) {
  SecurityApp& app = TheApp();
  ModuleStateGuard guard(app.module_state());
  try {
    SecurityManager* manager = app.manager();
    if (manager == nullptr) return 0;
    return operation(*manager);
  } catch (...) {
    return 0;
  }
}

// The same without switching the module state.
template <typename Operation>
int32_t FrameWithoutModuleState(Operation&& operation) {
  try {
    SecurityManager* manager = TheApp().manager();
    if (manager == nullptr) return 0;
    return operation(*manager);
  } catch (...) {
    return 0;
  }
}

Window* WindowArg(TalmorWindow handle) { return Window::FromHandle(handle); }

// A name counts as given when the pointer is not null and the length above 0; the length says
// nothing else, the text ends at its zero byte.
std::optional<std::string_view> NameArg(const char* name, int32_t length) {
  if (name == nullptr || length <= 0) return std::nullopt;
  return std::string_view(name);
}

std::string_view TextArg(const char* text) { return text != nullptr ? text : std::string_view(); }

}  // namespace
}  // namespace talmor

using talmor::Frame;
using talmor::SecurityManager;

extern "C" {

TALMOR_API int32_t TALMOR_CALL FilterDllMsg(TalmorMessage* message) {
  talmor::SecurityApp& app = talmor::TheApp();
  talmor::ModuleStateGuard guard(app.module_state());
  try {
    if (message == nullptr) return 0;
    talmor::MessageRecord record{message->hwnd,  message->message, message->wParam,
                                 message->lParam, message->time,
                                 talmor::Point{message->pt.x, message->pt.y}};
    return app.PreTranslateMessage(record) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

TALMOR_API void TALMOR_CALL ProcessDllIdle(void) {
  talmor::SecurityApp& app = talmor::TheApp();
  talmor::ModuleStateGuard guard(app.module_state());
  try {
    for (int count = 0; app.OnIdle(count); ++count) {
    }
  } catch (...) {
  }
}

TALMOR_API int32_t TALMOR_CALL SecurityLogin(TalmorWindow owner) {
  return Frame([&](SecurityManager& m) { return m.Login(talmor::WindowArg(owner)); });
}

TALMOR_API int32_t TALMOR_CALL SecurityLogoff(void) {
  return Frame([&](SecurityManager& m) {
    m.Logoff();
    return 1;
  });
}

TALMOR_API int32_t TALMOR_CALL SecuritySave(void) {
  return Frame([&](SecurityManager& m) {
    m.Save();
    return 1;
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityGetCurrentUser(char* name, int32_t name_size,
                                                      char* full_name, int32_t full_name_size,
                                                      char* description,
                                                      int32_t description_size) {
  return Frame([&](SecurityManager& m) {
    std::string user, full, desc, password;
    const int result = m.GetCurrentUserRecord(user, full, desc, password);
    talmor::CopyToBuffer(user, name, name_size);
    talmor::CopyToBuffer(full, full_name, full_name_size);
    talmor::CopyToBuffer(desc, description, description_size);
    return result;
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityIndividualINI(void) {
  return Frame([&](SecurityManager& m) {
    m.CatchUp();  // the option as another process may have saved it
    return m.IndividualINI;
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityEnquire(TalmorWindow window, uint32_t right) {
  return Frame(
      [&](SecurityManager& m) { return m.Enquire(talmor::WindowArg(window), right, true); });
}

TALMOR_API int32_t TALMOR_CALL SecurityNote(uint32_t code, const char* category,
                                            int32_t /*reserved1*/, const char* description,
                                            int32_t /*reserved2*/) {
  return Frame([&](SecurityManager& m) {
    return m.Note(code, talmor::TextArg(category), talmor::TextArg(description));
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityEnquireNoAudit(TalmorWindow window, uint32_t right) {
  return Frame(
      [&](SecurityManager& m) { return m.Enquire(talmor::WindowArg(window), right, false); });
}

TALMOR_API int32_t TALMOR_CALL SecurityGetRight(uint32_t right, char* buffer, int32_t size) {
  return talmor::FrameWithoutModuleState(
      [&](SecurityManager& m) { return m.GetRightName(right, buffer, size); });
}

TALMOR_API int32_t TALMOR_CALL SecurityAccountPolicy(TalmorWindow owner) {
  return Frame([&](SecurityManager& m) { return m.AdminAccountPolicy(talmor::WindowArg(owner)); });
}

TALMOR_API int32_t TALMOR_CALL SecurityRightsPolicy(TalmorWindow owner) {
  return Frame([&](SecurityManager& m) { return m.AdminRightsPolicy(talmor::WindowArg(owner)); });
}

TALMOR_API int32_t TALMOR_CALL SecurityAuditPolicy(TalmorWindow owner) {
  return Frame([&](SecurityManager& m) { return m.AdminAuditPolicy(talmor::WindowArg(owner)); });
}

TALMOR_API int32_t TALMOR_CALL SecurityGetUser(int32_t index, char* name, int32_t name_size,
                                               char* full_name, int32_t full_name_size,
                                               char* description, int32_t description_size) {
  return Frame([&](SecurityManager& m) {
    std::string user, full, desc;
    const int result = m.GetUserStrings(index, user, full, desc);
    talmor::CopyToBuffer(user, name, name_size);
    talmor::CopyToBuffer(full, full_name, full_name_size);
    talmor::CopyToBuffer(desc, description, description_size);
    return result;
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityGetGroup(int32_t index, char* name, int32_t name_size,
                                                char* description, int32_t description_size) {
  return Frame([&](SecurityManager& m) {
    std::string group, desc;
    const int result = m.GetGroupStrings(index, group, desc);
    talmor::CopyToBuffer(group, name, name_size);
    talmor::CopyToBuffer(desc, description, description_size);
    return result;
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityEditUser(TalmorWindow owner, const char* name,
                                                int32_t length) {
  return Frame([&](SecurityManager& m) {
    return m.AdminEditUser(talmor::WindowArg(owner), talmor::NameArg(name, length));
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityEditGroup(TalmorWindow owner, const char* name,
                                                 int32_t length) {
  return Frame([&](SecurityManager& m) {
    return m.AdminEditGroup(talmor::WindowArg(owner), talmor::NameArg(name, length));
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityCopyUser(TalmorWindow owner, const char* name,
                                                int32_t length) {
  return Frame([&](SecurityManager& m) {
    return m.AdminCopyUser(talmor::WindowArg(owner), talmor::NameArg(name, length));
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityCopyGroup(TalmorWindow owner, const char* name,
                                                 int32_t length) {
  return Frame([&](SecurityManager& m) {
    return m.AdminCopyGroup(talmor::WindowArg(owner), talmor::NameArg(name, length));
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityDeleteUser(TalmorWindow owner, const char* name,
                                                  int32_t length) {
  return Frame([&](SecurityManager& m) {
    return m.AdminDeleteUser(talmor::WindowArg(owner), talmor::NameArg(name, length));
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityDeleteGroup(TalmorWindow owner, const char* name,
                                                   int32_t length) {
  return Frame([&](SecurityManager& m) {
    return m.AdminDeleteGroup(talmor::WindowArg(owner), talmor::NameArg(name, length));
  });
}

TALMOR_API int32_t TALMOR_CALL SecurityLogView(TalmorWindow owner) {
  return Frame([&](SecurityManager& m) { return m.AdminLogView(talmor::WindowArg(owner)); });
}

}  // extern "C"
