#include "ui/qt/qt_backend.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/dialog_colors.h"
#include "ui/keyboard_navigation.h"
#include "ui/list_model.h"
#include "ui/menu_state.h"
#include "ui/message_box.h"

// Forces this object into every program that links the dialog framework, so that the backend
// registers itself (see the link option on talmor_ui).
extern "C" {
int talmor_qt_backend_anchor = 0;
}

namespace talmor {

class QtDialog;

namespace {

std::vector<QtDialog*> open_dialogs;
QMargins known_margins;  // the window system's frame around a dialog, once one was shown

// Texts are bytes, one character each, as the library stores them.
QString ToQt(std::string_view s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string FromQt(const QString& s) { return s.toLatin1().toStdString(); }

// A static's text as shown: "&x" underlines x on the platform; here the marker goes, "&&" is "&".
QString LabelText(std::string_view s) {
  QString out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') {
        out += QLatin1Char('&');
        ++i;
      }
      continue;
    }
    out += QLatin1Char(s[i]);
  }
  return out;
}

QColor ToQColor(Rgb c) { return QColor(c.red, c.green, c.blue); }

QPalette DialogPalette() {
  DialogColorScheme colors = DialogColors();
  QPalette p = QApplication::palette();
  QColor bg = ToQColor(colors.background);
  QColor fg = ToQColor(colors.text);
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::Window, bg);
    p.setColor(group, QPalette::Button, bg);
    p.setColor(group, QPalette::WindowText, fg);
    p.setColor(group, QPalette::ButtonText, fg);
    p.setColor(group, QPalette::Text, Qt::black);
    p.setColor(group, QPalette::Base, Qt::white);
  }
  // Disabled controls keep a readable contrast against the grey they stand on.
  const QColor disabled = ToQColor(DisabledTextColor(colors.background, colors.text));
  p.setColor(QPalette::Disabled, QPalette::Window, bg);
  p.setColor(QPalette::Disabled, QPalette::Button, bg);
  p.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
  p.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
  p.setColor(QPalette::Disabled, QPalette::Text, disabled);
  p.setColor(QPalette::Disabled, QPalette::Base, bg);
  return p;
}

// The style of the controls: the application's, with mnemonics always underlined, as the
// platform's dialogs show them.
class MnemonicStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == QStyle::SH_UnderlineShortcut) return 1;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

QStyle* ControlStyle() {
  static QPointer<MnemonicStyle> style;
  if (style.isNull()) style = new MnemonicStyle();
  return style;
}

// A static's text with its mnemonic underlined: rich text when it has one, else plain.
void SetLabelText(QLabel* label, std::string_view s) {
  if (MnemonicOf(s) == 0) {
    label->setTextFormat(Qt::PlainText);
    label->setText(LabelText(s));
    return;
  }
  QString html;
  bool underline = false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && i + 1 < s.size() && s[i + 1] != '&' && !underline) {
      html += QStringLiteral("<u>") + QString(QLatin1Char(s[i + 1])).toHtmlEscaped() +
              QStringLiteral("</u>");
      underline = true;
      ++i;
    } else if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') html += QStringLiteral("&amp;"), ++i;
    } else if (s[i] == '\n') {
      html += QStringLiteral("<br>");
    } else if (s[i] != '\r') {
      html += QString(QLatin1Char(s[i])).toHtmlEscaped();
    }
  }
  label->setTextFormat(Qt::RichText);
  label->setText(html);
}

QFont TemplateFont(std::string_view family, int point_size) {
  QFont font(ToQt(family));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(point_size > 0 ? point_size : 8);
  return font;
}

Size BaseUnitsOf(const QFont& font) {
  QFontMetrics fm(font);
  static const QString kAlphabet =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  int cx = (fm.horizontalAdvance(kAlphabet) / 26 + 1) / 2;
  return {std::max(1, cx), std::max(1, fm.height())};
}

QPixmap IconPixmap(int id, int scale) {
  const IconResource* icon = FindIconResource(id);
  if (icon == nullptr || icon->width <= 0 || icon->height <= 0) return QPixmap();
  QImage image(icon->width, icon->height, QImage::Format_ARGB32);
  for (int y = 0; y < icon->height; ++y) {
    for (int x = 0; x < icon->width; ++x) image.setPixel(x, y, icon->Pixel(x, y));
  }
  return QPixmap::fromImage(image.scaled(icon->width * scale, icon->height * scale));
}

// The character key of an Alt+key press that may be a mnemonic; 0 for anything else.
int MnemonicKey(const QKeyEvent& event) {
  Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
  if (!(mods & Qt::AltModifier) || (mods & (Qt::ControlModifier | Qt::MetaModifier))) return 0;
  int key = event.key();
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
  return 0;
}

}  // namespace

class QtControl;

// The dialog window: Enter, Escape and the close box are the dialog's, not QDialog's own.
class TalmorQDialog : public QDialog {
 public:
  TalmorQDialog(QtDialog& owner, QWidget* parent) : QDialog(parent), owner_(owner) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Tab and Shift+Tab from any control: the dialog's tab order, not the widgets'.
  bool focusNextPrevChild(bool next) override;
  // A modal dialog takes the keyboard when it appears.
  void showEvent(QShowEvent* event) override {
    QDialog::showEvent(event);
    activateWindow();
  }
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QtDialog& owner_;
};

// The client area: reports the user's resizing.
class ClientArea : public QWidget {
 public:
  ClientArea(QtDialog& owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QtDialog& owner_;
};

// A list box view over the control's ListModel; selection and navigation are the model's.
class ListAdapter : public QAbstractListModel {
 public:
  explicit ListAdapter(ListModel& list) : list_(list) {}
  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : list_.Count();
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole) return QVariant();
    std::string text;
    if (list_.Text(index.row(), &text) < 0) return QVariant();
    return ToQt(text);
  }
  void Reset() {
    beginResetModel();
    endResetModel();
  }

 private:
  ListModel& list_;
};

class ListView;

class TabStopDelegate : public QStyledItemDelegate {
 public:
  explicit TabStopDelegate(QtControl& control) : control_(control) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  QtControl& control_;
};

// Calls `on_release` when a mouse button is let go on the watched widget.
class ReleaseFilter : public QObject {
 public:
  ReleaseFilter(std::function<void()> on_release, QObject* parent)
      : QObject(parent), on_release_(std::move(on_release)) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease) on_release_();
    return false;
  }

 private:
  std::function<void()> on_release_;
};

// A check box or radio button that answers a click anywhere in its rectangle, as the platform's
// buttons do (Qt's own answer only on the indicator and the text).
template <class Button>
class WholeRectButton : public Button {
 public:
  WholeRectButton(const QString& text, QWidget* parent) : Button(text, parent) {
    this->setShortcut(QKeySequence());  // mnemonics are the dialog's (QtDialog::Mnemonic)
  }

