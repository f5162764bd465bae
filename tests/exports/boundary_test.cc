// Every export under bad input: null pointers, sizes 0, 1 and negative, huge names and texts,
// wrong right numbers and indexes. Output buffers end right at a guard page, so any write past
// a buffer's stated size faults; the child process must come through every call.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "qvshare.h"
#include "support/data_dir.h"
#include "support/library.h"
#include "support/process.h"
#include "talmor32.h"

namespace talmor::testing {
namespace {

// `size` usable bytes that end where an inaccessible page begins.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size) : size_(size) {
    page_ = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t pages = (size + page_ - 1) / page_ + 1;
    length_ = pages * page_;
    void* map =
        ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = map == MAP_FAILED ? nullptr : static_cast<char*>(map);
    if (base_ != nullptr) ::mprotect(base_ + length_ - page_, page_, PROT_NONE);
    Fill();
  }
  ~GuardedBuffer() {
    if (base_ != nullptr) ::munmap(base_, length_);
  }
  char* data() const { return base_ + length_ - page_ - size_; }
  void Fill() {
    if (base_ != nullptr) std::memset(data(), '#', size_);
  }
  bool Untouched() const {
    for (size_t i = 0; i < size_; ++i) {
      if (data()[i] != '#') return false;
    }
    return true;
  }
  // A zero byte within the buffer.
  bool Terminated() const { return std::memchr(data(), '\0', size_) != nullptr; }

 private:
  size_t size_;
  size_t page_ = 0;
  size_t length_ = 0;
  char* base_ = nullptr;
};

#define STEP CHILD_STEP

int CallEverythingBadly() {
  Library lib;
  STEP(lib.loaded(), 1);
  auto sym = [&lib](const char* name) { return lib.Get<void*>(name); };
  auto get_current = reinterpret_cast<TalmorGetCurrentUserFn>(sym("SecurityGetCurrentUser"));
  auto get_user = reinterpret_cast<TalmorGetUserFn>(sym("SecurityGetUser"));
  auto get_group = reinterpret_cast<TalmorGetGroupFn>(sym("SecurityGetGroup"));
  auto get_right = reinterpret_cast<TalmorGetRightFn>(sym("SecurityGetRight"));
  auto enquire = reinterpret_cast<TalmorEnquireFn>(sym("SecurityEnquire"));
  auto no_audit = reinterpret_cast<TalmorEnquireFn>(sym("SecurityEnquireNoAudit"));
  auto note = reinterpret_cast<TalmorNoteFn>(sym("SecurityNote"));
  auto filter = reinterpret_cast<TalmorFilterDllMsgFn>(sym("FilterDllMsg"));
  auto idle = reinterpret_cast<TalmorProcessDllIdleFn>(sym("ProcessDllIdle"));

  const int sizes[] = {INT_MIN, -1, 0, 1, 2, 5};
  const int32_t indexes[] = {INT_MIN, -1, 0, 1, 2, 1000, INT_MAX};
  const uint32_t rights[] = {0, 3, 25, 26, 27, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};

  for (int size : sizes) {
    const size_t usable = size > 0 ? static_cast<size_t>(size) : 1;
    GuardedBuffer a(usable), b(usable), c(usable);
    // The buffer pointer is valid for `usable` bytes; sizes up to it are honoured.
    STEP(get_current(a.data(), size, b.data(), size, c.data(), size) == 1, 10);
    if (size < 1) STEP(a.Untouched() && b.Untouched() && c.Untouched(), 11);
    if (size >= 1) STEP(a.Terminated() && b.Terminated() && c.Terminated(), 12);
    STEP(get_current(nullptr, size, nullptr, size, nullptr, size) == 1, 13);
    for (int32_t index : indexes) {
      a.Fill();
      const int32_t found = get_user(index, a.data(), size, b.data(), size, c.data(), size);
      STEP(found == (index == 0 ? 1 : 0), 14);  // only the built-in account
      if (size < 1) STEP(a.Untouched(), 15);
      if (size >= 1) STEP(a.Terminated(), 16);
      STEP(get_group(index, a.data(), size, nullptr, size) == (index == 0 ? 1 : 0), 17);
    }
    for (uint32_t right : rights) {
      a.Fill();
      const int32_t copied = get_right(right, a.data(), size);
      STEP(copied == (right < 26 && size >= 1 ? 1 : 0), 18);
      if (!copied) STEP(a.Untouched(), 19);
      STEP(get_right(right, nullptr, size) == 0, 20);
    }
  }
  for (uint32_t right : rights) {
    STEP(enquire(nullptr, right) == (right < 26 ? 1 : 0), 30);
    STEP(no_audit(nullptr, right) == (right < 26 ? 1 : 0), 31);
  }

  const std::string huge(1 << 20, 'n');
  const uint32_t codes[] = {0, 1, 2, 3, 4, 5, 6, 0xFFFFFFFFu};
  for (uint32_t code : codes) {
    STEP(note(code, nullptr, -1, nullptr, INT_MIN) == 1, 40);
    STEP(note(code, huge.c_str(), 0, huge.c_str(), 0) == 1, 41);
    STEP(note(code, "", 0, "", 0) == 1, 42);
  }

  // The name-taking exports with null, empty and huge names and odd lengths. None of these
  // names exists; without a name the edits open a new user's or group's dialog, which the
  // missing operator script cancels (a null window: no refusal box either).
  const char* named[] = {"SecurityEditUser",  "SecurityEditGroup",  "SecurityCopyUser",
                         "SecurityCopyGroup", "SecurityDeleteUser", "SecurityDeleteGroup"};
  const int32_t lengths[] = {INT_MIN, -1, 0, 1, INT_MAX};
  for (const char* name : named) {
    auto fn = reinterpret_cast<TalmorNamedFn>(sym(name));
    for (int32_t length : lengths) {
      const int32_t with_null = fn(nullptr, nullptr, length);
      STEP(with_null == 0, 50);
      const bool edits = std::strncmp(name, "SecurityEdit", 12) == 0;
      if (!edits) STEP(fn(nullptr, huge.c_str(), length) == 0, 51);
    }
    STEP(fn(nullptr, huge.c_str(), 1) == 0, 52);
  }

  TalmorMessage message{};
  for (uint32_t id : {0u, 0x100u, 0x101u, 0x102u, 0x200u, 0xFFFFFFFFu}) {
    message.message = id;
    message.hwnd = reinterpret_cast<TalmorWindow>(uintptr_t{id});
    STEP(filter(&message) == 0, 60);
  }
  STEP(filter(nullptr) == 0, 61);
  idle();
  return 0;
}

using Boundary = DataDirTest;

TEST_F(Boundary, EveryExportComesThroughBadArgumentsWithoutWritingOutsideABuffer) {
  ScopedEnv ui("TALMOR_UI", "headless");
  ScopedEnv script("TALMOR_UI_SCRIPT", File("none"));  // dialogs are cancelled at once
  // The administrator is logged on elsewhere, so operations get past their enquiries.
  ASSERT_EQ(QVHostPresenceAcquire(), 1);
  QVStatusSetString(47, "Administrator");
  // -1: the child died of a signal, as a write into a guard page kills it.
  EXPECT_EQ(RunInChild(CallEverythingBadly), 0);
  QVHostPresenceRelease();
}

}  // namespace
}  // namespace talmor::testing
