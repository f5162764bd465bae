#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPainter>
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
          QWidget* window = QApplication::activeModalWidget();
          QPixmap body = window->grab();
          QFont caption_font = window->font();
          caption_font.setBold(true);
          int bar = QFontMetrics(caption_font).height() + 6;
          QImage image(body.width() + 2, body.height() + bar + 2, QImage::Format_RGB32);
          image.fill(QColor(192, 192, 192));
          QPainter p(&image);
          p.fillRect(1, 1, body.width(), bar, QColor(0, 0, 128));
          p.setPen(Qt::white);
          p.setFont(caption_font);
          p.drawText(QRect(5, 1, body.width() - 8, bar), Qt::AlignVCenter | Qt::AlignLeft,
                     window->windowTitle());
          p.drawPixmap(1, bar + 1, body);
          p.setPen(Qt::black);
          p.drawRect(0, 0, image.width() - 1, image.height() - 1);
          p.end();
          QString path = QString::fromLocal8Bit(dir) + QStringLiteral("/dialog-%1.png").arg(t.id);
          saved = image.save(path);
          EXPECT_TRUE(saved) << path.toStdString();
          return std::nullopt;
        },
        [&] { dialog.DoModal(); });
    EXPECT_TRUE(saved) << "dialog " << t.id;
  }
}

}  // namespace
}  // namespace talmor::testing