 protected:
  bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
};

class ListView : public QListView {
 public:
  ListView(QtControl& control, QWidget* parent) : QListView(parent), control_(control) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent*) override {}
  void mouseReleaseEvent(QMouseEvent*) override {}

 private:
  QtControl& control_;
};

// A click on a control that takes the focus gives it the focus first, as the platform does,
// whether or not the window system has activated the window yet.
class ClickFocus : public QObject {
 public:
  ClickFocus(QtDialog& dialog, int id, bool enter_is_dialogs, QObject* parent)
      : QObject(parent), dialog_(dialog), id_(id), enter_is_dialogs_(enter_is_dialogs) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QtDialog& dialog_;
  int id_;
  bool enter_is_dialogs_;  // a multi-line edit without the want-return style
};

class QtControl : public ControlPeer {
 public:
  QtControl(QtDialog& dialog, const ControlTemplate& t, QWidget* parent, const QFont& font,
            Size base, Rect rect);

  const ControlTemplate& Template() const override { return t_; }
  std::string GetText() const override;
  void SetText(std::string_view text) override;
  bool IsEnabled() const override { return widget_->isEnabled(); }
  void Enable(bool enable) override;
  bool IsVisible() const override { return !widget_->isHidden(); }
  void Show(bool show) override;
  int GetCheck() const override;
  void SetCheck(int state) override;
  int GetLimitText() const override { return EditLimit(limit_); }
  void SetLimitText(int limit) override;
  Rect GetRect() const override {
    QRect g = widget_->geometry();
    return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
  }
  Size GetClientSize() const override {
    const QSize size = view_ ? view_->viewport()->size() : widget_->contentsRect().size();
    return {size.width(), size.height()};
  }
  void SetRect(const Rect& rect) override {
    widget_->setGeometry(rect.left, rect.top, rect.width(), rect.height());
    ListChanged();
  }
  // The sum of the characters' advances, from a table made once: a long list measures every
  // line it adds (and prefixes of it), and shaping each string would cost seconds.
  int TextWidth(std::string_view text) const override {
    if (!advances_) {
      advances_.emplace();
      const QFontMetrics fm(widget_->font());
      for (int c = 0; c < 256; ++c) (*advances_)[c] = fm.horizontalAdvance(QChar(c));
    }
    int width = 0;
    for (unsigned char c : text) width += (*advances_)[c];
    return width;
  }
  ListModel* List() override { return list_ ? &*list_ : nullptr; }
  const ListModel* List() const override { return list_ ? &*list_ : nullptr; }
  void SetTabStops(const std::vector<int>& stops) override {
    tab_stops_ = stops;
    if (view_) view_->viewport()->update();
  }
  std::vector<int> GetTabStops() const override { return tab_stops_; }
  void SetHorizontalExtent(int pixels) override {
    extent_ = pixels;
    ListChanged();
  }
  int GetHorizontalExtent() const override { return extent_; }
  int GetItemHeight() const override { return QFontMetrics(widget_->font()).height(); }
  ScrollInfo GetVerticalScroll() const override;
  void ListChanged() override;

  QWidget* widget() const { return widget_; }
  // Pixel positions of the tab stops for a line drawn from x = 0.
  int NextTabStop(int x) const;
  // The user's actions on a list box.
  void ListKey(Key key, unsigned modifiers);
  void ListClick(int row, Qt::KeyboardModifiers modifiers, bool double_click);
  void ListScrollAction(int action);
  void SyncList();

 private:
  friend class QtDialog;
  QtDialog& dialog_;
  const ControlTemplate& t_;
  Size base_;
  QWidget* widget_ = nullptr;
  QLineEdit* line_ = nullptr;
  QPlainTextEdit* text_edit_ = nullptr;
  QLabel* label_ = nullptr;
  QAbstractButton* button_ = nullptr;
  QGroupBox* group_ = nullptr;
  ListView* view_ = nullptr;
  QComboBox* combo_ = nullptr;
  std::unique_ptr<ListAdapter> adapter_;
  std::unique_ptr<TabStopDelegate> delegate_;
  std::string text_;  // statics, buttons and group boxes: the text as set, with its markers
  int check_ = kUnchecked;
  int limit_ = 0;
  std::optional<ListModel> list_;
  std::vector<int> tab_stops_;
  int extent_ = 0;
  mutable std::optional<std::array<int, 256>> advances_;
  bool syncing_ = false;
  bool sync_posted_ = false;
};

class QtDialog : public DialogPeer {
 public:
  QtDialog(Dialog& dialog, const DialogTemplate& t, WindowHandle owner);
  ~QtDialog() override;

