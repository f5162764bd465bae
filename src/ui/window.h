#pragma once

#include <map>
#include <memory>
#include <string>

// Window handles, window objects and the module state.
//
// A window handle is an opaque pointer-sized value (null = no window); what it names depends on
// the backend (a native window id, an HWND, a headless dialog). Window::FromHandle turns a handle
// into a Window object: the library's own open dialogs answer for their handles; any other handle
// gets a temporary object that the current module state keeps until its idle work releases it.
//
// The module state is the library's framework state: its application name (the caption of the
// framework's own message boxes), its open windows and its temporary window objects. A
// thread-local pointer names the current one; every export switches it with ModuleStateGuard.

namespace talmor {

using WindowHandle = void*;

class ModuleState;

class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  WindowHandle handle() const { return handle_; }
  // The handle of `window`, null for no window.
  static WindowHandle SafeHandle(const Window* window) {
    return window ? window->handle_ : nullptr;
  }

  // The window object for `handle` in the current module state; null for a null handle. The
  // object stays valid until the module's idle work (ModuleState::OnIdle) releases temporaries.
  static Window* FromHandle(WindowHandle handle);

 protected:
  // Makes this object the permanent window for `handle` in the current module state.
  void AttachHandle(WindowHandle handle);
  void DetachHandle();

 private:
  friend class ModuleState;
  WindowHandle handle_ = nullptr;
  ModuleState* registered_in_ = nullptr;
};

class ModuleState {
 public:
  explicit ModuleState(std::string app_name = "talmor.dll");
  ~ModuleState();
  ModuleState(const ModuleState&) = delete;
  ModuleState& operator=(const ModuleState&) = delete;

  const std::string& app_name() const { return app_name_; }
  void set_app_name(std::string name) { app_name_ = std::move(name); }

  // The window for `handle`: a permanent one if registered, else a temporary made on demand.
  Window* WindowFor(WindowHandle handle);
  size_t temporary_count() const { return temporaries_.size(); }
  void ReleaseTemporaryWindows() { temporaries_.clear(); }

  // The framework's idle work, called with 0, 1, 2... while it answers true: pass 0 asks for
  // another pass, pass 1 releases the temporary window objects and answers false.
  bool OnIdle(int count);

 private:
  friend class Window;
  void Register(Window* window);
  void Unregister(Window* window);

  std::string app_name_;
  std::map<WindowHandle, Window*> permanent_;
  std::map<WindowHandle, std::unique_ptr<Window>> temporaries_;
};

// The module state current on this thread: the innermost guard's, else the process default.
ModuleState& CurrentModuleState();

// Makes `state` current on this thread for the guard's lifetime; restores the previous one on
// every way out.
class ModuleStateGuard {
 public:
  explicit ModuleStateGuard(ModuleState& state);
  ~ModuleStateGuard();
  ModuleStateGuard(const ModuleStateGuard&) = delete;
  ModuleStateGuard& operator=(const ModuleStateGuard&) = delete;

 private:
  ModuleState* previous_;
};

}  // namespace talmor
