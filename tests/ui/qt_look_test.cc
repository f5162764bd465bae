// How the Qt backend's dialogs look and read, measured on the rendered widgets off screen.
#ifdef TALMOR_WITH_QT
#include <QAccessible>
#include <QLabel>

#include "resources/resource_ids.h"
#include "support/ui_backends.h"
#include "ui/dialog_colors.h"
#include "ui/keyboard_navigation.h"

namespace talmor::testing {
namespace {

class QtLookTest : public UiBackendTest {};

QWidget* Top() { return QApplication::activeModalWidget(); }

// Every dialog: each control that takes the focus has a name for assistive tools; a mnemonic
// shows underlined (the picture differs from the same text without it in a run of pixels below
// the rest); disabled, any text keeps a contrast of 4.5:1 with the dialog's grey.
TEST_P(QtLookTest, EveryDialogIsNamedUnderlinedAndReadable) {
  for (const DialogTemplate& t : AllDialogTemplates()) {
    SCOPED_TRACE(t.id);
    Dialog dialog(t.id);
    Run(Steps(Probe([&](Dialog&) {
          for (QWidget* w : Top()->findChildren<QWidget*>(QRegularExpression("^control-"))) {
            if (w->focusPolicy() == Qt::NoFocus || w->isHidden()) continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << w->objectName().toStdString();
          }
          for (QWidget* w : Top()->findChildren<QWidget*>()) {
            const QString text = w->property("talmorText").toString();
            const QString plain = QString(text).remove('&');
            auto* label = qobject_cast<QLabel*>(w);
            auto* button = qobject_cast<QAbstractButton*>(w);
            if (w->isHidden() || (label == nullptr && button == nullptr)) continue;
            if (MnemonicOf(text.toStdString()) != 0 && w->isEnabled()) {
              const QImage shown = w->grab().toImage();
              label ? label->setText(plain) : button->setText(plain);
              const QImage bare = w->grab().toImage();
              int lowest = -1, run = 0;
              for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                  if (shown.pixel(x, y) != bare.pixel(x, y)) run = y == lowest ? run + 1 : 1, lowest = y;
              EXPECT_GE(run, 3) << text.toStdString() << ": no underline";
            }
            if (plain.trimmed().isEmpty()) continue;
            w->setEnabled(false);
            const QImage image = w->grab().toImage();
            double contrast = 1;
            for (int y = 3; y < image.height() - 3; ++y)
              for (int x = 3; x < image.width() - 3; ++x) {
                const QColor c = image.pixelColor(x, y);
                const Rgb rgb{uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())};
                contrast = std::max(contrast, ContrastRatio(rgb, DialogColors().background));
              }
            EXPECT_GE(contrast, 4.5) << plain.toStdString();
          }
        })),
        [&] { dialog.DoModal(); });
  }
}

// The viewer's menu shows a check box on a checked item only; a message box is as wide as its
// title in a caption bar needs.
TEST_P(QtLookTest, MenuChecksAndMessageBoxTitles) {
  Dialog viewer(kIddAuditLogViewer);
  Run(Steps(Probe([&](Dialog& d) {
        for (QAction* a : Top()->findChildren<QAction*>(QRegularExpression("^menu-"))) {
          EXPECT_EQ(a->isCheckable(), a->isChecked()) << a->text().toStdString();
          const int id = a->objectName().mid(5).toInt();
          ASSERT_TRUE(d.CheckMenuItem(id, !a->isChecked()));
          EXPECT_TRUE(a->isCheckable() == a->isChecked() && a->isChecked() == d.IsMenuItemChecked(id));
        }
      })),
      [&] { viewer.DoModal(); });
  const QString title = "Security Manager for the instrument";
  int width = 0;
  QTimer::singleShot(0, [&] {
    width = Top()->width();
    qobject_cast<QMessageBox*>(Top())->button(QMessageBox::Ok)->click();
  });
  QtBackend().ShowMessageBox(nullptr, "Done.", title.toStdString(), kMbOk);
  QFont bold = QApplication::font();
  bold.setBold(true);
  EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance(title) + 100);
}

INSTANTIATE_TEST_SUITE_P(Qt, QtLookTest, ::testing::Values("qt"), UiBackendName);

}  // namespace
}  // namespace talmor::testing
#endif
