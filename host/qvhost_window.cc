// The host's main window: everything a host offers its users, each through one export of the
// security library, which shows its own dialogs owned by this window.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
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
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host_library.h"
#include "host_rows.h"
#include "manager/protection_settings.h"
#include "platform/file_exception.h"
#include "platform/profile_file.h"
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
    AddButton(session, "Log on", [this] { LogOn(); });
    AddButton(session, "Log off", [this] {
      lib_.SecurityLogoff();
      Refresh();
    });
    AddButton(session, "Save", [this] { Save(); });
    left->addLayout(session);

    auto* policies = new QGroupBox("Policies and audit trail", central);
    auto* policy_buttons = new QGridLayout(policies);
    int row = 0;
    // `changes`: what the dialog's OK (result 1) does to the database; the group rights policy
    // applies each assignment as it is made, whatever the result.
    enum Changes { kNone, kOnOk, kAlways };
    auto add_policy = [&](const char* text, TalmorWindowFn fn, Changes changes) {
      auto* button = new QPushButton(text, policies);
      connect(button, &QPushButton::clicked, this, [this, fn, changes] {
        const int32_t result = fn(Handle());
        unsaved_ |= changes == kAlways || (changes == kOnOk && result == 1);
        Refresh();
      });
      policy_buttons->addWidget(button, row / 2, row % 2);
      ++row;
    };
    add_policy("Account policy...", lib_.SecurityAccountPolicy, kOnOk);
    add_policy("Group rights policy...", lib_.SecurityRightsPolicy, kAlways);
    add_policy("Audit policy...", lib_.SecurityAuditPolicy, kOnOk);
    add_policy("Audit log viewer...", lib_.SecurityLogView, kNone);
    auto* protection = new QPushButton("Account protection...", policies);
    connect(protection, &QPushButton::clicked, this, [this] { EditProtection(); });
    policy_buttons->addWidget(protection, row / 2, row % 2);
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
      answers_.push_back(answer);
      auto* button = new QPushButton("Enquire", rights_box);
      // The audited enquiry, with its refusal box; the answers column follows from Refresh.
      connect(button, &QPushButton::clicked, this, [this, right] {
        lib_.SecurityEnquire(Handle(), right);
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

  // Shows the current user, whether each right is held now (asked without audit or refusal
  // box), and the users and groups sorted by name, keeping the row selected by name.
  void Refresh() {
    char name[64], full[64], description[128];
    if (lib_.SecurityGetCurrentUser(name, sizeof name, full, sizeof full, description,
                                    sizeof description)) {
      user_label_->setText("Logged on: " + QString::fromStdString(UserRowText(name, full)));
    } else {
      user_label_->setText("Nobody is logged on.");
    }
    for (size_t right = 0; right < answers_.size(); ++right) {
      const bool held = lib_.SecurityEnquireNoAudit(nullptr, static_cast<uint32_t>(right)) != 0;
      answers_[right]->setText(held ? "granted" : "refused");
    }
    std::vector<HostRow> users, groups;
    for (int32_t i = 0; lib_.SecurityGetUser(i, name, sizeof name, full, sizeof full, description,
                                             sizeof description);
         ++i) {
      users.push_back({name, UserRowText(name, full)});
    }
    for (int32_t i = 0;
         lib_.SecurityGetGroup(i, name, sizeof name, description, sizeof description); ++i) {
      groups.push_back({name, name});
    }
    Fill(users_, std::move(users));
    Fill(groups_, std::move(groups));
  }

  // The account protection settings live in the profile file, which the library reads again at
  // each log-on: this host edits them itself, after the enquiry for the administration right
  // (audited; a refusal is shown by the library).
  void EditProtection() {
    if (lib_.SecurityEnquire(Handle(), 0) != 1) return;
    QDialog dialog(this);
    dialog.setWindowTitle("Account protection");
    auto* form = new QFormLayout(&dialog);
    std::vector<QSpinBox*> boxes;
    for (const talmor::ProtectionKey& key : talmor::kProtectionKeys) {
      auto* box = new QSpinBox(&dialog);
      box->setRange(0, key.max);
      box->setSpecialValueText("off");
      box->setValue(std::atoi(talmor::GetProfileString("qvtalmor.ini", talmor::kProtectionSection,
                                                       key.key, "0", 32).c_str()));
      form->addRow(key.key, box);
      boxes.push_back(box);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return;
    try {
      for (size_t i = 0; i < boxes.size(); ++i) {
        talmor::WriteProfileString("qvtalmor.ini", talmor::kProtectionSection,
                                   talmor::kProtectionKeys[i].key,
                                   std::to_string(boxes[i]->value()));
      }
    } catch (const talmor::FileException& e) {
      QMessageBox::warning(this, "qvhost", QString("The settings could not be saved: ") + e.what());
    }
  }

  void LogOn() {
    lib_.SecurityLogin(Handle());
    Refresh();
  }

  // Closing with changes not saved asks whether to save them first.
  void closeEvent(QCloseEvent* event) override {
    if (unsaved_) {
      const auto answer = QMessageBox::question(
          this, "qvhost", "Save changes to the security database?",
          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
      if (answer == QMessageBox::Cancel || (answer == QMessageBox::Yes && !Save())) {
        event->ignore();
        return;
      }
    }
    event->accept();
  }

 private:
  bool Save() {
    if (!lib_.SecuritySave()) {
      QMessageBox::warning(this, "qvhost", "The database was not saved.");
      return false;
    }
    unsaved_ = false;
    return true;
  }

  static void Fill(QListWidget* list, std::vector<HostRow> rows) {
    SortRows(rows);
    const QListWidgetItem* current = list->currentItem();
    const QString selected = current != nullptr ? current->data(Qt::UserRole).toString() : "";
    list->clear();
    for (const HostRow& row : rows) {
      auto* item = new QListWidgetItem(QString::fromStdString(row.shown), list);
      item->setData(Qt::UserRole, QString::fromStdString(row.name));
      if (!selected.isEmpty() && item->data(Qt::UserRole).toString() == selected)
        list->setCurrentItem(item);
    }
  }

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
    // Each runs the export on the selected row's name; a result of 1 is a change not yet saved.
    auto on_selected = [this, list](TalmorNamedFn fn) {
      return [this, list, fn] {
        QListWidgetItem* item = list->currentItem();
        if (item == nullptr) return;
        const std::string name = item->data(Qt::UserRole).toString().toStdString();
        unsaved_ |= fn(Handle(), name.c_str(), static_cast<int32_t>(name.size())) == 1;
        Refresh();
      };
    };
    AddButton(buttons, "New...", [this, edit] {
      unsaved_ |= edit(Handle(), nullptr, 0) == 1;
      Refresh();
    });
    // Only with a row selected: the ones that act on a user or group.
    for (QPushButton* b : {AddButton(buttons, "Edit...", on_selected(edit)),
                           AddButton(buttons, "Copy...", on_selected(copy)),
                           AddButton(buttons, "Delete", on_selected(remove))}) {
      b->setEnabled(false);
      connect(list, &QListWidget::currentItemChanged, b,
              [b](QListWidgetItem* now) { b->setEnabled(now != nullptr); });
    }
    layout->addLayout(buttons);
    parent->addWidget(box);
    return list;
  }

  HostLibrary& lib_;
  QLabel* user_label_ = nullptr;
  QLineEdit* note_ = nullptr;
  QListWidget* users_ = nullptr;
  QListWidget* groups_ = nullptr;
  std::vector<QLabel*> answers_;  // one a right, by number
  bool unsaved_ = false;          // a change made since the last save
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
    if (argc > 2 && std::string(argv[1]) == "--screenshot") {
      // The window as a user meets it once logged on, saved whole: the log-on dialog is answered
      // by the backend the environment names (a scripted one for pictures).
      const QString file = QString::fromLocal8Bit(argv[2]);
      QTimer::singleShot(0, &window, [&window, &result, file] {
        window.LogOn();
        QApplication::processEvents();
        if (!window.grab().save(file)) result = 1;
        QApplication::quit();
      });
    }
    result = std::max(result, app.exec());
    app.removeEventFilter(&forwarder);
  }
  lib.Unload();
  QVHostPresenceRelease();
  return result;
}
