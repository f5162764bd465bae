#include "ui/headless_backend.h"

#include <cerrno>
#include <cstdio>
#include <optional>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "platform/environment.h"
#include "ui/dialog.h"
#include "ui/list_model.h"
#include "ui/menu_state.h"
#include "ui/message_box.h"

namespace talmor {

class HeadlessDialog;

namespace {
Operator* installed_operator = nullptr;
bool asking_for_answer = false;  // a message box is peeking at the next action
std::vector<HeadlessDialog*> open_dialogs;
constexpr int kItemHeight = 16;
}  // namespace

class HeadlessControl : public ControlPeer {
 public:
  HeadlessControl(HeadlessDialog& dialog, const ControlTemplate& t, Rect rect);

  const ControlTemplate& Template() const override { return t_; }
  std::string GetText() const override;
  void SetText(std::string_view text) override { text_ = text; }
  bool IsEnabled() const override { return enabled_; }
  void Enable(bool enable) override;
  bool IsVisible() const override { return visible_; }
  void Show(bool show) override { visible_ = show; }
  int GetCheck() const override { return check_; }
  void SetCheck(int state) override { check_ = state; }
  int GetLimitText() const override { return EditLimit(limit_); }
  void SetLimitText(int limit) override { limit_ = limit; }
  Rect GetRect() const override { return rect_; }
  Size GetClientSize() const override { return {rect_.width(), rect_.height()}; }
  void SetRect(const Rect& rect) override {
    rect_ = rect;
    ListChanged();
  }
  int TextWidth(std::string_view text) const override { return 6 * static_cast<int>(text.size()); }
  ListModel* List() override { return list_ ? &*list_ : nullptr; }
  const ListModel* List() const override { return list_ ? &*list_ : nullptr; }
  void SetTabStops(const std::vector<int>& stops) override { tab_stops_ = stops; }
  std::vector<int> GetTabStops() const override { return tab_stops_; }
  void SetHorizontalExtent(int pixels) override { extent_ = pixels; }
  int GetHorizontalExtent() const override { return extent_; }
  int GetItemHeight() const override { return kItemHeight; }
  ScrollInfo GetVerticalScroll() const override;
  void ListChanged() override;


 private:
  HeadlessDialog& dialog_;
  const ControlTemplate& t_;
  std::string text_;
  bool enabled_;
  bool visible_;
  int check_ = kUnchecked;
  int limit_ = 0;
  Rect rect_;
  std::optional<ListModel> list_;
  std::vector<int> tab_stops_;
  int extent_ = 0;
};

class HeadlessDialog : public DialogPeer {
 public:
  HeadlessDialog(HeadlessBackend& backend, Dialog& dialog, const DialogTemplate& t)
      : backend_(backend), dialog_(dialog), t_(t), caption_(t.caption), menu_(t.menu) {
    Size base = backend.DialogBaseUnits();
    Rect r = talmor::MapDialogRect({0, 0, t.cx, t.cy}, base);
    placement_.normal_position = r;
    for (const ControlTemplate& c : t.controls) {
      controls_.push_back(
          std::make_unique<HeadlessControl>(*this, c, talmor::MapDialogRect(c.rect, base)));
    }
  }

  WindowHandle Handle() const override { return const_cast<HeadlessDialog*>(this); }
  HeadlessControl* FindControl(int id) override { return FindControlById(controls_, id); }
  std::string GetCaption() const override { return caption_; }
  void SetCaption(std::string_view caption) override { caption_ = caption; }
  int GetFocus() const override { return focus_; }
  void SetFocus(int id) override {
    if (id == focus_) return;
    int old = focus_;
    focus_ = id;
    dialog_.HandleFocusMove(old, id);
  }
  Rect GetWindowRect() const override { return placement_.normal_position; }
  void SetWindowRect(const Rect& rect) override { placement_.normal_position = rect; }
  Size GetClientSize() const override {
    return {placement_.normal_position.width(), placement_.normal_position.height()};
  }
  WindowPlacement GetPlacement() const override { return placement_; }
  void SetPlacement(const WindowPlacement& p) override { placement_ = p; }
  void SetTopmost(bool topmost) override { topmost_ = topmost; }
  bool IsTopmost() const override { return topmost_; }
  bool CheckMenuItem(int id, bool checked) override { return menu_.Check(id, checked); }
  int IsMenuItemChecked(int id) const override { return menu_.IsChecked(id); }
  bool EnableMenuItem(int id, bool enabled) override { return menu_.Enable(id, enabled); }
  int RunModal() override {
    if (ended_) return result_;
    open_dialogs.push_back(this);
    struct Pop {
      ~Pop() { open_dialogs.pop_back(); }
    } pop;
    return backend_.RunLoop(*this);
  }
  void EndModal(int result) override {
    ended_ = true;
    result_ = result;
  }

