#pragma once

// Runs dialogs on any backend with the same operator: the headless backend's own operator, or
// on Qt a driver that performs each action on the real widgets (key presses, mouse clicks,
// menu actions) and writes the same transcript lines the headless backend writes.
//
//   for (const std::string& backend : UiBackendsUnderTest()) { ... }  (or a parametrised suite)
//   auto driver = MakeUiDriver(backend);
//   std::vector<std::string> transcript = driver->Run(ScriptActions("type 1000 ann\nenter\n"),
//                                                     [&] { result = dialog.DoModal(); });
//
// Actions are script lines (see ui/headless_script.h), asked for one at a time with the
// innermost open dialog (null while a message box looks for an `answer`).
//
// Scenarios give steps instead: script lines and probes, functions that look at the innermost
// open dialog when the operator reaches them (a probe waits while a message box is open):
//   RunResult run = driver->Run(Steps({Script("dialog 130"), Steps(Probe([&](Dialog& d) {...})),
//                                      Script("enter")}), body);

#include <cstdlib>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/dialog.h"
#include "ui/headless_backend.h"
#include "ui/headless_script.h"

#ifdef TALMOR_WITH_QT
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>

#include "ui/qt/qt_backend.h"
#endif

namespace talmor::testing {

using NextAction = std::function<std::optional<std::string>(Dialog* innermost)>;

// The lines of `script`, one per call, skipping blanks and comments.
inline NextAction ScriptActions(const std::string& script) {
  auto lines = std::make_shared<std::vector<std::string>>();
  std::istringstream in(script);
  for (std::string line; std::getline(in, line);) {
    if (ParseScriptLine(line)) lines->push_back(line);
  }
  auto next = std::make_shared<size_t>(0);
  return [lines, next](Dialog*) -> std::optional<std::string> {
    if (*next >= lines->size()) return std::nullopt;
    return (*lines)[(*next)++];
  };
}

struct Step {
  std::string line;                    // an operator action, when `probe` is empty
  std::function<void(Dialog&)> probe;  // runs against the innermost open dialog
};

// Script lines, one step each.
inline std::vector<Step> Script(const std::string& text) {
  std::vector<Step> steps;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) steps.push_back(Step{line, {}});
  }
  return steps;
}
inline Step Probe(std::function<void(Dialog&)> probe) { return Step{{}, std::move(probe)}; }