  WindowHandle Handle() const override { return handle_; }
  QtControl* FindControl(int id) override { return FindControlById(controls_, id); }
  std::string GetCaption() const override { return FromQt(window_->windowTitle()); }
  void SetCaption(std::string_view caption) override { window_->setWindowTitle(ToQt(caption)); }
  int GetFocus() const override { return focus_; }
  void SetFocus(int id) override { FocusControl(id, Qt::OtherFocusReason); }
  Rect GetWindowRect() const override {
    QRect g = Frame();
    return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
  }
  // The client area inside the frame asked for, placed by its own corner: window managers
  // differ in how they take a frame's position for a window not yet shown.
  void SetWindowRect(const Rect& rect) override {
    asked_ = QRect(rect.left, rect.top, rect.width(), rect.height());
    const QRect client = asked_->marginsRemoved(Margins());
    window_->setGeometry(client.left(), client.top(), std::max(1, client.width()),
                         std::max(1, client.height()));
  }
  Size GetClientSize() const override { return {client_->width(), client_->height()}; }
  WindowPlacement GetPlacement() const override {
    WindowPlacement p = placement_;
    QRect g = Frame();
    // The normal geometry is the client area's: widen it by the frame, as GetWindowRect is.
    if (window_->isMaximized() || window_->isMinimized())
      g = window_->normalGeometry().marginsAdded(Margins());
    if (g.isValid())
      p.normal_position = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    // As the window is now, whoever changed it last (the library or the user).
    p.show_cmd = window_->isMaximized()   ? kShowMaximized
                 : window_->isMinimized() ? kShowMinimized
                                          : kShowNormal;
    return p;
  }
  void SetPlacement(const WindowPlacement& p) override {
    placement_ = p;
    SetWindowRect(p.normal_position);
    if (p.show_cmd == kShowMaximized) {
      window_->setWindowState(window_->windowState() | Qt::WindowMaximized);
    } else if (p.show_cmd == kShowNormal) {
      window_->setWindowState(window_->windowState() &
                              ~(Qt::WindowMaximized | Qt::WindowMinimized));
    }
  }
  void SetTopmost(bool topmost) override {
    topmost_ = topmost;
    // Changing a shown widget's flags hides it, which would end its modal loop: a shown
    // dialog changes only its window's flag.
    if (window_->isVisible() && window_->windowHandle() != nullptr) {
      window_->windowHandle()->setFlag(Qt::WindowStaysOnTopHint, topmost);
    } else {
      window_->setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    }
  }
  bool IsTopmost() const override { return topmost_; }
  bool CheckMenuItem(int id, bool checked) override {
    if (!menu_.Check(id, checked)) return false;
    actions_[id]->setCheckable(checked);
    actions_[id]->setChecked(checked);
    return true;
  }
  int IsMenuItemChecked(int id) const override { return menu_.IsChecked(id); }
  bool EnableMenuItem(int id, bool enabled) override {
    if (!menu_.Enable(id, enabled)) return false;
    actions_[id]->setEnabled(enabled);
    return true;
  }
  int RunModal() override;
  // The frame around the client area: as the window system reports it, else as learned from a
  // dialog shown before (none off screen, or before any was shown).
  QMargins Margins() const {
    const QRect f = window_->frameGeometry(), g = window_->geometry();
    if (f == g) return known_margins;
    return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
  }
  // The window's frame; once the modal loop is over, as it was when last shown (hidden, the
  // window system may no longer report it, and a placement stored from the client area alone
  // would creep by the frame at each reopening).
  QRect Frame() const {
    if (shown_ && !window_->isVisible()) return *shown_;
    return window_->geometry().marginsAdded(Margins());
  }
  // The window moved or was resized: once the window system reports the frame, it is learned,
  // and a frame asked for with other margins is given its place again.
  void FrameChanged() {
    if (!window_->isVisible() || window_->frameGeometry() == window_->geometry()) return;
    const QMargins margins = Margins();
    known_margins = margins;
    if (!asked_) return;
    const QRect client = asked_->marginsRemoved(margins);
    asked_.reset();
    if (window_->isMaximized() || window_->isMinimized()) return;  // its normal place stays
    if (client != window_->geometry() && client.isValid()) window_->setGeometry(client);
  }
  void EndModal(int result) override {
    ended_ = true;
    result_ = result;
    if (window_->isVisible()) {
      shown_ = Frame();
      if (window_->frameGeometry() != window_->geometry()) known_margins = Margins();
    }
    if (running_) window_->done(result);
  }

  void Notify(int id, talmor::Notify code) {
    if (FindControl(id) != nullptr) dialog_.HandleCommand(id, code);
  }
  // Qt's focus goes to control `id` and the dialog's focus follows. Qt's focus and the dialog's
  // must not part: when the window is activated again (a message box closes) Qt gives the focus
  // back to its own focus widget, and the dialog's focus would follow it there. A control that
  // cannot hold Qt's focus (disabled or hidden) leaves it with the dialog window itself.
  void FocusControl(int id, Qt::FocusReason reason) {
    if (QtControl* c = FindControl(id)) {
      QWidget* w = c->widget();
      suppress_focus_ = true;
      if (w->isEnabled() && !w->isHidden() && w->focusPolicy() != Qt::NoFocus) {
        w->setFocus(reason);
      } else {
        window_->setFocus(reason);
      }
      suppress_focus_ = false;
    }
    MoveFocus(id);
  }
  // The focus moves to control `id` (0: none): kKillFocus for the old one, kSetFocus for it.
  void MoveFocus(int id) {
    if (id == focus_) return;
    int old = focus_;
    focus_ = id;
    dialog_.HandleFocusMove(old, id);
  }
  void OnFocusChanged(QWidget* now);
  void Enter();
  void Escape();
  // The keyboard interface of the platform's dialogs (KeyboardNavigation decides): Tab and
  // Shift+Tab; Alt+key (false when no control has that mnemonic); an arrow key on radio button
  // `c` focuses and clicks the next button of its group (false for other keys).
  void TabFocus(bool forward);
  bool Mnemonic(int key);
  bool RadioArrow(QtControl& c, int key);
  KeyboardNavigation Navigation() const;
  void ClientResized(int cx, int cy) {
    if (!running_ || (cx == last_client_.cx && cy == last_client_.cy)) return;
    last_client_ = {cx, cy};
    dialog_.HandleSize(cx, cy);
  }
  void ButtonClicked(QtControl& c);

  Dialog& dialog_;
  const DialogTemplate& t_;
  TalmorQDialog* window_ = nullptr;
  ClientArea* client_ = nullptr;
  WindowHandle handle_ = nullptr;
  std::vector<std::unique_ptr<QtControl>> controls_;
  MenuState menu_;
  std::map<int, QAction*> actions_;
  WindowPlacement placement_;
  std::optional<QRect> shown_;  // the frame when the modal loop ended
  std::optional<QRect> asked_;  // the frame SetWindowRect asked for, until the frame is known
  Size last_client_;
  bool topmost_ = false;
  int focus_ = 0;
  bool suppress_focus_ = false;
  bool ended_ = false;
  bool running_ = false;
  int result_ = kIdCancel;
  QMetaObject::Connection focus_connection_;
  std::unique_ptr<QWindow> foreign_owner_;
};

bool ClickFocus::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
    auto* w = qobject_cast<QWidget*>(watched);
    // A press focuses its control before the control acts on it, as the window system does
    // for the user's own clicks (a click sent by a program moves no focus of Qt's).
    if (w != nullptr && w->isEnabled()) dialog_.FocusControl(id_, Qt::MouseFocusReason);
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key_event = static_cast<QKeyEvent*>(event);
    int key = key_event->key();
    if (int mnemonic = MnemonicKey(*key_event); mnemonic != 0 && dialog_.Mnemonic(mnemonic))
      return true;
    if (enter_is_dialogs_ && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      dialog_.Enter();
      return true;
    }
    QtControl* c = dialog_.FindControl(id_);
    if (c != nullptr && c->Template().kind == ControlKind::kRadioButton &&
        (key_event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        dialog_.RadioArrow(*c, key)) {
      return true;
    }
  }
  return false;
}

void TalmorQDialog::keyPressEvent(QKeyEvent* event) {
  // With the focus on no control (the window itself), a mnemonic still reaches the dialog.
  if (int mnemonic = MnemonicKey(*event); mnemonic != 0 && owner_.Mnemonic(mnemonic)) return;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (event->modifiers() & ~Qt::KeypadModifier) break;
      owner_.Enter();
      return;
    case Qt::Key_Escape:
      owner_.Escape();
      return;
    default:
      break;
  }
  QWidget::keyPressEvent(event);
}

bool TalmorQDialog::focusNextPrevChild(bool next) {
  if (owner_.suppress_focus_) {
    // Qt moves the focus on from a control being disabled or hidden; on the platform it goes
    // nowhere, and the dialog's focus says none: Qt's focus stays with the window.
    setFocus(Qt::OtherFocusReason);
    return true;
  }
  owner_.TabFocus(next);
  return true;
}