  // Fires a notification from control `id` to the dialog.
  void Notify(int id, talmor::Notify code) {
    if (FindControl(id) != nullptr) dialog_.HandleCommand(id, code);
  }

  void SetClientSize(int cx, int cy) {
    Rect& r = placement_.normal_position;
    r.right = r.left + cx;
    r.bottom = r.top + cy;
  }

  HeadlessBackend& backend_;
  Dialog& dialog_;
  const DialogTemplate& t_;
  std::string caption_;
  std::vector<std::unique_ptr<HeadlessControl>> controls_;
  MenuState menu_;
  WindowPlacement placement_;
  bool topmost_ = false;
  int focus_ = 0;
  bool ended_ = false;
  int result_ = kIdCancel;
};

HeadlessControl::HeadlessControl(HeadlessDialog& dialog, const ControlTemplate& t, Rect rect)
    : dialog_(dialog),
      t_(t),
      text_(t.kind == ControlKind::kListBox || t.kind == ControlKind::kComboBox ||
                    t.kind == ControlKind::kEdit
                ? std::string()
                : t.text),
      enabled_((t.style & kWsDisabled) == 0),
      visible_((t.style & kWsVisible) != 0),
      rect_(rect),
      list_(ListModel::For(t)) {
  if (t.kind == ControlKind::kEdit) text_ = t.text;
}

std::string HeadlessControl::GetText() const {
  if (t_.kind == ControlKind::kComboBox) {
    std::string text;
    list_->Text(list_->GetCurSel(), &text);
    return text;
  }
  return text_;
}

void HeadlessControl::Enable(bool enable) {
  enabled_ = enable;
  // A control that is disabled loses the focus, as on the platform.
  if (!enable && dialog_.GetFocus() == t_.id) dialog_.focus_ = 0;
}

ScrollInfo HeadlessControl::GetVerticalScroll() const {
  if (!list_) return ScrollInfo{};
  return list_->VerticalScroll(VisibleRows());
}

void HeadlessControl::ListChanged() {
  if (list_) list_->ClampTop(VisibleRows());
}

HeadlessBackend::~HeadlessBackend() = default;

void HeadlessBackend::InstallOperator(Operator* op) { installed_operator = op; }

Dialog* HeadlessBackend::InnermostDialog() {
  return open_dialogs.empty() || asking_for_answer ? nullptr : &open_dialogs.back()->dialog_;
}

std::unique_ptr<DialogPeer> HeadlessBackend::CreateDialogPeer(Dialog& dialog,
                                                              const DialogTemplate& t,
                                                              WindowHandle) {
  return std::make_unique<HeadlessDialog>(*this, dialog, t);
}

Operator* HeadlessBackend::CurrentOperator() {
  if (installed_operator != nullptr) return installed_operator;
  const std::optional<std::string> path = EnvironmentValue("TALMOR_UI_SCRIPT");
  if (!path) {
    script_.reset();
    script_path_.clear();
    return nullptr;
  }
  if (!script_ || script_path_ != *path) {
    script_path_ = *path;
    script_ = ScriptOperator::FromFile(*path);
    if (!script_) {
      script_ = std::make_unique<ScriptOperator>();
      Record("error\tcannot read script " + EscapeTranscriptText(*path));
    }
  }
  return script_.get();
}

namespace {

// Appends `text` to the transcript file, creating it readable by its owner only (0600 where the
// platform has such modes): what a dialog shows can be private. A failure loses the line only.
void AppendTranscriptLine(const char* path, const std::string& text) {
#ifdef _WIN32
  if (std::FILE* f = std::fopen(path, "ab")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
#else
  const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
#endif
}

}  // namespace

void HeadlessBackend::Record(const std::string& line) {
  if (installed_operator != nullptr) {
    installed_operator->Record(line);
  } else if (script_) {
    script_->Record(line);
  }
  const std::optional<std::string> path = EnvironmentValue("TALMOR_UI_TRANSCRIPT");
  if (!path) return;
  AppendTranscriptLine(path->c_str(), line + '\n');
}

namespace {

const char* IconName(unsigned style) {
  switch (style & kMbIconMask) {
    case kMbIconStop:
      return "stop";
    case kMbIconExclamation:
      return "exclamation";
    case kMbIconInformation:
      return "information";
    case kMbIconQuestion:
      return "question";
    default:
      return "none";
  }
}

const char* ButtonsName(unsigned buttons) {
  switch (buttons) {
    case kMbOkCancel:
      return "okcancel";
    case kMbYesNo:
      return "yesno";
    case kMbYesNoCancel:
      return "yesnocancel";
    default:
      return "ok";
  }
}

const char* AnswerName(int answer) {
  switch (answer) {
    case kIdCancel:
      return "cancel";
    case kIdYes:
      return "yes";
    case kIdNo:
      return "no";
    default:
      return "ok";
  }
}

int AnswerFor(const std::string& word, unsigned buttons) {
  bool ok = buttons == kMbOk || buttons == kMbOkCancel;
  bool cancel = buttons == kMbOkCancel || buttons == kMbYesNoCancel;
  bool yes_no = buttons == kMbYesNo || buttons == kMbYesNoCancel;
  if (word == "ok" && ok) return kIdOk;
  if (word == "cancel" && cancel) return kIdCancel;
  if (word == "yes" && yes_no) return kIdYes;
  if (word == "no" && yes_no) return kIdNo;
  return 0;
}

std::string IdText(int id) { return std::to_string(id); }

}  // namespace

int HeadlessBackend::ShowMessageBox(WindowHandle, std::string_view text, std::string_view caption,
                                    unsigned style) {
  const unsigned buttons = MessageBoxButtons(style);
  int answer = DismissAnswer(buttons);
  Operator* op = CurrentOperator();
  asking_for_answer = true;
  const Action* next = op ? op->Peek() : nullptr;
  asking_for_answer = false;
  if (next != nullptr && next->kind == ActionKind::kAnswer) {
    std::string word = next->text;
    op->Pop();
    if (int chosen = AnswerFor(word, buttons)) {
      answer = chosen;
    } else {
      Record("error\tanswer " + word + " does not fit a " + ButtonsName(buttons) + " box");
    }
  }
  Record(std::string("msgbox\t") + IconName(style) + "\t" + ButtonsName(buttons) + "\t" +
         EscapeTranscriptText(caption) + "\t" + EscapeTranscriptText(text) + "\t" +
         AnswerName(answer));
  return answer;
}

namespace {

void Dump(HeadlessBackend& backend, HeadlessDialog& d) {
  for (auto& c : d.controls_) {
    if (!c->IsVisible()) continue;  // what the operator sees
    const ControlTemplate& t = c->Template();
    bool checkable = t.kind == ControlKind::kCheckBox || t.kind == ControlKind::kRadioButton;
    std::string text = c->GetText();
    if (t.kind == ControlKind::kEdit && (t.style & kEsPassword)) text.assign(text.size(), '*');
    backend.Record("control\t" + IdText(t.id) + "\t" + ControlKindName(t.kind) + "\t" +
                   (c->IsEnabled() ? "1" : "0") + "\t" +
                   (checkable ? (c->GetCheck() == kChecked ? "1" : "0") : "-") + "\t" +
                   EscapeTranscriptText(text));
    if (const ListModel* list = c->List()) {
      for (int i = 0; i < list->Count(); ++i) {
        std::string entry;
        list->Text(i, &entry);
        backend.Record("item\t" + IdText(t.id) + "\t" + IdText(i) + "\t" +
                       (list->GetSel(i) > 0 ? "1" : "0") + "\t" + EscapeTranscriptText(entry));
      }
    }
  }
}

class Executor {
 public:
  Executor(HeadlessBackend& backend, HeadlessDialog& d) : backend_(backend), d_(d) {}

