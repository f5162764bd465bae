// The host's main window: everything a host offers its users, each through one export of the
// security library, which shows its own dialogs owned by this window.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cstdint>
#include <string>

#include "host_library.h"
#include "qvshare.h"

namespace {

class HostWindow : public QMainWindow {
 public:
  explicit HostWindow(HostLibrary& lib) : lib_(lib) {
    setWindowTitle("qvhost");
    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);

    auto* left = new QVBoxLayout;
    user_label_ = new QLabel(central);
    left->addWidget(user_label_);
    auto* session = new QHBoxLayout;
    AddButton(session, "Log on", [this] {
      lib_.SecurityLogin(Handle());
      Refresh();
    });
    AddButton(session, "Log off", [this] {
      lib_.SecurityLogoff();
      Refresh();
    });
    AddButton(session, "Save", [this] {
      if (!lib_.SecuritySave()) QMessageBox::warning(this, "qvhost", "The database was not saved.");
    });
    left->addLayout(session);

    auto* policies = new QGroupBox("Policies and audit trail", central);
    auto* policy_buttons = new QGridLayout(policies);
    int row = 0;
    auto add_policy = [&](const char* text, TalmorWindowFn fn) {
      auto* button = new QPushButton(text, policies);
      connect(button, &QPushButton::clicked, this, [this, fn] {
        fn(Handle());
        Refresh();
      });
      policy_buttons->addWidget(button, row / 2, row % 2);
      ++row;
    };
    add_policy("Account policy...", lib_.SecurityAccountPolicy);
    add_policy("Group rights policy...", lib_.SecurityRightsPolicy);
    add_policy("Audit policy...", lib_.SecurityAuditPolicy);
    add_policy("Audit log viewer...", lib_.SecurityLogView);
    left->addWidget(policies);

    auto* note_box = new QGroupBox("Note to the audit trail", central);
    auto* note_row = new QHBoxLayout(note_box);
    note_ = new QLineEdit(note_box);
    note_row->addWidget(note_);
    AddButton(note_row, "Add note", [this] {
      const std::string text = note_->text().toStdString();
      lib_.SecurityNote(0, "qvhost", 0, text.c_str(), 0);
      note_->clear();
    });
    left->addWidget(note_box);

    users_ = AddRecordList(left, "Users", lib_.SecurityEditUser, lib_.SecurityCopyUser,
                           lib_.SecurityDeleteUser);
    groups_ = AddRecordList(left, "Groups", lib_.SecurityEditGroup, lib_.SecurityCopyGroup,
                            lib_.SecurityDeleteGroup);
    columns->addLayout(left, 1);

    auto* rights_box = new QGroupBox("Rights", central);
    auto* rights = new QGridLayout(rights_box);
    char name[120];
    for (uint32_t right = 0; lib_.SecurityGetRight(right, name, sizeof name); ++right) {
      auto* label = new QLabel(QString("%1  %2").arg(right).arg(name), rights_box);
      auto* answer = new QLabel(rights_box);
      auto* button = new QPushButton("Enquire", rights_box);
      connect(button, &QPushButton::clicked, this, [this, right, answer] {
        answer->setText(lib_.SecurityEnquire(Handle(), right) ? "granted" : "refused");
        Refresh();
      });
      rights->addWidget(label, static_cast<int>(right), 0);
      rights->addWidget(button, static_cast<int>(right), 1);
      rights->addWidget(answer, static_cast<int>(right), 2);
    }
    columns->addWidget(rights_box, 1);
    setCentralWidget(central);
    Refresh();
  }