void TalmorQDialog::closeEvent(QCloseEvent* event) {
  event->ignore();  // the dialog decides, through EndDialog
  if (owner_.running_) owner_.dialog_.HandleClose();
}

bool TalmorQDialog::event(QEvent* event) {
  const bool done = QDialog::event(event);
  // Shown and activated: by now the window manager has framed the window.
  if (event->type() == QEvent::WindowActivate) owner_.FrameChanged();
  return done;
}

void TalmorQDialog::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  owner_.FrameChanged();
}

void TalmorQDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  owner_.FrameChanged();
}

void ClientArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  owner_.ClientResized(width(), height());
}

QtControl::QtControl(QtDialog& dialog, const ControlTemplate& t, QWidget* parent, const QFont& font,
                     Size base, Rect rect)
    : dialog_(dialog), t_(t), base_(base), list_(ListModel::For(t)) {
  const QString name = QStringLiteral("control-%1").arg(t.id);
  switch (t.kind) {
    case ControlKind::kEdit:
      if (t.style & kEsMultiLine) {
        text_edit_ = new QPlainTextEdit(parent);
        text_edit_->setPlainText(ToQt(t.text));
        text_edit_->setReadOnly((t.style & kEsReadOnly) != 0);
        text_edit_->setTabChangesFocus(true);
        text_edit_->setVerticalScrollBarPolicy((t.style & kWsVScroll) ? Qt::ScrollBarAsNeeded
                                                                      : Qt::ScrollBarAlwaysOff);
        text_edit_->setLineWrapMode((t.style & kEsAutoHScroll) ? QPlainTextEdit::NoWrap
                                                               : QPlainTextEdit::WidgetWidth);
        QObject::connect(text_edit_, &QPlainTextEdit::textChanged, [this] {
          if (syncing_) return;
          // Typing past the limit is cut, as the platform's edit refuses it.
          QString text = text_edit_->toPlainText();
          if (text.size() > GetLimitText()) {
            syncing_ = true;
            text_edit_->setPlainText(text.left(GetLimitText()));
            text_edit_->moveCursor(QTextCursor::End);
            syncing_ = false;
          }
          dialog_.Notify(t_.id, Notify::kChange);
        });
        widget_ = text_edit_;
      } else {
        line_ = new QLineEdit(parent);
        line_->setMaxLength(kDefaultEditLimit);
        line_->setText(ToQt(t.text));
        line_->setReadOnly((t.style & kEsReadOnly) != 0);
        if (t.style & kEsPassword) line_->setEchoMode(QLineEdit::Password);
        QObject::connect(line_, &QLineEdit::textEdited,
                         [this] { dialog_.Notify(t_.id, Notify::kChange); });
        widget_ = line_;
      }
      break;
    case ControlKind::kStatic:
      text_ = t.text;
      label_ = new QLabel(parent);
      SetLabelText(label_, t.text);
      label_->setWordWrap(true);
      label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      widget_ = label_;
      break;
    case ControlKind::kIcon: {
      label_ = new QLabel(parent);
      int scale = std::max(1, std::min(rect.width(), rect.height()) / 16);
      label_->setPixmap(IconPixmap(t.icon, std::min(scale, 2)));
      label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      widget_ = label_;
      break;
    }
    case ControlKind::kPushButton: {
      text_ = t.text;
      auto* b = new QPushButton(ToQt(t.text), parent);
      // Enter belongs to the dialog (default push button or the focused button).
      b->setAutoDefault(false);
      b->setDefault(IsDefaultPushButton(t));
      b->setShortcut(QKeySequence());  // mnemonics are the dialog's (QtDialog::Mnemonic)
      button_ = b;
      widget_ = b;
      break;
    }
    case ControlKind::kCheckBox:
      text_ = t.text;
      button_ = new WholeRectButton<QCheckBox>(ToQt(t.text), parent);
      widget_ = button_;
      break;
    case ControlKind::kRadioButton:
      text_ = t.text;
      button_ = new WholeRectButton<QRadioButton>(ToQt(t.text), parent);
      // Groups follow the template's group bits, not the widgets' parent.
      button_->setAutoExclusive(false);
      widget_ = button_;
      break;
    case ControlKind::kGroupBox:
      text_ = t.text;
      group_ = new QGroupBox(LabelText(t.text), parent);
      widget_ = group_;
      break;
    case ControlKind::kListBox: {
      adapter_ = std::make_unique<ListAdapter>(*list_);
      delegate_ = std::make_unique<TabStopDelegate>(*this);
      view_ = new ListView(*this, parent);
      view_->setModel(adapter_.get());
      view_->setItemDelegate(delegate_.get());
      view_->setSelectionMode(QAbstractItemView::NoSelection);
      view_->setUniformItemSizes(true);
      view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
      view_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
      view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
      view_->setVerticalScrollBarPolicy((t.style & kWsVScroll) ? Qt::ScrollBarAsNeeded
                                                               : Qt::ScrollBarAlwaysOff);
      view_->setHorizontalScrollBarPolicy((t.style & kWsHScroll) ? Qt::ScrollBarAsNeeded
                                                                 : Qt::ScrollBarAlwaysOff);
      QObject::connect(view_->verticalScrollBar(), &QScrollBar::actionTriggered,
                       [this](int action) { ListScrollAction(action); });
      // The end of every scroll made with the mouse (an arrow, the page areas, the thumb):
      // when the button is let go on the bar.
      view_->verticalScrollBar()->installEventFilter(
          new ReleaseFilter([this] { dialog_.dialog_.HandleScroll(t_.id, ScrollCode::kEndScroll); },
                            view_->verticalScrollBar()));
      QObject::connect(view_->verticalScrollBar(), &QScrollBar::valueChanged, [this](int value) {
        if (!syncing_ && list_->Count() > 0)
          list_->SetTopIndex(std::min(value, list_->Count() - 1));
      });
      widget_ = view_;
      break;
    }
    case ControlKind::kComboBox:
      combo_ = new QComboBox(parent);
      combo_->setEditable(false);
      QObject::connect(combo_, &QComboBox::activated, [this](int index) {
        if (syncing_) return;
        list_->SetCurSel(index);
        dialog_.Notify(t_.id, Notify::kSelChange);
      });
      widget_ = combo_;
      break;
  }
  if (t.id != kIdStatic) widget_->setObjectName(name);
  // For drivers and checks: where the control stands in its template, and its text as set.
  widget_->setProperty("talmorIndex", static_cast<int>(&t - dialog.t_.controls.data()));
  widget_->setProperty("talmorText", ToQt(text_));
  widget_->setFont(font);
  widget_->setStyle(ControlStyle());
  widget_->setEnabled((t.style & kWsDisabled) == 0);
  widget_->setVisible((t.style & kWsVisible) != 0);
  if (t.kind == ControlKind::kStatic || t.kind == ControlKind::kIcon ||
      t.kind == ControlKind::kGroupBox) {
    widget_->setFocusPolicy(Qt::NoFocus);
  } else {
    widget_->setFocusPolicy((t.style & kWsTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
  }
  if (t.id != kIdStatic && widget_->focusPolicy() != Qt::NoFocus) {
    auto* filter = new ClickFocus(dialog, t.id,
                                  text_edit_ != nullptr && (t.style & kEsWantReturn) == 0, widget_);
    widget_->installEventFilter(filter);
    if (view_) view_->viewport()->installEventFilter(filter);
  }
  if (button_ != nullptr) {
    QObject::connect(button_, &QAbstractButton::clicked, [this] { dialog_.ButtonClicked(*this); });
  }
  if (combo_ != nullptr) {
    // The drop-down list's height is part of the template's rectangle; the closed box is one
    // line high.
    int closed = std::max(combo_->sizeHint().height(), QFontMetrics(font).height() + 8);
    widget_->setGeometry(rect.left, rect.top, rect.width(), std::min(rect.height(), closed));
  } else {
    widget_->setGeometry(rect.left, rect.top, rect.width(), rect.height());
  }
}

std::string QtControl::GetText() const {
  if (line_) return FromQt(line_->text());
  if (text_edit_) {
    // Multi-line edits hold their lines joined by CR LF, as the platform's do; Qt keeps LF.
    QString text = text_edit_->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return FromQt(text);
  }
  if (combo_) {
    std::string text;
    list_->Text(list_->GetCurSel(), &text);
    return text;
  }
  if (view_) return std::string();
  return text_;
}

void QtControl::SetText(std::string_view text) {
  syncing_ = true;
  if (line_) {
    line_->setText(ToQt(text));
  } else if (text_edit_) {
    QString lines = ToQt(text);
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text_edit_->setPlainText(lines);
  } else if (label_ && t_.kind == ControlKind::kStatic) {
    text_ = text;
    SetLabelText(label_, text);
  } else if (group_) {
    text_ = text;
    group_->setTitle(LabelText(text));
  } else if (button_) {
    text_ = text;
    button_->setText(ToQt(text));
    button_->setShortcut(QKeySequence());  // setText takes the mnemonic as Qt's shortcut
  }
  syncing_ = false;
  widget_->setProperty("talmorText", ToQt(text_));
}

void QtControl::Show(bool show) {
  // Hiding the focused control moves no focus of the dialog's (Qt's stays with the window).
  dialog_.suppress_focus_ = true;
  widget_->setVisible(show);
  dialog_.suppress_focus_ = false;
}

void QtControl::Enable(bool enable) {
  // A control that is disabled loses the focus silently, as on the platform.
  dialog_.suppress_focus_ = true;
  widget_->setEnabled(enable);
  dialog_.suppress_focus_ = false;
  if (!enable && dialog_.focus_ == t_.id) dialog_.focus_ = 0;
}

int QtControl::GetCheck() const {
  if (t_.kind == ControlKind::kCheckBox || t_.kind == ControlKind::kRadioButton) {
    return button_->isChecked() ? kChecked : kUnchecked;
  }
  return check_;
}

void QtControl::SetCheck(int state) {
  check_ = state;
  if (t_.kind == ControlKind::kCheckBox || t_.kind == ControlKind::kRadioButton) {
    button_->setChecked(state == kChecked);
  }
}

void QtControl::SetLimitText(int limit) {
  limit_ = limit;
  if (line_) line_->setMaxLength(GetLimitText());
}

ScrollInfo QtControl::GetVerticalScroll() const {
  return list_ ? list_->VerticalScroll(VisibleRows()) : ScrollInfo{};
}

void QtControl::ListChanged() {
  if (!list_) return;
  list_->ClampTop(VisibleRows());
  // Filling a long list calls this once an entry: the widget catches up once, later.
  if (sync_posted_) return;
  sync_posted_ = true;
  QMetaObject::invokeMethod(
      widget_,
      [this] {
        if (sync_posted_) SyncList();  // unless a direct sync came first
      },
      Qt::QueuedConnection);
}

void QtControl::SyncList() {
  if (!list_) return;
  sync_posted_ = false;
  syncing_ = true;
  if (view_) {
    adapter_->Reset();
    // Laid out now rather than at the view's next timer, so the scroll range is right before
    // anything (the user's next action, the top index below) uses it.
    view_->doItemsLayout();
    view_->verticalScrollBar()->setValue(list_->top_index());
    view_->viewport()->update();
  } else if (combo_) {
    combo_->clear();
    for (int i = 0; i < list_->Count(); ++i) {
      std::string text;
      list_->Text(i, &text);
      combo_->addItem(ToQt(text));
    }
    combo_->setCurrentIndex(list_->GetCurSel());
  }
  syncing_ = false;
}

int QtControl::NextTabStop(int x) const {
  // Stops in dialog units; none given: every 32 units; beyond the last, at its spacing.
  std::vector<int> stops = tab_stops_;
  if (stops.empty()) stops.push_back(32);
  int spacing = stops.size() == 1 ? stops[0] : stops.back() - stops[stops.size() - 2];
  if (spacing <= 0) spacing = 32;
  for (int du : stops) {
    int px = du * base_.cx / 4;
    if (px > x) return px;
  }
  int du = stops.back();
  while (du * base_.cx / 4 <= x) du += spacing;
  return du * base_.cx / 4;
}

void QtControl::ListKey(Key key, unsigned modifiers) {
  dialog_.dialog_.HandleKey(t_.id, key);
  if (dialog_.ended_ || list_->Count() == 0) return;
  const bool changed = list_->MoveSelection(key, VisibleRows(), modifiers);
  ListChanged();
  if (changed) dialog_.Notify(t_.id, Notify::kSelChange);
}

void QtControl::ListClick(int row, Qt::KeyboardModifiers modifiers, bool double_click) {
  if (!list_->Click(row, !double_click && (modifiers & Qt::ControlModifier),
                    !double_click && (modifiers & Qt::ShiftModifier))) {
    return;
  }
  ListChanged();
  SyncList();
  dialog_.Notify(t_.id, Notify::kSelChange);
  if (double_click && !dialog_.ended_) dialog_.Notify(t_.id, Notify::kDoubleClick);
}

void QtControl::ListScrollAction(int action) {
  ScrollCode code;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      code = ScrollCode::kLineDown;
      break;
    case QAbstractSlider::SliderSingleStepSub:
      code = ScrollCode::kLineUp;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      code = ScrollCode::kPageDown;
      break;
    case QAbstractSlider::SliderPageStepSub:
      code = ScrollCode::kPageUp;
      break;
    case QAbstractSlider::SliderToMinimum:
      code = ScrollCode::kTop;
      break;
    case QAbstractSlider::SliderToMaximum:
      code = ScrollCode::kBottom;
      break;
    default:
      return;
  }
  dialog_.dialog_.HandleScroll(t_.id, code);
  if (code == ScrollCode::kBottom && !dialog_.ended_) {
    // The action aimed at the end the list had before the dialog saw it; the dialog may have
    // added lines since: aim at the end it has now.
    SyncList();
    QScrollBar* bar = view_->verticalScrollBar();
    bar->setSliderPosition(bar->maximum());
  }
}

void TabStopDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  const ListModel* list = control_.List();
  int row = index.row();
  bool selected = list->GetSel(row) > 0;
  QRect r = option.rect;
  const QPalette& pal = option.palette;
  painter->save();
  if (selected) painter->fillRect(r, pal.color(QPalette::Active, QPalette::Highlight));
  painter->setPen(selected ? pal.color(QPalette::Active, QPalette::HighlightedText)
                           : pal.color(QPalette::Text));
  painter->setFont(option.font);
  std::string text;
  list->Text(row, &text);
  QFontMetrics fm(option.font);
  bool tabs = (control_.Template().style & kLbsUseTabStops) != 0;
  int x = 2;
  size_t start = 0;
  while (start <= text.size()) {
    size_t tab = text.find('\t', start);
    std::string_view piece(text.data() + start,
                           (tab == std::string::npos ? text.size() : tab) - start);
    QString q = ToQt(piece);
    painter->drawText(QRect(r.left() + x, r.top(), fm.horizontalAdvance(q) + 1, r.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, q);
    x += fm.horizontalAdvance(q);
    if (tab == std::string::npos) break;
    x = tabs ? 2 + control_.NextTabStop(x - 2) : x + fm.horizontalAdvance(QLatin1Char(' '));
    start = tab + 1;
  }
  bool caret = list->multiple_selection() ? list->caret() == row : list->GetCurSel() == row;
  if (caret && option.state & QStyle::State_HasFocus) {
    painter->setPen(QPen(pal.color(QPalette::Text), 1, Qt::DotLine));
    painter->drawRect(r.adjusted(0, 0, -1, -1));
  } else if (caret && control_.widget()->hasFocus()) {
    painter->setPen(QPen(pal.color(QPalette::Text), 1, Qt::DotLine));
    painter->drawRect(r.adjusted(0, 0, -1, -1));
  }
  painter->restore();
}

QSize TabStopDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return QSize(std::max(1, control_.GetHorizontalExtent()), control_.GetItemHeight());
}