  void Run(const Action& a) {
    switch (a.kind) {
      case ActionKind::kType:
        Type(a);
        break;
      case ActionKind::kClick:
        Click(a.id);
        break;
      case ActionKind::kCheck:
      case ActionKind::kUncheck:
        SetCheck(a.id, a.kind == ActionKind::kCheck);
        break;
      case ActionKind::kSelect:
        Select(a, false);
        break;
      case ActionKind::kDblClick:
        Select(a, true);
        break;
      case ActionKind::kUnselect:
        Unselect(a.id);
        break;
      case ActionKind::kMenu:
        Menu(a.id);
        break;
      case ActionKind::kKey:
        KeyPress(a);
        break;
      case ActionKind::kScroll:
        ScrollList(a);
        break;
      case ActionKind::kResize:
        d_.SetClientSize(a.id, a.height);
        d_.dialog_.HandleSize(a.id, a.height);
        break;
      case ActionKind::kEscape:
        Escape();
        break;
      case ActionKind::kClose:
        d_.dialog_.HandleClose();
        break;
      case ActionKind::kEnter:
        Enter();
        break;
      case ActionKind::kDump:
        Dump(backend_, d_);
        break;
      case ActionKind::kAnswer:
        Error("no message box to answer");
        break;
      case ActionKind::kInvalid:
        Error(a.text);
        break;
      case ActionKind::kDialog:
        break;  // handled by the loop
    }
  }

