#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "audit/audit_log_file.h"
#include "audit/audit_log_viewer.h"
#include "support/temp_dir.h"
#include "support/ui_backends.h"

// Not a check: with TALMOR_SCREENSHOT_DIR set (tools/screenshots), saves a picture of the audit
// log viewer showing a small audit trail, as the Qt backend draws it, as viewer.png.
namespace talmor::testing {
namespace {

#ifdef TALMOR_WITH_QT
TEST(Screenshots, SaveTheViewerWithEvents) {
  const char* dir = std::getenv("TALMOR_SCREENSHOT_DIR");
  if (dir == nullptr || *dir == '\0') GTEST_SKIP() << "TALMOR_SCREENSHOT_DIR not set";
  if (UiBackendsUnderTest().size() < 2) GTEST_SKIP() << "qt cannot start here";
  TempDir windir;
  ScopedEnv env("QUORVANE_WINDIR", windir.path());
  {
    AuditLogFile log;
    const char* access = "Successful object access.\r\nAccess attempted : ";
    log.AppendEvent("Logon/Logoff", "Administrator", "Successful logon.");
    log.AppendEvent("Object Access", "Administrator",
                    std::string(access) + "Administer user accounts and groups");
    log.AppendEvent("Policy Change", "Administrator", "Accounts policy modified.");
    log.AppendEvent("Logon/Logoff", "Administrator", "User logged off.");
    log.AppendEvent("Logon/Logoff", "analyst", "Successful logon.");
    log.AppendEvent("Object Access", "analyst", std::string(access) + "Start acquisitions");
    log.AppendEvent("Batch Run", "analyst", "Sample list started\r\n24 samples");
    log.AppendEvent("Object Access", "analyst",
                    "Failed object access.\r\nAccess attempted : Tune mass spectrometer");
    log.AppendEvent("Logon/Logoff", "analyst", "User logged off.");
  }
  bool saved = false;
  MakeUiDriver("qt")->Run(
      [&](Dialog* d) -> std::optional<std::string> {
        if (d == nullptr || saved) return std::nullopt;
        saved = SaveDialogPicture(QString::fromLocal8Bit(dir) + QStringLiteral("/viewer.png"));
        return std::nullopt;
      },
      [&] {
        AuditLogViewer viewer(nullptr);
        viewer.DoModal();
      });
  EXPECT_TRUE(saved);
}
#endif

}  // namespace
}  // namespace talmor::testing