  // Lists the current user, the users and the groups afresh.
  void Refresh() {
    char name[64], full[64], description[128];
    if (lib_.SecurityGetCurrentUser(name, sizeof name, full, sizeof full, description,
                                    sizeof description)) {
      user_label_->setText(QString("Logged on: %1 (%2)").arg(name, full));
    } else {
      user_label_->setText("Nobody is logged on.");
    }
    users_->clear();
    for (int32_t i = 0; lib_.SecurityGetUser(i, name, sizeof name, full, sizeof full, description,
                                             sizeof description);
         ++i) {
      users_->addItem(name);
    }
    groups_->clear();
    for (int32_t i = 0;
         lib_.SecurityGetGroup(i, name, sizeof name, description, sizeof description); ++i) {
      groups_->addItem(name);
    }
  }

 private:
  TalmorWindow Handle() { return reinterpret_cast<TalmorWindow>(static_cast<uintptr_t>(winId())); }

  template <typename Fn>
  QPushButton* AddButton(QBoxLayout* layout, const char* text, Fn fn) {
    auto* button = new QPushButton(text);
    connect(button, &QPushButton::clicked, this, fn);
    layout->addWidget(button);
    return button;
  }

  QListWidget* AddRecordList(QVBoxLayout* parent, const char* title, TalmorNamedFn edit,
                             TalmorNamedFn copy, TalmorNamedFn remove) {
    auto* box = new QGroupBox(title);
    auto* layout = new QVBoxLayout(box);
    auto* list = new QListWidget(box);
    layout->addWidget(list);
    auto* buttons = new QHBoxLayout;
    auto selected = [list] {
      QListWidgetItem* item = list->currentItem();
      return item != nullptr ? item->text().toStdString() : std::string();
    };
    AddButton(buttons, "New...", [this, edit] {
      edit(Handle(), nullptr, 0);
      Refresh();
    });
    AddButton(buttons, "Edit...", [this, edit, selected] {
      const std::string name = selected();
      edit(Handle(), name.c_str(), static_cast<int32_t>(name.size()));
      Refresh();
    });
    AddButton(buttons, "Copy...", [this, copy, selected] {
      const std::string name = selected();
      copy(Handle(), name.c_str(), static_cast<int32_t>(name.size()));
      Refresh();
    });
    AddButton(buttons, "Delete", [this, remove, selected] {
      const std::string name = selected();
      remove(Handle(), name.c_str(), static_cast<int32_t>(name.size()));
      Refresh();
    });
    layout->addLayout(buttons);
    parent->addWidget(box);
    return list;
  }

  HostLibrary& lib_;
  QLabel* user_label_ = nullptr;
  QLineEdit* note_ = nullptr;
  QListWidget* users_ = nullptr;
  QListWidget* groups_ = nullptr;
};

// Gives the library's windows the first look at key presses, as a host's message loop does.
class MessageForwarder : public QObject {
 public:
  explicit MessageForwarder(HostLibrary& lib) : lib_(lib) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      TalmorMessage message{};
      message.message = 0x0100;  // a key press
      message.wParam = static_cast<uintptr_t>(key->nativeVirtualKey());
      if (auto* widget = qobject_cast<QWidget*>(watched); widget != nullptr && widget->window()) {
        message.hwnd =
            reinterpret_cast<TalmorWindow>(static_cast<uintptr_t>(widget->window()->winId()));
      }
      if (lib_.FilterDllMsg(&message) != 0) return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  HostLibrary& lib_;
};

}  // namespace

int RunMainWindow(int argc, char** argv) {
  QApplication app(argc, argv);
  // The host's presence, which the library tests at start-up, lasts as long as the window.
  QVHostPresenceAcquire();
  HostLibrary lib;
  std::string error;
  if (!lib.Load(error)) {
    QMessageBox::critical(nullptr, "qvhost", QString::fromStdString(error));
    return 1;
  }
  int result = 0;
  {
    MessageForwarder forwarder(lib);
    app.installEventFilter(&forwarder);
    // Idle time: whenever the event queue has run empty.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     [&lib] { lib.ProcessDllIdle(); });
    HostWindow window(lib);
    window.show();
    result = app.exec();
    app.removeEventFilter(&forwarder);
  }
  lib.Unload();
  QVHostPresenceRelease();
  return result;
}