 private:
  void Error(const std::string& message) {
    backend_.Record("error\t" + EscapeTranscriptText(message));
  }

  // The control `id` if the user can reach it; else logs why not and answers null.
  HeadlessControl* Reach(int id) {
    HeadlessControl* c = d_.FindControl(id);
    if (c == nullptr) {
      Error("no control " + IdText(id) + " in dialog " + IdText(d_.t_.id));
    } else if (!c->IsVisible()) {
      Error("control " + IdText(id) + " is hidden");
      c = nullptr;
    } else if (!c->IsEnabled()) {
      Error("control " + IdText(id) + " is disabled");
      c = nullptr;
    }
    return c;
  }

  void Type(const Action& a) {
    HeadlessControl* c = Reach(a.id);
    if (c == nullptr) return;
    if (c->Template().kind != ControlKind::kEdit)
      return Error("control " + IdText(a.id) + " takes no typing");
    if (c->Template().style & kEsReadOnly)
      return Error("control " + IdText(a.id) + " is read-only");
    d_.SetFocus(a.id);
    std::string text = a.text;
    size_t limit = static_cast<size_t>(c->GetLimitText());
    if (text.size() > limit) text.resize(limit);
    c->SetText(text);
    d_.Notify(a.id, Notify::kChange);
  }

  void Click(int id) {
    HeadlessControl* c = Reach(id);
    if (c == nullptr) return;
    const ControlTemplate& t = c->Template();
    switch (t.kind) {
      case ControlKind::kPushButton:
        break;
      case ControlKind::kCheckBox:
        c->SetCheck(c->GetCheck() == kChecked ? kUnchecked : kChecked);
        break;
      case ControlKind::kRadioButton:
        d_.dialog_.CheckRadioInGroup(id);
        break;
      default:
        return Error("control " + IdText(id) + " cannot be clicked");
    }
    d_.SetFocus(id);
    d_.Notify(id, Notify::kClicked);
  }

  void SetCheck(int id, bool checked) {
    HeadlessControl* c = Reach(id);
    if (c == nullptr) return;
    ControlKind kind = c->Template().kind;
    if (kind != ControlKind::kCheckBox && kind != ControlKind::kRadioButton) {
      return Error("control " + IdText(id) + " cannot be checked");
    }
    if (kind == ControlKind::kRadioButton && !checked) {
      return Error("radio button " + IdText(id) + " cannot be unchecked");
    }
    if ((c->GetCheck() == kChecked) != checked) Click(id);
  }

