// Draws the dialogs as the Qt backend shows them and saves one picture each into the directory
// given: dialog-<id>.png for every template, and viewer.png, the audit log viewer over a small
// audit trail. Each picture has a caption bar in the platform's colours (off screen there is no
// window frame to grab). Usage: dialog_pictures <directory>; exits 1 if a picture was not saved.
#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "audit/audit_log_file.h"
#include "audit/audit_log_viewer.h"
#include "resources/dialog_template.h"
#include "ui/backend.h"
#include "ui/dialog.h"
#include "ui/qt/qt_backend.h"

namespace talmor {
namespace {

// Saves the active modal dialog under a caption bar. True when saved.
bool SaveDialogPicture(const QString& path) {
  QWidget* window = QApplication::activeModalWidget();
  if (window == nullptr) return false;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);  // lists catch up first
  QPixmap body = window->grab();
  QFont caption_font = window->font();
  caption_font.setBold(true);
  const int bar = QFontMetrics(caption_font).height() + 6;
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

// Runs `open` (which shows one dialog) and saves that dialog once it is drawn, then closes it.
bool Picture(const std::function<void()>& open, const QString& path) {
  bool saved = false;
  QTimer::singleShot(200, [&] {
    saved = SaveDialogPicture(path);
    QtBackend::ForceCancelInnermost();
  });
  open();
  if (!saved) std::fprintf(stderr, "not saved: %s\n", path.toLocal8Bit().constData());
  return saved;
}

// A small audit trail in a data directory of its own.
void WriteSampleTrail(const std::string& windir) {
  ::setenv("QUORVANE_WINDIR", windir.c_str(), 1);
  AuditLogFile log;
  const std::string access = "Successful object access.\r\nAccess attempted : ";
  log.AppendEvent("Logon/Logoff", "Administrator", "Successful logon.");
  log.AppendEvent("Object Access", "Administrator", access + "Administer user accounts and groups");
  log.AppendEvent("Policy Change", "Administrator", "Accounts policy modified.");
  log.AppendEvent("Logon/Logoff", "Administrator", "User logged off.");
  log.AppendEvent("Logon/Logoff", "analyst", "Successful logon.");
  log.AppendEvent("Object Access", "analyst", access + "Start acquisitions");
  log.AppendEvent("Batch Run", "analyst", "Sample list started\r\n24 samples");
  log.AppendEvent("Object Access", "analyst",
                  "Failed object access.\r\nAccess attempted : Tune mass spectrometer");
  log.AppendEvent("Logon/Logoff", "analyst", "User logged off.");
}

int Main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dialog_pictures <directory>\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  if (!QtBackend::DisplayAvailable()) {
    std::fprintf(stderr, "dialog_pictures: no display for Qt\n");
    return 1;
  }
  QtBackend backend;
  ScopedBackend use(backend);
  bool all = true;
  for (const DialogTemplate& t : AllDialogTemplates()) {
    Dialog dialog(t.id);
    all &= Picture([&] { dialog.DoModal(); }, dir + QStringLiteral("/dialog-%1.png").arg(t.id));
  }
  const std::string windir = (dir + "/.viewer-data").toStdString();
  QDir().mkpath(QString::fromStdString(windir));
  WriteSampleTrail(windir);
  all &= Picture(
      [] {
        AuditLogViewer viewer(nullptr);
        viewer.DoModal();
      },
      dir + "/viewer.png");
  QDir(QString::fromStdString(windir)).removeRecursively();
  return all ? 0 : 1;
}

}  // namespace
}  // namespace talmor

int main(int argc, char** argv) { return talmor::Main(argc, argv); }
