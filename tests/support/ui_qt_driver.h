#pragma once

// The Qt driver of support/ui_backends.h (included from there): each action is performed on the
// real widgets as the window system would deliver it (key presses, mouse clicks, menu actions),
// and the transcript is written in the headless backend's lines.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <utility>

#include "ui/qt/qt_backend.h"

namespace talmor::testing {

class QtDriver : public UiDriver {
 protected:
  std::vector<std::string> Drive(NextAction next, const std::function<void()>& body) override {
    static QtBackend* backend = new QtBackend();  // lives with the QApplication
    next_ = std::move(next);
    transcript_.clear();
    pending_.reset();
    seen_.clear();
    running_ = true;
    ScopedBackend use(*backend);
    Schedule();
    body();
    running_ = false;
    QApplication::processEvents();
    return transcript_;
  }

 private:
  // A fresh real timer each step (a zero one is a posted call, which the step itself delivers):
  // a step that opens a nested dialog keeps the chain going inside it.
  void Schedule() {
    QTimer::singleShot(1, &context_, [this] { Step(); });
  }

  const Action* Peek(Dialog* innermost) {
    while (!pending_) {
      std::optional<std::string> line = next_(innermost);
      if (!line) break;
      pending_ = ParseScriptLine(*line);
    }
    return pending_ ? &*pending_ : nullptr;
  }

  void Record(const std::string& line) { transcript_.push_back(line); }
  void Error(const std::string& message) { Record("error\t" + EscapeTranscriptText(message)); }

  void Step() {
    if (!running_) return;
    Schedule();
    // Lists catch up with their entries before the user looks at them.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QWidget* top = QApplication::activeModalWidget();
    if (top == nullptr || !top->isVisible()) return;
    if (auto* box = qobject_cast<QMessageBox*>(top)) return Answer(box);
    auto* dialog = qobject_cast<QDialog*>(top);
    Dialog* d = QtBackend::InnermostDialog();
    if (dialog == nullptr || d == nullptr || !top->objectName().startsWith("dialog-")) return;
    if (QApplication::activeWindow() != top) {
      top->activateWindow();  // input goes to the active window: wait until it is
      return;
    }
    const int id = d->template_id();
    if (std::find(seen_.begin(), seen_.end(), top) == seen_.end()) {
      seen_.push_back(QPointer<QWidget>(top));
      Record("dialog\t" + std::to_string(id) + "\t" + EscapeTranscriptText(d->GetWindowText()));
      QObject::connect(dialog, &QDialog::finished, [this, id](int result) {
        Record("end\t" + std::to_string(id) + "\t" + std::to_string(result));
      });
      const Action* first = Peek(d);
      if (first != nullptr && first->kind == ActionKind::kDialog) {
        const int expected = first->id;
        pending_.reset();
        if (expected != id) {
          Error("dialog " + std::to_string(expected) + " expected, dialog " + std::to_string(id) +
                " shown");
          return QtBackend::ForceCancelInnermost();
        }
      }
    }
    QPointer<QWidget> shown(top);
    const Action* next = Peek(d);
    // A probe may have ended the dialog itself: nothing is left to cancel.
    if (shown.isNull() || !shown->isVisible()) return;
    if (next == nullptr || next->kind == ActionKind::kDialog)
      return QtBackend::ForceCancelInnermost();
    Action action = *next;
    pending_.reset();
    Perform(*dialog, *d, action);
  }

