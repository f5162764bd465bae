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

// The contrast of the darkest pixel of `image` (inset by a frame's 3 pixels) with the dialog's
// grey: the text's, on a light grey.
double TextContrast(const QImage& image) {
  QRgb darkest = qRgb(255, 255, 255);
  for (int y = 3; y < image.height() - 3; ++y)
    for (int x = 3; x < image.width() - 3; ++x)
      if (qGray(image.pixel(x, y)) < qGray(darkest)) darkest = image.pixel(x, y);
  const Rgb text{uint8_t(qRed(darkest)), uint8_t(qGreen(darkest)), uint8_t(qBlue(darkest))};
  return ContrastRatio(text, DialogColors().background);
}

// Every dialog: each control that takes the focus has a name for assistive tools; a mnemonic
// shows underlined (the picture differs from the same text without the marker); disabled, any
// text keeps a contrast of 4.5:1 with the dialog's grey; a menu item shows a check box only
// while checked.
TEST_P(QtLookTest, EveryDialogIsNamedUnderlinedAndReadable) {
  for (const DialogTemplate& t : AllDialogTemplates()) {
    Dialog dialog(t.id);
    Run(Steps(Probe([&](Dialog& d) {
          for (QAction* a : Top()->findChildren<QAction*>(QRegularExpression("^menu-"))) {
            EXPECT_EQ(a->isCheckable(), a->isChecked()) << a->text().toStdString();
            d.CheckMenuItem(a->objectName().mid(5).toInt(), !a->isChecked());
            EXPECT_EQ(a->isCheckable(), a->isChecked()) << a->text().toStdString();
          }
          for (QWidget* w : Top()->findChildren<QWidget*>()) {
            EXPECT_TRUE(!w->objectName().startsWith("control-") ||
                        w->focusPolicy() == Qt::NoFocus ||
                        QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name) != "")
                << t.id;
            const QString text = w->property("talmorText").toString(),
                          plain = QString(text).remove('&');
            QLabel* label = qobject_cast<QLabel*>(w);
            QAbstractButton* button = qobject_cast<QAbstractButton*>(w);
            if (w->isHidden() || (!label && !button) || plain.trimmed().isEmpty()) continue;
            if (MnemonicOf(text.toStdString()) != 0 && w->isEnabled()) {
              const QImage shown = w->grab().toImage();
              label ? label->setText(plain) : button->setText(plain);
              EXPECT_NE(shown, w->grab().toImage()) << t.id << " " << plain.toStdString();
            }
            w->setEnabled(false);
            EXPECT_GE(TextContrast(w->grab().toImage()), 4.5) << t.id << " " << plain.toStdString();
          }
        })),
        [&] { dialog.DoModal(); });
  }
}

// A message box is as wide as its title in a caption bar needs. A dialog that stores its place
// when closed and takes it when opened stays where it was (under a window manager too: run with
// QT_QPA_PLATFORM=xcb on a display that has one).
TEST_P(QtLookTest, MessageBoxTitlesAndReopenedDialogs) {
  const QString title = "Security Manager for the instrument";
  int width = 0;
  QTimer::singleShot(0, [&] { width = Top()->width(), Top()->close(); });
  QtBackend().ShowMessageBox(nullptr, "Done.", title.toStdString(), kMbOk);
  const QFont bold(QApplication::font().family(), QApplication::font().pointSize(), QFont::Bold);
  EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance(title) + 100);
  struct Placed : Dialog {
    std::vector<Rect> at{{300, 200, 874, 574}};
    Placed() : Dialog(kIddAuditLogViewer) {}
    bool OnInitDialog() override {
      return SetWindowPlacement({0, kShowNormal, {}, {}, at.back()}), Dialog::OnInitDialog();
    }
    void OnDestroy() override { at.push_back(GetWindowPlacement().normal_position); }
  } placed;
  for (int i = 0; i < 3; ++i) Run({}, [&] { placed.DoModal(); });
  for (const Rect& r : placed.at) EXPECT_TRUE(r == placed.at[0]) << r.left << " " << r.top;
}

INSTANTIATE_TEST_SUITE_P(Qt, QtLookTest, ::testing::Values("qt"), UiBackendName);

}  // namespace
}  // namespace talmor::testing
#endif
