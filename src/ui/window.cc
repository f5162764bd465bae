#include "ui/window.h"

namespace talmor {
namespace {

thread_local ModuleState* current_state = nullptr;

ModuleState& DefaultModuleState() {
  static ModuleState state;
  return state;
}

}  // namespace

Window::~Window() { DetachHandle(); }

Window* Window::FromHandle(WindowHandle handle) {
  if (handle == nullptr) return nullptr;
  return CurrentModuleState().WindowFor(handle);
}

void Window::AttachHandle(WindowHandle handle) {
  DetachHandle();
  handle_ = handle;
  if (handle_ != nullptr) CurrentModuleState().Register(this);
}

void Window::DetachHandle() {
  if (registered_in_ != nullptr) registered_in_->Unregister(this);
  handle_ = nullptr;
}

ModuleState::ModuleState(std::string app_name) : app_name_(std::move(app_name)) {}

ModuleState::~ModuleState() {
  for (auto& [handle, window] : permanent_) window->registered_in_ = nullptr;
}

namespace {
class TemporaryWindow : public Window {
 public:
  TemporaryWindow() = default;
};
}  // namespace

Window* ModuleState::WindowFor(WindowHandle handle) {
  if (handle == nullptr) return nullptr;
  auto permanent = permanent_.find(handle);
  if (permanent != permanent_.end()) return permanent->second;
  auto& slot = temporaries_[handle];
  if (!slot) {
    slot = std::make_unique<TemporaryWindow>();
    slot->handle_ = handle;  // temporaries are not registered as permanent windows
  }
  return slot.get();
}

bool ModuleState::OnIdle(int count) {
  if (count <= 0) return true;
  ReleaseTemporaryWindows();
  return false;
}

void ModuleState::Register(Window* window) {
  permanent_[window->handle_] = window;
  window->registered_in_ = this;
  temporaries_.erase(window->handle_);
}

void ModuleState::Unregister(Window* window) {
  auto it = permanent_.find(window->handle_);
  if (it != permanent_.end() && it->second == window) permanent_.erase(it);
  window->registered_in_ = nullptr;
}

ModuleState& CurrentModuleState() {
  return current_state != nullptr ? *current_state : DefaultModuleState();
}

ModuleStateGuard::ModuleStateGuard(ModuleState& state) : previous_(current_state) {
  current_state = &state;
}

ModuleStateGuard::~ModuleStateGuard() { current_state = previous_; }

}  // namespace talmor