  void Answer(QMessageBox* box) {
    using B = QMessageBox;
    static const std::pair<const char*, B::StandardButton> kWords[] = {
        {"ok", B::Ok}, {"cancel", B::Cancel}, {"yes", B::Yes}, {"no", B::No}};
    const B::StandardButtons buttons = box->standardButtons();
    const char* kind = buttons == (B::Ok | B::Cancel)            ? "okcancel"
                       : buttons == (B::Yes | B::No)             ? "yesno"
                       : buttons == (B::Yes | B::No | B::Cancel) ? "yesnocancel"
                                                                 : "ok";
    // The default: OK alone, No of yes/no, else Cancel.
    B::StandardButton answer = buttons == B::Ok              ? B::Ok
                               : buttons == (B::Yes | B::No) ? B::No
                                                             : B::Cancel;
    if (const Action* next = Peek(nullptr); next != nullptr && next->kind == ActionKind::kAnswer) {
      const std::string word = next->text;
      pending_.reset();
      B::StandardButton chosen = B::NoButton;
      for (auto& [w, b] : kWords) chosen = word == w ? b : chosen;
      if (chosen != B::NoButton && (buttons & chosen)) {
        answer = chosen;
      } else {
        Error("answer " + word + " does not fit a " + kind + " box");
      }
    }
    const char* icon = box->icon() == B::Critical      ? "stop"
                       : box->icon() == B::Warning     ? "exclamation"
                       : box->icon() == B::Information ? "information"
                       : box->icon() == B::Question    ? "question"
                                                       : "none";
    const char* word = "cancel";
    for (auto& [w, b] : kWords) word = answer == b ? w : word;
    Record(std::string("msgbox\t") + icon + "\t" + kind + "\t" +
           EscapeTranscriptText(box->windowTitle().toStdString()) + "\t" +
           EscapeTranscriptText(box->text().toLatin1().toStdString()) + "\t" + word);
    Click(box->button(answer));
  }