namespace {
std::optional<Key> NavigationKey(int qt_key) {
  switch (qt_key) {
    case Qt::Key_Down:
      return Key::kDown;
    case Qt::Key_PageDown:
      return Key::kPageDown;
    case Qt::Key_End:
      return Key::kEnd;
    case Qt::Key_Up:
      return Key::kUp;
    case Qt::Key_PageUp:
      return Key::kPageUp;
    case Qt::Key_Home:
      return Key::kHome;
    case Qt::Key_Left:
      return Key::kLeft;
    case Qt::Key_Right:
      return Key::kRight;
    default:
      return std::nullopt;
  }
}
}  // namespace

void ListView::keyPressEvent(QKeyEvent* event) {
  std::optional<Key> key = NavigationKey(event->key());
  if (!key && event->key() == Qt::Key_Space) key = Key::kSpace;
  if (key) {
    const Qt::KeyboardModifiers mods = event->modifiers();
    control_.ListKey(*key, ((mods & Qt::ShiftModifier) ? kKeyShift : 0) |
                               ((mods & Qt::ControlModifier) ? kKeyCtrl : 0));
    return;
  }
  event->ignore();  // Enter, Escape and Tab go to the dialog
}

void ListView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  QModelIndex index = indexAt(event->position().toPoint());
  if (index.isValid()) control_.ListClick(index.row(), event->modifiers(), false);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
  QModelIndex index = indexAt(event->position().toPoint());
  if (index.isValid()) control_.ListClick(index.row(), event->modifiers(), true);
}

