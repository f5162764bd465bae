// talmor_core gathers the subsystem libraries; it has no code of its own.
namespace talmor {
extern const int kCoreLibrary = 1;
}  // namespace talmor
