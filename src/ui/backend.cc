#include "ui/backend.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/environment.h"
#include "ui/headless_backend.h"

namespace talmor {
namespace {

struct Registration {
  std::string name;
  bool native = false;
  bool (*display_available)() = nullptr;
  BackendFactory factory = nullptr;
  std::unique_ptr<Backend> instance;
};

std::unique_ptr<Backend> MakeHeadless() { return std::make_unique<HeadlessBackend>(); }

struct Registry {
  std::mutex mutex;
  std::vector<Registration> entries;
  Registry() {
    Registration headless;
    headless.name = "headless";
    headless.factory = &MakeHeadless;
    entries.push_back(std::move(headless));
  }
};

Registry& GetRegistry() {
  static Registry registry;
  return registry;
}

Backend* override_backend = nullptr;

Backend& Instance(Registration& r) {
  if (!r.instance) r.instance = r.factory();
  return *r.instance;
}

}  // namespace

int ControlPeer::VisibleRows() const {
  const int item = GetItemHeight();
  return item > 0 ? std::max(1, GetClientSize().cy / item) : 1;
}

Rect MapDialogRect(const DialogRect& rect, Size base) {
  Rect r;
  r.left = rect.x * base.cx / 4;
  r.top = rect.y * base.cy / 8;
  r.right = (rect.x + rect.cx) * base.cx / 4;
  r.bottom = (rect.y + rect.cy) * base.cy / 8;
  return r;
}

Backend& ActiveBackend() {
  if (override_backend != nullptr) return *override_backend;
  Registry& registry = GetRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (const std::optional<std::string> wanted = EnvironmentValue("TALMOR_UI")) {
    for (Registration& r : registry.entries) {
      if (r.name == *wanted) return Instance(r);
    }
    // An unknown name falls back to headless: a host must never be left without dialogs.
    return Instance(registry.entries.front());
  }
  for (Registration& r : registry.entries) {
    if (r.native && r.display_available != nullptr && r.display_available()) return Instance(r);
  }
  return Instance(registry.entries.front());
}

void RegisterBackend(const std::string& name, bool native, bool (*display_available)(),
                     BackendFactory factory) {
  Registry& registry = GetRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  for (Registration& r : registry.entries) {
    if (r.name == name) {
      r.native = native;
      r.display_available = display_available;
      r.factory = factory;
      r.instance.reset();
      return;
    }
  }
  Registration r;
  r.name = name;
  r.native = native;
  r.display_available = display_available;
  r.factory = factory;
  registry.entries.push_back(std::move(r));
}

std::vector<std::string> RegisteredBackends() {
  Registry& registry = GetRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  std::vector<std::string> names;
  for (const Registration& r : registry.entries) names.push_back(r.name);
  return names;
}

ScopedBackend::ScopedBackend(Backend& backend) : previous_(override_backend) {
  override_backend = &backend;
}

ScopedBackend::~ScopedBackend() { override_backend = previous_; }

}  // namespace talmor