  void Select(const Action& a, bool double_click) {
    HeadlessControl* c = Reach(a.id);
    if (c == nullptr) return;
    ListModel* list = c->List();
    if (list == nullptr) return Error("control " + IdText(a.id) + " has no entries");
    int index = -1;
    for (int i = 0; i < list->Count(); ++i) {
      std::string entry;
      list->Text(i, &entry);
      if (entry == a.text) {
        index = i;
        break;
      }
    }
    if (index < 0) return Error("no entry " + a.text + " in control " + IdText(a.id));
    d_.SetFocus(a.id);
    if (list->multiple_selection() && !double_click) {
      list->SetSel(index, true);
    } else {
      list->SelectOnly(index);
    }
    c->ListChanged();
    d_.Notify(a.id, Notify::kSelChange);
    if (double_click) d_.Notify(a.id, Notify::kDoubleClick);
  }

  void Unselect(int id) {
    HeadlessControl* c = Reach(id);
    if (c == nullptr) return;
    ListModel* list = c->List();
    if (list == nullptr) return Error("control " + IdText(id) + " has no entries");
    d_.SetFocus(id);
    list->ClearSelection();
    d_.Notify(id, Notify::kSelChange);
  }

  void Menu(int id) {
    if (!d_.menu_.Has(id))
      return Error("no menu item " + IdText(id) + " in dialog " + IdText(d_.t_.id));
    if (!d_.menu_.IsEnabled(id)) return Error("menu item " + IdText(id) + " is disabled");
    d_.dialog_.HandleCommand(id, Notify::kMenu);
  }

  void KeyPress(const Action& a) {
    Key key;
    unsigned modifiers = 0;
    if (!ParseKey(a.text, &key, &modifiers)) return Error("unknown key " + a.text);
    HeadlessControl* c = Reach(a.id);
    if (c == nullptr) return;
    d_.SetFocus(a.id);
    if (key == Key::kEnter) return Enter();
    d_.dialog_.HandleKey(a.id, key);
    if (d_.ended_ || c->List() == nullptr) return;
    if (c->List()->MoveSelection(key, c->VisibleRows(), modifiers)) d_.Notify(a.id, Notify::kSelChange);
  }

  void ScrollList(const Action& a) {
    ScrollCode code;
    if (!ParseScroll(a.text, &code)) return Error("unknown scroll code " + a.text);
    HeadlessControl* c = Reach(a.id);
    if (c == nullptr) return;
    if (c->List() == nullptr) return Error("control " + IdText(a.id) + " does not scroll");
    d_.dialog_.HandleScroll(a.id, code);
    if (!d_.ended_) c->List()->Scroll(code, c->VisibleRows());
  }

  void Escape() {
    if (!d_.dialog_.HandleEscape()) Error("control 2 is disabled");
  }

  void Enter() {
    if (!d_.dialog_.HandleEnter())
      Error("default button " + IdText(d_.dialog_.EnterTarget()) + " is disabled");
  }

  HeadlessBackend& backend_;
  HeadlessDialog& d_;
};

}  // namespace

int HeadlessBackend::RunLoop(HeadlessDialog& d) {
  const int id = d.t_.id;
  Operator* op = CurrentOperator();
  Record("dialog\t" + IdText(id) + "\t" + EscapeTranscriptText(d.caption_));
  auto cancel = [&] {
    Executor(*this, d).Run(Action{ActionKind::kEscape, 0, 0, {}});
    if (!d.ended_) d.EndModal(kIdCancel);  // the dialog refused; the operator has gone
  };
  if (const Action* first = op ? op->Peek() : nullptr;
      first != nullptr && first->kind == ActionKind::kDialog) {
    int expected = first->id;
    op->Pop();
    if (expected != id) {
      Record("error\tdialog " + IdText(expected) + " expected, dialog " + IdText(id) + " shown");
      cancel();
    }
  }
  while (!d.ended_) {
    op = CurrentOperator();
    const Action* next = op ? op->Peek() : nullptr;
    if (next == nullptr || next->kind == ActionKind::kDialog) {
      cancel();
      break;
    }
    Action action = *next;
    op->Pop();
    Executor(*this, d).Run(action);
  }
  Record("end\t" + IdText(id) + "\t" + IdText(d.result_));
  return d.result_;
}

}  // namespace talmor
