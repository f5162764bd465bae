#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <cstdlib>

#include "support/ui_backends.h"

// Not a check: with TALMOR_SCREENSHOT_DIR set (tools/screenshots), saves a picture of every
// dialog template as the Qt backend draws it, with a caption bar, as dialog-<id>.png.
namespace talmor::testing {
namespace {

TEST(Screenshots, SaveEveryTemplate) {
  const char* dir = std::getenv("TALMOR_SCREENSHOT_DIR");
  if (dir == nullptr || *dir == '\0') GTEST_SKIP() << "TALMOR_SCREENSHOT_DIR not set";
  if (UiBackendsUnderTest().size() < 2) GTEST_SKIP() << "qt cannot start here";
  QDir().mkpath(QString::fromLocal8Bit(dir));
  for (const DialogTemplate& t : AllDialogTemplates()) {
    Dialog dialog(t.id);
    bool saved = false;
    MakeUiDriver("qt")->Run(
        [&](Dialog* d) -> std::optional<std::string> {
          if (d != &dialog || saved) return std::nullopt;
          QString path = QString::fromLocal8Bit(dir) + QStringLiteral("/dialog-%1.png").arg(t.id);
          saved = SaveDialogPicture(path);
          EXPECT_TRUE(saved) << path.toStdString();
          return std::nullopt;
        },
        [&] { dialog.DoModal(); });
    EXPECT_TRUE(saved) << "dialog " << t.id;
  }
}

}  // namespace
}  // namespace talmor::testing
