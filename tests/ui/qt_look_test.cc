// How the Qt backend's dialogs look and read, measured on the rendered widgets off screen.
#ifdef TALMOR_WITH_QT
#include <QAccessible>
#include <QLabel>
#include <QMenu>

#include "support/ui_backends.h"
#include "ui/dialog_colors.h"
#include "ui/keyboard_navigation.h"
#include "resources/resource_ids.h"
#include <gmock/gmock.h>

namespace talmor::testing {
namespace {

class QtLookTest : public UiBackendTest {
 protected:
  void SetUp() override {
    UiBackendTest::SetUp();
    if (!IsSkipped()) driver_ = std::make_unique<QtDriver>();
  }
  static QWidget* Top() { return QApplication::activeModalWidget(); }
  // Pixels that differ between two pictures of a widget, as (x, y).
  static std::vector<QPoint> Changed(const QImage& a, const QImage& b) {
    std::vector<QPoint> out;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x)
        if (a.pixel(x, y) != b.pixel(x, y)) out.emplace_back(x, y);
    return out;
  }
  // The highest contrast of any pixel of `w` (inset by its frame) against the dialog's grey.
  static double TextContrast(QWidget* w) {
    const QImage image = w->grab().toImage();
    double best = 1;
    for (int y = 3; y < image.height() - 3; ++y)
      for (int x = 3; x < image.width() - 3; ++x) {
        const QColor c = image.pixelColor(x, y);
        const Rgb rgb{uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())};
        best = std::max(best, ContrastRatio(rgb, DialogColors().background));
      }
    return best;
  }
};

// Every dialog: each control the keyboard reaches has a name for assistive tools, Tab visits
// them in template order, mnemonics are underlined, disabled text stays readable (4.5:1).
TEST_P(QtLookTest, EveryDialogIsNamedOrderedUnderlinedAndReadable) {
  for (const DialogTemplate& t : AllDialogTemplates()) {
    SCOPED_TRACE(t.id);
    Dialog dialog(t.id);
    Run(Steps(Probe([&](Dialog&) {
          std::vector<int> order;
          for (int i = 0; i < 40 && QApplication::focusWidget() != nullptr; ++i) {
            QWidget* w = QApplication::focusWidget();
            const int index = w->property("talmorIndex").toInt();
            if (!order.empty() && index <= order.back()) break;
            order.push_back(index);
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << w->objectName().toStdString();
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QApplication::sendEvent(w, &tab);
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
              const std::vector<QPoint> diff = Changed(shown, w->grab().toImage());
              // The underline: the lowest changed row holds a run of pixels under one letter.
              ASSERT_FALSE(diff.empty()) << text.toStdString() << ": no underline";
              int run = 0;
              for (auto p = diff.rbegin(); p != diff.rend() && p->y() == diff.back().y(); ++p) ++run;
              EXPECT_GE(run, 3) << text.toStdString();
            }
            w->setEnabled(false);
            if (!plain.trimmed().isEmpty()) {
              EXPECT_GE(TextContrast(w), 4.5) << plain.toStdString();
            }
          }
        })),
        [&] { dialog.DoModal(); });
  }
}

// The viewer's menu shows a check box on a checked item only. A message box is wide enough for
// its title. A dialog that stores its place when closed and takes it when opened stays put.
// Shift+click selects a range of an extended-selection list.
TEST_P(QtLookTest, MenuChecksTitlesPlacementAndShiftClick) {
  Dialog viewer(kIddAuditLogViewer);
  Run(Steps(Probe([&](Dialog& d) {
        for (QAction* a : Top()->findChildren<QAction*>()) {
          EXPECT_EQ(a->isCheckable(), a->isChecked()) << a->text().toStdString();
          const int id = a->objectName().mid(5).toInt();
          if (id != 0 && d.CheckMenuItem(id, !a->isChecked())) {
            EXPECT_EQ(a->isCheckable() && a->isChecked(), d.IsMenuItemChecked(id) == 1);
          }
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

  struct Placed : Dialog {
    std::vector<Rect> at;
    Placed() : Dialog(kIddAuditLogViewer) {}
    bool OnInitDialog() override {
      if (!at.empty()) SetWindowPlacement({0, kShowNormal, {}, {}, at.back()});
      return Dialog::OnInitDialog();
    }
    void OnDestroy() override { at.push_back(GetWindowPlacement().normal_position); }
  } placed;
  for (int i = 0; i < 3; ++i) Run({}, [&] { placed.DoModal(); });
  EXPECT_THAT(placed.at, ::testing::Each(placed.at[0]));

  Dialog membership(kIddMembership);
  Run(Steps(Probe([&](Dialog& d) {
        for (const char* name : {"ann", "bob", "carl", "dave"}) d.Item(1016)->AddString(name);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        auto* view = Top()->findChild<QListView*>("control-1016");
        for (auto [row, mods] : {std::pair{3, Qt::NoModifier}, std::pair{1, Qt::ShiftModifier}}) {
          const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
          QMouseEvent press(QEvent::MouseButtonPress, at, view->viewport()->mapToGlobal(at),
                            Qt::LeftButton, Qt::LeftButton, mods);
          QApplication::sendEvent(view->viewport(), &press);
        }
        EXPECT_EQ(d.Item(1016)->GetSelItems(), (std::vector<int>{1, 2, 3}));
      })),
      [&] { membership.DoModal(); });
}

INSTANTIATE_TEST_SUITE_P(Qt, QtLookTest, ::testing::Values("qt"), UiBackendName);

}  // namespace
}  // namespace talmor::testing
#endif
