#pragma once

#include "manager/security_app.h"

namespace talmor {

// The library's one application object. It is built when the library is loaded, which also
// starts it (InitInstance); unloading the library stops it (ExitInstance, nothing saved).
SecurityApp& TheApp();

}  // namespace talmor
