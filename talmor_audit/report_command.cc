// talmor-audit report: the selected events as a printable A4 PDF, drawn with Qt's PDF writer.
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSysInfo>
#include <QTextLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

#include "commands.h"
#include "platform/data_directory.h"
#include "platform/system_log.h"

namespace {

QString Text(const std::string& log_text) {
  return QString::fromStdString(talmor::Windows1252ToUtf8(log_text));
}

QString MomentText(const std::optional<talmor::EventMoment>& moment) {
  if (!moment) return QString();
  const QString digits = QString::number(*moment);
  return digits.mid(0, 4) + "-" + digits.mid(4, 2) + "-" + digits.mid(6, 2) + " " +
         digits.mid(8, 2) + ":" + digits.mid(10, 2) + ":" + digits.mid(12, 2);
}

// Draws the report: a header block on the first page, a table row per event with the description
// wrapped in its column, a signature block after the last row, "Page n of N" on every page.
class ReportPainter {
 public:
  ReportPainter(QPdfWriter& writer, const std::vector<talmor::ExportedEvent>& events,
                const QStringList& header)
      : writer_(writer), events_(events), header_(header) {}

  // Lays the pages out (painting nothing when `painter` is null); returns the page count.
  int Run(QPainter* painter, int pages) {
    painter_ = painter;
    pages_ = pages;
    page_ = 1;
    const QRect area = writer_.pageLayout().paintRectPixels(writer_.resolution());
    width_ = area.width();
    bottom_ = area.height() - Line() * 2;  // room for the page number
    y_ = 0;
    QFont title = font_;
    title.setPointSize(14);
    title.setBold(true);
    Draw(QRect(0, y_, width_, Line() * 2), "Audit trail report", title);
    y_ += Line() * 2;
    for (const QString& line : header_) {
      Draw(QRect(0, y_, width_, Line()), line, font_);
      y_ += Line();
    }
    y_ += Line();
    ColumnHeads();
    for (size_t i = 0; i < events_.size(); ++i) {
      Row(events_[i]);
      if (painter_ != nullptr) progress(i + 1);
    }
    y_ += Line() * 2;
    if (y_ + Line() * 6 > bottom_) NewPage(false);
    for (const char* label : {"Reviewed by:", "Signature:", "Date:"}) {
      Draw(QRect(0, y_, width_ / 5, Line()), label, font_);
      if (painter_ != nullptr) {
        painter_->drawLine(width_ / 5, y_ + Line(), width_ * 3 / 4, y_ + Line());
      }
      y_ += Line() * 2;
    }
    PageNumber();
    return page_;
  }

  std::function<void(size_t)> progress = [](size_t) {};
  QFont font_ = QFont("DejaVu Sans", 8);

 private:
  int Line() const { return QFontMetrics(font_, &writer_).height(); }

  void Draw(const QRect& rect, const QString& text, const QFont& font,
            int flags = Qt::AlignLeft | Qt::AlignTop) {
    if (painter_ == nullptr) return;
    painter_->setFont(font);
    painter_->drawText(rect, flags, text);
  }

  // Column x positions: position, date, time, category, user, description.
  int Column(int i) const {
    static const int kPercent[] = {0, 7, 20, 30, 46, 60, 100};
    return width_ * kPercent[i] / 100;
  }

  void ColumnHeads() {
    QFont bold = font_;
    bold.setBold(true);
    const char* heads[] = {"#", "Date", "Time", "Category", "User", "Description"};
    for (int c = 0; c < 6; ++c) Draw(QRect(Column(c), y_, Column(c + 1) - Column(c), Line()), heads[c], bold);
    y_ += Line();
    if (painter_ != nullptr) painter_->drawLine(0, y_, width_, y_);
    y_ += Line() / 4;
  }

  // Lays `text` out `width` pixels wide, wrapping between words (inside a word only when it is
  // wider than the column, line ends kept); draws it at `at` when painting. Returns the height.
  int Wrapped(QString text, int width, QPoint at) {
    text.replace("\r\n", QChar(QChar::LineSeparator));
    text.replace(QChar('\n'), QChar(QChar::LineSeparator));
    text.remove(QChar('\r'));
    QTextLayout layout(text, font_, &writer_);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      line.setPosition(QPointF(0, height));
      height += line.height();
    }
    layout.endLayout();
    if (painter_ != nullptr) layout.draw(painter_, at);
    return static_cast<int>(height + 0.999);
  }