QtDialog::QtDialog(Dialog& dialog, const DialogTemplate& t, WindowHandle owner)
    : dialog_(dialog), t_(t), menu_(t.menu) {
  QWidget* parent = nullptr;
  if (owner != nullptr) {
    if (QWidget* w = QWidget::find(reinterpret_cast<WId>(owner))) parent = w->window();
  }
  window_ = new TalmorQDialog(*this, parent);
  window_->setObjectName(QStringLiteral("dialog-%1").arg(t.id));
  window_->setWindowTitle(ToQt(t.caption));
  window_->setPalette(DialogPalette());
  window_->setAutoFillBackground(true);
  window_->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  if (!(t.style & kWsThickFrame)) window_->setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
  QFont font = TemplateFont(t.font_name, t.font_size);
  window_->setFont(font);
  Size base = BaseUnitsOf(font);

  auto* layout = new QVBoxLayout(window_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (t.menu != 0) {
    if (const MenuTemplate* m = FindMenuTemplate(t.menu)) {
      auto* bar = new QMenuBar(window_);
      bar->setObjectName(QStringLiteral("menu"));
      bar->setNativeMenuBar(false);
      for (const MenuPopupTemplate& p : m->popups) {
        QMenu* popup = bar->addMenu(ToQt(p.text));
        for (const MenuItemTemplate& item : p.items) {
          if (item.separator) {
            popup->addSeparator();
            continue;
          }
          QAction* action = popup->addAction(ToQt(item.text));
          action->setObjectName(QStringLiteral("menu-%1").arg(item.id));
          // Only a checked item shows a check box, and only while checked.
          action->setCheckable(item.checked);
          action->setChecked(item.checked);
          actions_[item.id] = action;
          int id = item.id;
          QObject::connect(action, &QAction::triggered, [this, action, id] {
            // The check mark is the dialog's to set: undo Qt's own toggle first.
            action->setChecked(menu_.IsChecked(id) == 1);
            dialog_.HandleCommand(id, Notify::kMenu);
          });
        }
      }
      layout->setMenuBar(bar);
    }
  }
  client_ = new ClientArea(*this, window_);
  client_->setObjectName(QStringLiteral("client"));
  layout->addWidget(client_);
  Rect r = talmor::MapDialogRect({0, 0, t.cx, t.cy}, base);
  last_client_ = {r.width(), r.height()};
  if (t.style & kWsThickFrame) {
    client_->resize(r.width(), r.height());
    window_->resize(r.width(),
                    r.height() + (layout->menuBar() ? layout->menuBar()->sizeHint().height() : 0));
  } else {
    client_->setFixedSize(r.width(), r.height());
    layout->setSizeConstraint(QLayout::SetFixedSize);
  }
  for (const ControlTemplate& c : t.controls) {
    controls_.push_back(std::make_unique<QtControl>(*this, c, client_, font, base,
                                                    talmor::MapDialogRect(c.rect, base)));
  }
  // Group boxes frame the controls drawn over them.
  for (auto& c : controls_) {
    if (c->Template().kind == ControlKind::kGroupBox) c->widget()->lower();
  }
  // Assistive tools name an edit, list or combo box by the static or group box before it, as
  // shown (buttons are named by their own text); else by the dialog's caption.
  QString label = LabelText(t.caption);
  for (auto& c : controls_) {
    const ControlKind kind = c->Template().kind;
    if (kind == ControlKind::kStatic || kind == ControlKind::kGroupBox) {
      if (!LabelText(c->text_).trimmed().isEmpty()) label = LabelText(c->text_).trimmed();
    } else if (kind == ControlKind::kEdit || kind == ControlKind::kListBox ||
               kind == ControlKind::kComboBox) {
      c->widget()->setAccessibleName(label);
    }
  }
  handle_ = reinterpret_cast<WindowHandle>(window_->winId());
  if (parent == nullptr && owner != nullptr && QGuiApplication::platformName() == "xcb") {
    // A window of another toolkit in this process or another: keep the dialog above it.
    foreign_owner_.reset(QWindow::fromWinId(reinterpret_cast<WId>(owner)));
    if (foreign_owner_) window_->windowHandle()->setTransientParent(foreign_owner_.get());
  }
  // Centre over the owner, or on the screen.
  QRect area = parent ? parent->frameGeometry()
                      : (QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->availableGeometry()
                             : QRect(0, 0, 1024, 768));
  // The layout fixes the window's size now, so that the placement and the dialog's first
  // GetWindowRect (before the window is shown) see the size it will have.
  layout->activate();
  QSize size = window_->size();
  window_->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
  QRect g = window_->frameGeometry();
  placement_.normal_position = {g.left(), g.top(), g.left() + size.width(),
                                g.top() + size.height()};
  focus_connection_ = QObject::connect(qApp, &QApplication::focusChanged,
                                       [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
}

QtDialog::~QtDialog() {
  QObject::disconnect(focus_connection_);
  controls_.clear();
  delete window_;
  foreign_owner_.reset();
}

void QtDialog::OnFocusChanged(QWidget* now) {
  if (suppress_focus_ || now == nullptr || now->window() != window_) return;
  for (auto& c : controls_) {
    QWidget* w = c->widget();
    if (c->Template().id != kIdStatic && (now == w || w->isAncestorOf(now))) {
      MoveFocus(c->Template().id);
      return;
    }
  }
}

void QtDialog::ButtonClicked(QtControl& c) {
  const ControlTemplate& t = c.Template();
  if (t.kind == ControlKind::kRadioButton) dialog_.CheckRadioInGroup(t.id);
  MoveFocus(t.id);
  Notify(t.id, Notify::kClicked);
}

void QtDialog::Enter() {
  if (!dialog_.HandleEnter()) QApplication::beep();
}

KeyboardNavigation QtDialog::Navigation() const {
  std::vector<const ControlPeer*> peers;
  for (const auto& c : controls_) peers.push_back(c.get());
  return KeyboardNavigation(dialog_, std::move(peers));
}

void QtDialog::TabFocus(bool forward) {
  int target = Navigation().TabTarget(focus_, forward);
  if (target >= 0) FocusControl(controls_[target]->Template().id, Qt::TabFocusReason);
}

bool QtDialog::Mnemonic(int key) {
  const KeyboardNavigation navigation = Navigation();
  const int i = navigation.MnemonicTarget(focus_, key);
  if (i < 0) return false;
  if (navigation.IsLabel(i)) {
    int target = navigation.NextStop(i, true);
    if (target >= 0) FocusControl(controls_[target]->Template().id, Qt::ShortcutFocusReason);
    return true;
  }
  // As a click: the button takes the focus, then acts.
  QPointer<QAbstractButton> pressed(controls_[i]->button_);
  FocusControl(controls_[i]->Template().id, Qt::ShortcutFocusReason);
  if (pressed && pressed->isEnabled() && !ended_) pressed->click();
  return true;
}

bool QtDialog::RadioArrow(QtControl& c, int key) {
  std::optional<Key> arrow = NavigationKey(key);
  std::optional<int> target =
      arrow ? Navigation().RadioArrowTarget(c.Template().id, *arrow) : std::nullopt;
  if (!target) return false;
  if (*target < 0) return true;  // alone in its group: the arrow goes nowhere
  QtControl& other = *controls_[*target];
  QPointer<QAbstractButton> button(other.button_);
  FocusControl(other.Template().id, Qt::TabFocusReason);
  if (button && !ended_) button->click();
  return true;
}

void QtDialog::Escape() { dialog_.HandleEscape(); }

int QtDialog::RunModal() {
  if (ended_) return result_;
  for (auto& c : controls_) c->SyncList();
  open_dialogs.push_back(this);
  struct Pop {
    QtDialog* d;
    ~Pop() {
      d->running_ = false;
      open_dialogs.erase(std::remove(open_dialogs.begin(), open_dialogs.end(), d),
                         open_dialogs.end());
    }
  } pop{this};
  running_ = true;
  window_->setModal(true);
  window_->exec();
  return result_;
}

namespace {
// The least width of a message box whose caption bar shows `title` whole.
int MessageBoxTitleWidth(const QString& title) {
  QFont font = QApplication::font("QMdiSubWindowTitleBar");
  font.setBold(true);
  return QFontMetrics(font).horizontalAdvance(title) + 4 * QFontMetrics(font).height() + 96;
}
}  // namespace

// --- the backend ------------------------------------------------------------------------------

namespace {

bool PluginInstalled(const QString& name) {
  QString dir = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/");
  if (QFileInfo::exists(dir + QStringLiteral("libq") + name + QStringLiteral(".so"))) return true;
  // A plug-in path of the host's own.
  if (const char* extra = std::getenv("QT_PLUGIN_PATH"); extra != nullptr && *extra != '\0') {
    for (const QString& p : QString::fromLocal8Bit(extra).split(QLatin1Char(':'))) {
      if (QFileInfo::exists(p + QStringLiteral("/platforms/libq") + name + QStringLiteral(".so")))
        return true;
    }
  }
  return false;
}

bool UnixSocketAnswers(const std::string& path, bool abstract) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof(addr.sun_path)) {
    ::close(fd);
    return false;
  }
  std::memcpy(addr.sun_path + offset, path.data(), path.size());
  socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0;
  ::close(fd);
  return ok;
}

// A local X display (":N" or ":N.S", or a socket path) whose server accepts connections. Remote
// displays are trusted as given.
bool XDisplayAnswers(const std::string& display) {
  if (display.empty()) return false;
  if (display[0] == '/') return UnixSocketAnswers(display.substr(0, display.rfind(':')), false);
  size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  std::string host = display.substr(0, colon);
  if (!host.empty() && host != "unix" && host != "localhost") return true;
  std::string number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
  std::string path = "/tmp/.X11-unix/X" + number;
  return UnixSocketAnswers(path, true) || UnixSocketAnswers(path, false);
}

bool WaylandAnswers(const std::string& display) {
  std::string path = display;
  if (path.empty()) return false;
  if (path[0] != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0') return false;
    path = std::string(runtime) + "/" + display;
  }
  return UnixSocketAnswers(path, false);
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool application_failed = false;

// The platform Qt may start on here: "" for none, "given" when QT_QPA_PLATFORM names one that
// can start, else "wayland" or "xcb" for the display that answered.
std::string StartablePlatform() {
  std::string platform = Env("QT_QPA_PLATFORM");
  if (!platform.empty()) {
    // "name:options" or a list "a;b": the first one is what Qt tries first.
    std::string name = platform.substr(0, platform.find_first_of(";:"));
    if (!PluginInstalled(QString::fromStdString(name))) return "";
    if (name == "xcb" && !XDisplayAnswers(Env("DISPLAY"))) return "";
    if (name.rfind("wayland", 0) == 0 && !WaylandAnswers(Env("WAYLAND_DISPLAY"))) return "";
    return "given";
  }
  std::string wayland = Env("WAYLAND_DISPLAY");
  if (!wayland.empty() && PluginInstalled(QStringLiteral("wayland")) && WaylandAnswers(wayland))
    return "wayland";
  std::string x = Env("DISPLAY");
  if (!x.empty() && PluginInstalled(QStringLiteral("xcb")) && XDisplayAnswers(x)) return "xcb";
  return "";
}

}  // namespace

bool QtBackend::DisplayAvailable() {
  if (QCoreApplication::instance() != nullptr) {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
  }
  return !StartablePlatform().empty();
}

bool QtBackend::EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
  }
  if (application_failed) return false;
  static std::string platform = StartablePlatform();
  if (platform.empty()) {
    application_failed = true;
    return false;
  }
  // Only the platform that answered, so that Qt has nothing else to try (and fail on); the
  // host's environment is left as it is. Kept for the life of the process: the host may open
  // dialogs at any time.
  static char name[] = "talmor";
  static char option[] = "-platform";
  static int argc = platform == "given" ? 1 : 3;
  static char* argv[] = {name, option, platform.data(), nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
  return true;
}

Dialog* QtBackend::InnermostDialog() {
  return open_dialogs.empty() ? nullptr : &open_dialogs.back()->dialog_;
}

void QtBackend::ForceCancelInnermost() {
  if (open_dialogs.empty()) return;
  QtDialog* d = open_dialogs.back();
  d->Escape();
  if (d->running_ && !d->ended_) d->EndModal(kIdCancel);
}

QtBackend::QtBackend() { EnsureApplication(); }
QtBackend::~QtBackend() = default;

Size QtFontBaseUnits(std::string_view family, int point_size) {
  if (!QtBackend::EnsureApplication()) return {8, 16};
  return BaseUnitsOf(TemplateFont(family, point_size));
}

// Without a QApplication (no display) nothing can be measured: the headless backend's measures.
Size QtBackend::DialogBaseUnits() const {
  if (!EnsureApplication()) return {8, 16};
  return QtFontBaseUnits("MS Sans Serif", 8);
}

int QtBackend::TextWidth(std::string_view text) const {
  if (!EnsureApplication()) return 6 * static_cast<int>(text.size());
  return QFontMetrics(TemplateFont("MS Sans Serif", 8)).horizontalAdvance(ToQt(text));
}

Size QtBackend::ScreenSize() const {
  if (!EnsureApplication()) return {1024, 768};
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {1024, 768};
  return {screen->geometry().width(), screen->geometry().height()};
}

std::unique_ptr<DialogPeer> QtBackend::CreateDialogPeer(Dialog& dialog, const DialogTemplate& t,
                                                        WindowHandle owner) {
  if (!EnsureApplication()) return nullptr;
  return std::make_unique<QtDialog>(dialog, t, owner);
}

int QtBackend::ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                              unsigned style) {
  const unsigned buttons = MessageBoxButtons(style);
  const int fallback = DismissAnswer(buttons);
  if (!EnsureApplication()) return fallback;
  QWidget* parent = nullptr;
  if (owner != nullptr) {
    if (QWidget* w = QWidget::find(reinterpret_cast<WId>(owner))) parent = w->window();
  }
  QMessageBox box(parent);
  box.setObjectName(QStringLiteral("message-box"));
  box.setWindowTitle(ToQt(caption));
  box.setText(ToQt(text));
  box.setPalette(DialogPalette());
  box.setFont(TemplateFont("MS Sans Serif", 8));
  switch (style & kMbIconMask) {
    case kMbIconStop:
      box.setIcon(QMessageBox::Critical);
      break;
    case kMbIconQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case kMbIconExclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case kMbIconInformation:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  std::vector<std::pair<QMessageBox::StandardButton, int>> map;
  switch (buttons) {
    case kMbOkCancel:
      map = {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}};
      break;
    case kMbYesNo:
      map = {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}};
      break;
    case kMbYesNoCancel:
      map = {
          {QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}, {QMessageBox::Cancel, kIdCancel}};
      break;
    default:
      map = {{QMessageBox::Ok, kIdOk}};
      break;
  }
  QMessageBox::StandardButtons set;
  for (auto& [b, id] : map) set |= b;
  box.setStandardButtons(set);
  // Wide enough for the title in a caption bar (its bold font, the icon and the three buttons):
  // a short text would otherwise leave the title cut.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(MessageBoxTitleWidth(box.windowTitle()), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  box.setDefaultButton(map.front().first);
  // Escape answers Cancel where there is one, OK in a box with OK alone; a Yes/No box has none.
  if (buttons == kMbOk)
    box.setEscapeButton(QMessageBox::Ok);
  else if (buttons != kMbYesNo)
    box.setEscapeButton(QMessageBox::Cancel);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (auto& [b, id] : map) {
    if (clicked != nullptr && clicked == box.button(b)) return id;
  }
  return fallback;
}

namespace {
std::unique_ptr<Backend> MakeQt() { return std::make_unique<QtBackend>(); }

const bool registered = [] {
  RegisterBackend("qt", true, &QtBackend::DisplayAvailable, &MakeQt);
  return true;
}();
}  // namespace

}  // namespace talmor