// Steps joined in order.
inline std::vector<Step> Steps(std::initializer_list<std::vector<Step>> parts) {
  std::vector<Step> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
inline std::vector<Step> Steps(Step step) { return {std::move(step)}; }

struct RunResult {
  std::vector<std::string> transcript;
  size_t steps_left = 0;  // steps the dialogs never asked for
};

class UiDriver {
 public:
  virtual ~UiDriver() = default;
  virtual const char* backend() const = 0;
  // Runs `body` (which opens dialogs) with actions from `next`; answers the transcript.
  virtual std::vector<std::string> Run(NextAction next, const std::function<void()>& body) = 0;

  // Runs `body` with `steps` as the operator: probes run, in order, when the operator is asked
  // for an action with a dialog open; while a message box is open they wait (it takes its
  // default unless an `answer` line comes first).
  RunResult Run(std::vector<Step> steps, const std::function<void()>& body) {
    auto queue = std::make_shared<std::deque<Step>>(std::make_move_iterator(steps.begin()),
                                                    std::make_move_iterator(steps.end()));
    NextAction next = [queue](Dialog* innermost) -> std::optional<std::string> {
      while (!queue->empty() && queue->front().probe) {
        if (innermost == nullptr) return std::nullopt;
        Step probe = std::move(queue->front());
        queue->pop_front();
        probe.probe(*innermost);
      }
      if (queue->empty()) return std::nullopt;
      std::string line = std::move(queue->front().line);
      queue->pop_front();
      return line;
    };
    RunResult result;
    result.transcript = Run(std::move(next), body);
    result.steps_left = queue->size();
    return result;
  }
};

class HeadlessDriver : public UiDriver {
 public:
  using UiDriver::Run;
  const char* backend() const override { return "headless"; }
  std::vector<std::string> Run(NextAction next, const std::function<void()>& body) override {
    FunctionOperator op(std::move(next));
    ScopedOperator scoped(op);
    ScopedBackend use(backend_);
    body();
    return op.transcript();
  }

 private:
  HeadlessBackend backend_;
};

#ifdef TALMOR_WITH_QT
class QtDriver : public UiDriver {
 public:
  using UiDriver::Run;
  const char* backend() const override { return "qt"; }

  static QtBackend& Backend() {
    static QtBackend* backend = new QtBackend();  // lives with the QApplication
    return *backend;
  }

  std::vector<std::string> Run(NextAction next, const std::function<void()>& body) override {
    next_ = std::move(next);
    transcript_.clear();
    pending_.reset();
    seen_.clear();
    running_ = true;
    ScopedBackend use(Backend());
    Schedule();
    body();
    running_ = false;
    QApplication::processEvents();
    return transcript_;
  }

 private:
  void Schedule() {
    // A fresh timer each step: a step that opens a nested dialog keeps the chain going inside it.
    // A real timer (a zero one is a posted call, which the step itself delivers).
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
      // Input goes to the active window: wait until the window system has activated it.
      top->activateWindow();
      return;
    }
    const int id = d->template_id();
    if (!Seen(top)) {
      seen_.push_back(QPointer<QWidget>(top));
      Record("dialog\t" + std::to_string(id) + "\t" + EscapeTranscriptText(d->GetWindowText()));
      QObject::connect(dialog, &QDialog::finished, [this, id](int result) {
        Record("end\t" + std::to_string(id) + "\t" + std::to_string(result));
      });
      const Action* first = Peek(d);
      if (first != nullptr && first->kind == ActionKind::kDialog) {
        int expected = first->id;
        pending_.reset();
        if (expected != id) {
          Record("error\tdialog " + std::to_string(expected) + " expected, dialog " +
                 std::to_string(id) + " shown");
          return Cancel(*d);
        }
      }
    }
    QPointer<QWidget> shown(top);
    const Action* next = Peek(d);
    // A probe may have ended the dialog itself (a key press, say): nothing is left to cancel.
    if (shown.isNull() || !shown->isVisible()) return;
    if (next == nullptr || next->kind == ActionKind::kDialog) return Cancel(*d);
    Action action = *next;
    pending_.reset();
    Perform(*dialog, *d, action);
  }

  bool Seen(QWidget* w) const {
    for (const QPointer<QWidget>& p : seen_) {
      if (p == w) return true;
    }
    return false;
  }

  void Cancel(Dialog& d) {
    if (Control* cancel = d.Item(kIdCancel); cancel != nullptr && !cancel->IsWindowEnabled()) {
      Error("control 2 is disabled");
    }
    QtBackend::ForceCancelInnermost();
  }

  void Answer(QMessageBox* box) {
    QMessageBox::StandardButtons buttons = box->standardButtons();
    const char* kind = buttons == (QMessageBox::Ok | QMessageBox::Cancel) ? "okcancel"
                       : buttons == (QMessageBox::Yes | QMessageBox::No)  ? "yesno"
                       : buttons == (QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)
                           ? "yesnocancel"
                           : "ok";
    QMessageBox::StandardButton answer = buttons == QMessageBox::Ok ? QMessageBox::Ok
                                         : buttons == (QMessageBox::Yes | QMessageBox::No)
                                             ? QMessageBox::No
                                             : QMessageBox::Cancel;
    const Action* next = Peek(nullptr);
    if (next != nullptr && next->kind == ActionKind::kAnswer) {
      std::string word = next->text;
      pending_.reset();
      QMessageBox::StandardButton chosen = word == "ok"       ? QMessageBox::Ok
                                           : word == "cancel" ? QMessageBox::Cancel
                                           : word == "yes"    ? QMessageBox::Yes
                                           : word == "no"     ? QMessageBox::No
                                                              : QMessageBox::NoButton;
      if (chosen != QMessageBox::NoButton && (buttons & chosen)) {
        answer = chosen;
      } else {
        Error("answer " + word + " does not fit a " + kind + " box");
      }
    }
    const char* icon = "none";
    switch (box->icon()) {
      case QMessageBox::Critical:
        icon = "stop";
        break;
      case QMessageBox::Warning:
        icon = "exclamation";
        break;
      case QMessageBox::Information:
        icon = "information";
        break;
      case QMessageBox::Question:
        icon = "question";
        break;
      default:
        break;
    }
    const char* word = answer == QMessageBox::Ok    ? "ok"
                       : answer == QMessageBox::Yes ? "yes"
                       : answer == QMessageBox::No  ? "no"
                                                    : "cancel";
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
    QPointF local(at);
    QPointF global(w->mapToGlobal(at));
    QMouseEvent event(type, local, global, Qt::LeftButton,
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
    if (w == nullptr) {
      Error("no control " + std::to_string(id) + " in dialog " + std::to_string(d.template_id()));
    } else if (w->isHidden()) {
      Error("control " + std::to_string(id) + " is hidden");
      w = nullptr;
    } else if (!w->isEnabled()) {
      Error("control " + std::to_string(id) + " is disabled");
      w = nullptr;
    }
    return w;
  }

  static int KeyOf(const std::string& name) {
    static const std::pair<const char*, int> kKeys[] = {
        {"Down", Qt::Key_Down}, {"PageDown", Qt::Key_PageDown}, {"End", Qt::Key_End},
        {"Up", Qt::Key_Up},     {"PageUp", Qt::Key_PageUp},     {"Home", Qt::Key_Home},
        {"Left", Qt::Key_Left}, {"Right", Qt::Key_Right},       {"Enter", Qt::Key_Return}};
    for (auto& [n, k] : kKeys) {
      if (name == n) return k;
    }
    return 0;
  }

  void Perform(QDialog& dialog, Dialog& d, const Action& a) {
    const std::string id_text = std::to_string(a.id);
    switch (a.kind) {
      case ActionKind::kType: {
        QWidget* w = Reach(dialog, d, a.id);
        if (w == nullptr) return;
        auto* line = qobject_cast<QLineEdit*>(w);
        auto* text = qobject_cast<QPlainTextEdit*>(w);
        if (line == nullptr && text == nullptr)
          return Error("control " + id_text + " takes no typing");
        if ((line && line->isReadOnly()) || (text && text->isReadOnly()))
          return Error("control " + id_text + " is read-only");
        Click(w);
        Key(w, Qt::Key_A, Qt::ControlModifier);
        if (a.text.empty()) {
          Key(w, Qt::Key_Delete);
        } else {
          // One key event carrying the whole text: the edit replaces its selection with it.
          Key(w, Qt::Key_unknown, Qt::NoModifier,
              QString::fromLatin1(a.text.data(), static_cast<qsizetype>(a.text.size())));
        }
        return;
      }
      case ActionKind::kClick: {
        QWidget* w = Reach(dialog, d, a.id);
        if (w == nullptr) return;
        if (qobject_cast<QAbstractButton*>(w) == nullptr)
          return Error("control " + id_text + " cannot be clicked");
        return Click(w);
      }
      case ActionKind::kCheck:
      case ActionKind::kUncheck: {
        QWidget* w = Reach(dialog, d, a.id);
        if (w == nullptr) return;
        auto* b = qobject_cast<QAbstractButton*>(w);
        if (b == nullptr || !b->isCheckable())
          return Error("control " + id_text + " cannot be checked");
        bool radio = b->inherits("QRadioButton");
        if (radio && a.kind == ActionKind::kUncheck)
          return Error("radio button " + id_text + " cannot be unchecked");
        if (b->isChecked() != (a.kind == ActionKind::kCheck)) Click(w);
        return;
      }
      case ActionKind::kSelect:
      case ActionKind::kDblClick:
        return Select(dialog, d, a, a.kind == ActionKind::kDblClick);
      case ActionKind::kUnselect: {
        QWidget* w = Reach(dialog, d, a.id);
        if (w == nullptr) return;
        auto* view = qobject_cast<QListView*>(w);
        Control* c = d.Item(a.id);
        if (view == nullptr || c->GetSelCount() < 0)
          return Error("control " + id_text + " has no entries to unselect");
        for (int index : c->GetSelItems()) ClickRow(view, index, Qt::ControlModifier);
        return;
      }
      case ActionKind::kMenu: {
        QAction* action = dialog.findChild<QAction*>("menu-" + QString::number(a.id));
        if (action == nullptr)
          return Error("no menu item " + id_text + " in dialog " + std::to_string(d.template_id()));
        if (!action->isEnabled()) return Error("menu item " + id_text + " is disabled");
        action->trigger();
        return;
      }
      case ActionKind::kKey: {
        int key = KeyOf(a.text);
        if (key == 0) return Error("unknown key " + a.text);
        QWidget* w = Reach(dialog, d, a.id);
        if (w == nullptr) return;
        w->setFocus(Qt::TabFocusReason);
        return Key(w, key);
      }
      case ActionKind::kScroll: {
        QWidget* w = Reach(dialog, d, a.id);
        if (w == nullptr) return;
        auto* view = qobject_cast<QListView*>(w);
        if (view == nullptr) return Error("control " + id_text + " does not scroll");
        QScrollBar* bar = view->verticalScrollBar();
        static const std::pair<const char*, QAbstractSlider::SliderAction> kCodes[] = {
            {"linedown", QAbstractSlider::SliderSingleStepAdd},
            {"lineup", QAbstractSlider::SliderSingleStepSub},
            {"pagedown", QAbstractSlider::SliderPageStepAdd},
            {"pageup", QAbstractSlider::SliderPageStepSub},
            {"bottom", QAbstractSlider::SliderToMaximum},
            {"top", QAbstractSlider::SliderToMinimum}};
        if (a.text == "endscroll") {
          // The mouse button let go on the bar.
          const QPointF at(1, 1);
          QMouseEvent release(QEvent::MouseButtonRelease, at, bar->mapToGlobal(at), Qt::LeftButton,
                              Qt::NoButton, Qt::NoModifier);
          QApplication::sendEvent(bar, &release);
          return;
        }
        for (auto& [name, action] : kCodes) {
          if (a.text == name) return bar->triggerAction(action);
        }
        return Error("unknown scroll code " + a.text);
      }
      case ActionKind::kResize: {
        QWidget* client = dialog.findChild<QWidget*>("client");
        dialog.resize(dialog.width() + a.id - client->width(),
                      dialog.height() + a.height - client->height());
        return;
      }
      case ActionKind::kEscape:
        if (Control* cancel = d.Item(kIdCancel); cancel != nullptr && !cancel->IsWindowEnabled())
          Error("control 2 is disabled");
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
      case ActionKind::kDialog:
        return;
    }
  }

  void ClickRow(QListView* view, int row, Qt::KeyboardModifiers mods, bool twice = false) {
    QModelIndex index = view->model()->index(row, 0);
    QRect r = view->visualRect(index);
    if (!view->viewport()->rect().contains(r.center())) {
      view->scrollTo(index);
      r = view->visualRect(index);
    }
    if (twice) {
      view->setFocus(Qt::MouseFocusReason);
      Mouse(view->viewport(), QEvent::MouseButtonDblClick, r.center(), mods);
    } else {
      Click(view->viewport(), r.center(), mods);
    }
  }

  void Select(QDialog& dialog, Dialog& d, const Action& a, bool double_click) {
    QWidget* w = Reach(dialog, d, a.id);
    if (w == nullptr) return;
    Control* c = d.Item(a.id);
    if (c == nullptr || c->GetCount() < 0)
      return Error("control " + std::to_string(a.id) + " has no entries");
    int index = -1;
    for (int i = 0; i < c->GetCount(); ++i) {
      if (c->GetText(i) == a.text) {
        index = i;
        break;
      }
    }
    if (index < 0) return Error("no entry " + a.text + " in control " + std::to_string(a.id));
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      // Picking from the open drop-down list: the box takes the entry and says so.
      combo->setFocus(Qt::MouseFocusReason);
      combo->setCurrentIndex(index);
      emit combo->activated(index);
      return;
    }
    auto* view = qobject_cast<QListView*>(w);
    bool extended = c->GetSelCount() >= 0;
    if (double_click || !extended) return ClickRow(view, index, Qt::NoModifier, double_click);
    if (c->GetSel(index) > 0) ClickRow(view, index, Qt::ControlModifier);  // keeps it selected
    ClickRow(view, index, Qt::ControlModifier);
  }

  void Dump(QDialog& dialog, Dialog& d) {
    const DialogTemplate& t = *d.dialog_template();
    std::vector<QWidget*> widgets(t.controls.size(), nullptr);
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
      QVariant index = w->property("talmorIndex");
      if (index.isValid() && index.toInt() >= 0 && index.toInt() < static_cast<int>(widgets.size()))
        widgets[index.toInt()] = w;
    }
    for (size_t i = 0; i < t.controls.size(); ++i) {
      const ControlTemplate& ct = t.controls[i];
      QWidget* w = widgets[i];
      if (w == nullptr) continue;
      bool checkable = ct.kind == ControlKind::kCheckBox || ct.kind == ControlKind::kRadioButton;
      std::string text;
      Control* c = ct.id == kIdStatic ? nullptr : d.Item(ct.id);
      if (c != nullptr && (ct.kind == ControlKind::kEdit || ct.kind == ControlKind::kComboBox ||
                           ct.kind == ControlKind::kListBox)) {
        text = c->GetWindowText();
      } else {
        text = w->property("talmorText").toString().toLatin1().toStdString();
      }
      if (ct.kind == ControlKind::kEdit && (ct.style & kEsPassword)) text.assign(text.size(), '*');
      bool checked = checkable && static_cast<QAbstractButton*>(w)->isChecked();
      Record("control\t" + std::to_string(ct.id) + "\t" + ControlKindName(ct.kind) + "\t" +
             (w->isEnabled() ? "1" : "0") + "\t" + (checkable ? (checked ? "1" : "0") : "-") +
             "\t" + EscapeTranscriptText(text));
      if (c != nullptr && c->GetCount() >= 0) {
        for (int k = 0; k < c->GetCount(); ++k) {
          Record("item\t" + std::to_string(ct.id) + "\t" + std::to_string(k) + "\t" +
                 (c->GetSel(k) > 0 ? "1" : "0") + "\t" + EscapeTranscriptText(c->GetText(k)));
        }
      }
    }
  }

  QObject context_;  // pending steps go with the driver
  NextAction next_;
  std::optional<Action> pending_;
  std::vector<std::string> transcript_;
  std::vector<QPointer<QWidget>> seen_;
  bool running_ = false;
};

// Saves a picture of the active modal dialog as the Qt backend draws it, under a caption bar in
// the platform's colours (off screen there is no window frame to grab). True when saved.
inline bool SaveDialogPicture(const QString& path) {
  QWidget* window = QApplication::activeModalWidget();
  if (window == nullptr) return false;
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
  return image.save(path);
}
#endif

// "headless", and "qt" where the Qt backend is built and can start.
inline std::vector<std::string> UiBackendsUnderTest() {
  std::vector<std::string> names{"headless"};
#ifdef TALMOR_WITH_QT
  // The Qt rows draw off screen unless told otherwise; decided before anything starts Qt.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (QtBackend::DisplayAvailable()) names.push_back("qt");
#endif
  return names;
}

inline std::unique_ptr<UiDriver> MakeUiDriver(const std::string& backend) {
#ifdef TALMOR_WITH_QT
  if (backend == "qt") return std::make_unique<QtDriver>();
#endif
  return std::make_unique<HeadlessDriver>();
}

}  // namespace talmor::testing