  // The user's input, delivered as the window system would deliver it.
  static void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
                  const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(w, &release);
  }
  static void Mouse(QWidget* w, QEvent::Type type, QPoint at,
                    Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, mods);
    QApplication::sendEvent(w, &event);
  }
  static void Click(QWidget* w, QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QPointer<QWidget> guard(w);
    Mouse(w, QEvent::MouseButtonPress, at, mods);
    if (guard) Mouse(w, QEvent::MouseButtonRelease, at, mods);
  }
  static void Click(QWidget* w) {
    if (w != nullptr) Click(w, w->rect().center());
  }
  static QWidget* Target(QWidget* dialog) {
    QWidget* focus = QApplication::focusWidget();
    return focus != nullptr && focus->window() == dialog ? focus : dialog;
  }

  // The control `id` if the user can reach it; else records why not and answers null.
  QWidget* Reach(QDialog& dialog, Dialog& d, int id) {
    QWidget* w = dialog.findChild<QWidget*>("control-" + QString::number(id));
    const std::string name = "control " + std::to_string(id);
    if (w == nullptr)
      Error("no " + name + " in dialog " + std::to_string(d.template_id()));
    else if (w->isHidden())
      Error(name + " is hidden");
    else if (!w->isEnabled())
      Error(name + " is disabled");
    else
      return w;
    return nullptr;
  }

  void Perform(QDialog& dialog, Dialog& d, const Action& a) {
    const std::string name = "control " + std::to_string(a.id);
    QWidget* w = nullptr;
    switch (a.kind) {
      case ActionKind::kType: {
        if ((w = Reach(dialog, d, a.id)) == nullptr) return;
        auto* line = qobject_cast<QLineEdit*>(w);
        auto* text = qobject_cast<QPlainTextEdit*>(w);
        if (line == nullptr && text == nullptr) return Error(name + " takes no typing");
        Click(w);
        Key(w, Qt::Key_A, Qt::ControlModifier);
        if (a.text.empty()) return Key(w, Qt::Key_Delete);
        // One key event carrying the whole text: the edit replaces its selection with it.
        return Key(w, Qt::Key_unknown, Qt::NoModifier,
                   QString::fromLatin1(a.text.data(), static_cast<qsizetype>(a.text.size())));
      }
      case ActionKind::kClick:
        if ((w = Reach(dialog, d, a.id)) == nullptr) return;
        if (qobject_cast<QAbstractButton*>(w) == nullptr) return Error(name + " cannot be clicked");
        return Click(w);
      case ActionKind::kCheck:
      case ActionKind::kUncheck: {
        if ((w = Reach(dialog, d, a.id)) == nullptr) return;
        auto* b = qobject_cast<QAbstractButton*>(w);
        if (b == nullptr || !b->isCheckable()) return Error(name + " cannot be checked");
        if (b->inherits("QRadioButton") && a.kind == ActionKind::kUncheck)
          return Error("radio button " + std::to_string(a.id) + " cannot be unchecked");
        if (b->isChecked() != (a.kind == ActionKind::kCheck)) Click(w);
        return;
      }
      case ActionKind::kSelect:
      case ActionKind::kDblClick:
        return Select(dialog, d, a, a.kind == ActionKind::kDblClick);
      case ActionKind::kUnselect: {
        if ((w = Reach(dialog, d, a.id)) == nullptr) return;
        auto* view = qobject_cast<QListView*>(w);
        for (int index : d.Item(a.id)->GetSelItems()) ClickRow(view, index, Qt::ControlModifier);
        return;
      }
      case ActionKind::kMenu: {
        auto* action = dialog.findChild<QAction*>("menu-" + QString::number(a.id));
        const std::string item = "menu item " + std::to_string(a.id);
        if (action == nullptr)
          return Error("no " + item + " in dialog " + std::to_string(d.template_id()));
        if (!action->isEnabled()) return Error(item + " is disabled");
        return action->trigger();
      }
      case ActionKind::kKey: {
        // Qt's keys in the order of talmor::Key.
        static const int kKeys[] = {Qt::Key_Down,   Qt::Key_PageDown, Qt::Key_End,  Qt::Key_Up,
                                    Qt::Key_PageUp, Qt::Key_Home,     Qt::Key_Left, Qt::Key_Right,
                                    Qt::Key_Return, Qt::Key_Space};
        talmor::Key key{};
        unsigned mods = 0;
        ParseKey(a.text, &key, &mods);
        if ((w = Reach(dialog, d, a.id)) == nullptr) return;
        w->setFocus(Qt::TabFocusReason);
        return Key(w, kKeys[static_cast<int>(key)],
                   ((mods & kKeyShift) ? Qt::ShiftModifier : Qt::NoModifier) |
                       ((mods & kKeyCtrl) ? Qt::ControlModifier : Qt::NoModifier));
      }
      case ActionKind::kScroll:
        return Scroll(dialog, d, a);
      case ActionKind::kEscape:
        return Key(Target(&dialog), Qt::Key_Escape);
      case ActionKind::kClose:
        dialog.close();
        return;
      case ActionKind::kEnter:
        return Key(Target(&dialog), Qt::Key_Return);
      case ActionKind::kDump:
        return Dump(dialog, d);
      case ActionKind::kAnswer:
        return Error("no message box to answer");
      case ActionKind::kInvalid:
        return Error(a.text);
      case ActionKind::kResize:
        return Error("resize is not driven here");  // no scenario resizes
      case ActionKind::kDialog:
        return;
    }
  }

  void Scroll(QDialog& dialog, Dialog& d, const Action& a) {
    QWidget* w = Reach(dialog, d, a.id);
    if (w == nullptr) return;
    QScrollBar* bar = qobject_cast<QListView*>(w)->verticalScrollBar();
    ScrollCode code{};
    ParseScroll(a.text, &code);
    if (code == ScrollCode::kEndScroll) return Mouse(bar, QEvent::MouseButtonRelease, QPoint(1, 1));
    // Qt's slider actions in the order of ScrollCode.
    static const QAbstractSlider::SliderAction kActions[] = {
        QAbstractSlider::SliderSingleStepSub, QAbstractSlider::SliderSingleStepAdd,
        QAbstractSlider::SliderPageStepSub,   QAbstractSlider::SliderPageStepAdd,
        QAbstractSlider::SliderToMinimum,     QAbstractSlider::SliderToMaximum};
    bar->triggerAction(kActions[static_cast<int>(code)]);
  }

  void ClickRow(QListView* view, int row, Qt::KeyboardModifiers mods, bool twice = false) {
    QModelIndex index = view->model()->index(row, 0);
    if (!view->viewport()->rect().contains(view->visualRect(index).center())) view->scrollTo(index);
    const QPoint at = view->visualRect(index).center();
    if (!twice) return Click(view->viewport(), at, mods);
    view->setFocus(Qt::MouseFocusReason);
    Mouse(view->viewport(), QEvent::MouseButtonDblClick, at, mods);
  }

  void Select(QDialog& dialog, Dialog& d, const Action& a, bool double_click) {
    QWidget* w = Reach(dialog, d, a.id);
    if (w == nullptr) return;
    Control* c = d.Item(a.id);
    if (c->GetCount() < 0) return Error("control " + std::to_string(a.id) + " has no entries");
    int index = 0;
    while (index < c->GetCount() && c->GetText(index) != a.text) ++index;
    if (index == c->GetCount())
      return Error("no entry " + a.text + " in control " + std::to_string(a.id));
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      // Picking from the open drop-down list: the box takes the entry and says so.
      combo->setFocus(Qt::MouseFocusReason);
      combo->setCurrentIndex(index);
      emit combo->activated(index);
      return;
    }
    auto* view = qobject_cast<QListView*>(w);
    if (double_click || c->GetSelCount() < 0)
      return ClickRow(view, index, Qt::NoModifier, double_click);
    if (c->GetSel(index) > 0) ClickRow(view, index, Qt::ControlModifier);  // keeps it selected
    ClickRow(view, index, Qt::ControlModifier);
  }

  void Dump(QDialog& dialog, Dialog& d) {
    const DialogTemplate& t = *d.dialog_template();
    std::vector<QWidget*> widgets(t.controls.size(), nullptr);
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
      const int index =
          w->property("talmorIndex").isValid() ? w->property("talmorIndex").toInt() : -1;
      if (index >= 0 && index < static_cast<int>(widgets.size())) widgets[index] = w;
    }
    for (size_t i = 0; i < t.controls.size(); ++i) {
      const ControlTemplate& ct = t.controls[i];
      QWidget* w = widgets[i];
      if (w == nullptr || w->isHidden()) continue;
      const bool checkable =
          ct.kind == ControlKind::kCheckBox || ct.kind == ControlKind::kRadioButton;
      Control* c = ct.id == kIdStatic ? nullptr : d.Item(ct.id);
      std::string text = w->property("talmorText").toString().toLatin1().toStdString();
      if (c != nullptr && (ct.kind == ControlKind::kEdit || ct.kind == ControlKind::kComboBox ||
                           ct.kind == ControlKind::kListBox))
        text = c->GetWindowText();
      if (ct.kind == ControlKind::kEdit && (ct.style & kEsPassword)) text.assign(text.size(), '*');
      const char* checked = !checkable                                      ? "-"
                            : static_cast<QAbstractButton*>(w)->isChecked() ? "1"
                                                                            : "0";
      Record("control\t" + std::to_string(ct.id) + "\t" + ControlKindName(ct.kind) + "\t" +
             (w->isEnabled() ? "1" : "0") + "\t" + checked + "\t" + EscapeTranscriptText(text));
      for (int k = 0; c != nullptr && k < c->GetCount(); ++k) {
        Record("item\t" + std::to_string(ct.id) + "\t" + std::to_string(k) + "\t" +
               (c->GetSel(k) > 0 ? "1" : "0") + "\t" + EscapeTranscriptText(c->GetText(k)));
      }
    }
  }

  QObject context_;  // pending steps go with the driver
  NextAction next_;
  std::optional<Action> pending_;
  std::vector<std::string> transcript_;
  std::vector<QPointer<QWidget>> seen_;  // null once gone: a new dialog may reuse the address
  bool running_ = false;
};

}  // namespace talmor::testing