  void Row(const talmor::ExportedEvent& event) {
    const QString cells[] = {QString::number(event.position), Text(event.date), Text(event.time),
                             Text(event.source), Text(event.user), Text(event.description)};
    QPainter* painter = painter_;
    painter_ = nullptr;  // measure first: a row that does not fit goes to the next page whole
    int height = Line();
    for (int c = 0; c < 6; ++c) height = std::max(height, Wrapped(cells[c], Width(c), QPoint()));
    painter_ = painter;
    if (y_ + height > bottom_) NewPage(true);
    for (int c = 0; c < 6; ++c) Wrapped(cells[c], Width(c), QPoint(Column(c), y_));
    y_ += height + Line() / 4;
  }

  int Width(int c) const { return Column(c + 1) - Column(c) - Line() / 2; }

  void NewPage(bool heads) {
    PageNumber();
    if (painter_ != nullptr) writer_.newPage();
    ++page_;
    y_ = 0;
    if (heads) ColumnHeads();
  }

  void PageNumber() {
    Draw(QRect(0, bottom_ + Line(), width_, Line()),
         QString("Page %1 of %2").arg(page_).arg(pages_), font_, Qt::AlignHCenter | Qt::AlignTop);
  }

  QPdfWriter& writer_;
  const std::vector<talmor::ExportedEvent>& events_;
  QStringList header_;
  QPainter* painter_ = nullptr;
  int pages_ = 0, page_ = 1, width_ = 0, bottom_ = 0, y_ = 0;
};

}  // namespace

int RunReport(const std::vector<std::string>& args, const std::string& verification) {
  ExportOptions options;
  std::string error;
  if (!ParseExportOptions(args, options, error) || options.pdf.empty()) {
    std::fprintf(stderr, "talmor-audit report: %s\n",
                 error.empty() ? "--pdf FILE is needed" : error.c_str());
    return 2;
  }
  std::vector<talmor::ExportedEvent> events;
  if (!ReadSelectedEvents(options, events)) return 2;

  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
      std::getenv("WAYLAND_DISPLAY") == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  static int argc = 1;
  static char name[] = "talmor-audit";
  static char* argv[] = {name, nullptr};
  std::optional<QGuiApplication> app;
  if (QCoreApplication::instance() == nullptr) app.emplace(argc, argv);

  const talmor::ExportFilter& f = options.filter;
  QStringList filters;
  if (f.since) filters << "since " + MomentText(f.since);
  if (f.until) filters << "until " + MomentText(f.until);
  if (!f.user.empty()) filters << "user " + Text(f.user);
  if (!f.category.empty()) filters << "category " + Text(f.category);
  filters << (f.newest_first ? "newest first" : "oldest first");
  QString period = "no events";
  if (!events.empty()) {
    const auto& first = f.newest_first ? events.back() : events.front();
    const auto& last = f.newest_first ? events.front() : events.back();
    period = Text(first.date) + " " + Text(first.time) + " to " + Text(last.date) + " " +
             Text(last.time);
  }
  const QStringList header = {
      "Workstation: " + QSysInfo::machineHostName(),
      "Data directory: " + QString::fromStdString(talmor::WindowsDirectory()),
      "Period: " + period,
      "Filters: " + filters.join(", "),
      "Verification: " + QString::fromStdString(verification),
      "Events: " + QString::number(events.size())};

  QPdfWriter writer(QString::fromStdString(options.pdf));
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
  writer.setResolution(300);
  writer.setTitle("Audit trail report");
  writer.setCreator("talmor-audit");
  ReportPainter layout(writer, events, header);
  const int pages = layout.Run(nullptr, 0);
  QPainter painter;
  if (!painter.begin(&writer)) {
    std::fprintf(stderr, "talmor-audit report: cannot write %s\n", options.pdf.c_str());
    return 2;
  }
  layout.progress = [&](size_t done) { ShowProgress("reported", done, events.size()); };
  layout.Run(&painter, pages);
  return painter.end() ? 0 : 2;
}
