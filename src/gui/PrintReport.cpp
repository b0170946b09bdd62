#include "gui/PrintReport.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFontMetricsF>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextTable>
#include <algorithm>
#include <vector>

#include "gui/ChartPainter.h"
#include "gui/LogViews.h"
#include "results/LogModel.h"
#include "results/Percentiles.h"

namespace {

using namespace reportdesign;

// The geometry of one printer's pages in its device pixels.
struct TPageGeometry {
  double unit = 1;  // device pixels per design pixel
  QRectF paint;     // the printable area, from the painter's origin
  double body = 0;  // height above the footer
};

TPageGeometry geometry(QPrinter& printer) {
  TPageGeometry g;
  g.unit = printer.resolution() / 96.0;
  const QRectF r = printer.pageLayout().paintRectPixels(printer.resolution());
  g.paint = QRectF(0, 0, r.width(), r.height());
  g.body = g.paint.height() - kFooterHeight * g.unit;
  return g;
}

QFont pointfont(double points, bool bold = false) {
  QFont f = QApplication::font();
  f.setPointSizeF(points);
  f.setBold(bold);
  return f;
}

// A chart at its place in the title band: laid out at the picture's design size less one
// pixel, so its frame stays inside, and scaled to the printer.
void drawchart(QPainter& p, const std::function<void(QPainter&, const QRectF&)>& chart, double top,
               const TPageGeometry& g) {
  if (!chart) return;
  p.save();
  p.translate(0, top * g.unit);
  p.scale(g.unit, g.unit);
  chart(p, QRectF(0, 0, kPictureWidth - 1, kPictureHeight - 1));
  p.restore();
}

void drawtitleband(QPainter& p, const TReport& r, const TPageGeometry& g) {
  const double w = g.paint.width();
  p.setPen(Qt::black);
  p.setFont(pointfont(16));
  p.drawText(QRectF(0, kTitleTop * g.unit, w, (kSubtitleTop - kTitleTop) * g.unit),
             Qt::AlignHCenter | Qt::AlignTop, r.title);
  p.setFont(pointfont(12));
  const QString sub = QFontMetricsF(p.font(), p.device()).elidedText(r.subtitle, Qt::ElideRight, w);
  p.drawText(QRectF(0, kSubtitleTop * g.unit, w, (kPicture1Top - kSubtitleTop) * g.unit),
             Qt::AlignHCenter | Qt::AlignTop, sub);
  if (!r.source.isEmpty()) {
    p.setFont(pointfont(9));
    const QString source =
        QFontMetricsF(p.font(), p.device()).elidedText(r.source, Qt::ElideMiddle, w);
    p.drawText(QRectF(0, kSourceTop * g.unit, w, (kPicture1Top - kSourceTop) * g.unit),
               Qt::AlignHCenter | Qt::AlignTop, source);
  }
  const TMonochromeCharts monochrome;
  drawchart(p, r.chart1, kPicture1Top, g);
  if (r.ramp) drawchart(p, r.chart2, kPicture2Top, g);
}

void drawfooter(QPainter& p, const TReport& r, int page, const TPageGeometry& g) {
  const QRectF box(0, g.body, g.paint.width(), g.paint.height() - g.body);
  p.setPen(Qt::black);
  p.setFont(pointfont(8));
  const QFontMetricsF fm(p.font(), p.device());
  const QString left = "Page " + QString::number(page);
  const double side = std::max(fm.horizontalAdvance(left), fm.horizontalAdvance(r.printed));
  // The title gets what the page number and the time leave free, never covering them.
  const double middle = std::max(0.0, box.width() - 2 * (side + fm.averageCharWidth()));
  p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, left);
  p.drawText(box, Qt::AlignHCenter | Qt::AlignVCenter,
             fm.elidedText(r.subtitle, Qt::ElideRight, middle));
  p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, r.printed);
}

// The results text laid out for the printer at the full printable width, in one piece.
std::unique_ptr<QTextDocument> layouttext(const TReport& r, QPrinter& printer,
                                          const TPageGeometry& g) {
  std::unique_ptr<QTextDocument> doc(r.text ? r.text->clone() : new QTextDocument);
  doc->documentLayout()->setPaintDevice(&printer);
  doc->setDocumentMargin(0);
  // Long lines wrap on paper rather than being cut at the margin.
  QTextOption wrap = doc->defaultTextOption();
  wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  doc->setDefaultTextOption(wrap);
  doc->setTextWidth(g.paint.width());
  return doc;
}

// The vertical range of the text on one page.
struct TTextSlice {
  double from = 0, to = 0;
};

// A heading of the results text: a line in bold (the run headings are bold and coloured).
bool isheading(const QTextBlock& b) {
  const QTextBlock::iterator first = b.begin();
  return !first.atEnd() && first.fragment().charFormat().fontWeight() >= QFont::Bold;
}

// Cuts the text into pages between its lines: the first page has what the title band leaves
// of the body, the others the whole body. A heading that would end a page goes to the next with
// the lines it heads. A line taller than a page is cut where it must be.
std::vector<TTextSlice> paginate(QTextDocument& doc, double firstheight, double height) {
  struct TLine {
    double top, bottom;
    bool heading;  // the last line of a heading
    bool blank;    // an empty line
  };
  std::vector<TLine> lines;
  QAbstractTextDocumentLayout* layout = doc.documentLayout();
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    const QRectF box = layout->blockBoundingRect(b);
    const QTextLayout* tl = b.layout();
    const bool blank = b.text().trimmed().isEmpty();
    const bool heading = !blank && isheading(b);
    for (int i = 0; tl != nullptr && i < tl->lineCount(); ++i) {
      const QTextLine line = tl->lineAt(i);
      lines.push_back({box.top() + line.y(), box.top() + line.y() + line.height(),
                       heading && i + 1 == tl->lineCount(), blank});
    }
  }
  std::vector<TTextSlice> pages;
  double from = 0, room = firstheight;
  size_t next = 0;
  do {
    double to = from;
    const size_t first = next;
    while (next < lines.size() && lines[next].bottom <= from + room) to = lines[next++].bottom;
    // Headings at the foot of the page, and the blank lines above them, move to the next page,
    // unless they are all the page holds.
    if (next < lines.size()) {
      size_t keep = next;
      while (keep > first && lines[keep - 1].heading) --keep;
      if (keep < next) {
        while (keep > first && lines[keep - 1].blank) --keep;
      }
      if (keep > first && keep < next) {
        next = keep;
        to = lines[keep - 1].bottom;
      }
    }
    if (next < lines.size() && to == from) {
      to = from + room;
      while (next < lines.size() && lines[next].bottom <= to) ++next;
    }
    pages.push_back({from, to});
    if (next < lines.size()) from = std::max(to, lines[next].top);
    room = height;
  } while (next < lines.size());
  return pages;
}

// Draws the lines whose top lies in the slice. Each line belongs to one page, so the text layer
// of the PDF holds it once: the document layout would also draw a line that touches the slice
// from the next page, hidden by the clip but found by search and copy.
void drawtextslice(QPainter& p, QTextDocument& doc, const TTextSlice& slice, double top,
                   const TPageGeometry& g) {
  p.save();
  p.setClipRect(QRectF(0, top, g.paint.width(), slice.to - slice.from));
  p.translate(0, top - slice.from);
  p.setPen(Qt::black);
  QAbstractTextDocumentLayout* layout = doc.documentLayout();
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    const QRectF box = layout->blockBoundingRect(b);
    if (box.bottom() < slice.from || box.top() >= slice.to) continue;
    const QTextLayout* tl = b.layout();
    for (int i = 0; tl != nullptr && i < tl->lineCount(); ++i) {
      const QTextLine line = tl->lineAt(i);
      const double linetop = box.top() + line.y();
      if (linetop >= slice.from && linetop < slice.to) line.draw(&p, box.topLeft());
    }
  }
  p.restore();
}

}  // namespace

namespace {

// The percentiles of the server's own time (kernel receive stamps) of the test's requests, as a
// table ahead of the results text, whose waits include our own start loop. Nothing where no
// request was stamped.
void insertservertable(QTextDocument& doc, const std::vector<TChartPoint>& points) {
  std::vector<double> last, first;
  for (const TChartPoint& pt : points) {
    if (pt.server >= 0) last.push_back(pt.server);
    if (pt.serverttfb >= 0) first.push_back(pt.serverttfb);
  }
  if (last.empty()) return;
  const TPercentiles rows[] = {percentiles(std::move(last)), percentiles(std::move(first))};
  const char* names[] = {"to the last byte", "to the first byte"};
  QTextCursor c(&doc);
  c.movePosition(QTextCursor::Start);
  c.insertText("Server time (ms, from the kernel's receive stamps) of " +
               QString::number(rows[0].count) + " requests:");
  c.insertBlock();
  QTextTableFormat format;
  format.setBorder(0.5);
  format.setCellPadding(2);
  format.setCellSpacing(0);
  QTextTable* table = c.insertTable(3, 6, format);
  const char* heads[] = {"", "Min", "Median", "p90", "p99", "Max"};
  for (int col = 0; col < 6; ++col)
    table->cellAt(0, col).firstCursorPosition().insertText(heads[col]);
  for (int row = 0; row < 2; ++row) {
    const TPercentiles& p = rows[row];
    const double values[] = {p.min, p.median, p.p90, p.p99, p.max};
    table->cellAt(row + 1, 0).firstCursorPosition().insertText(names[row]);
    for (int col = 0; col < 5; ++col) {
      table->cellAt(row + 1, col + 1)
          .firstCursorPosition()
          .insertText(p.count == 0 ? QString("-") : QString::number(values[col], 'f', 2));
    }
  }
}

// The connection's phases of each run, as a table ahead of the results text: connect and, for
// https, the TLS handshake, one row each per run. Nothing where no request had a phase time.
void insertphasetable(QTextDocument& doc, const std::vector<TPhaseRow>& rows) {
  if (rows.empty()) return;
  bool tls = false;
  for (const TPhaseRow& r : rows) tls = tls || r.tls.count > 0;
  const int lines = static_cast<int>(rows.size()) * (tls ? 2 : 1);
  QTextCursor c(&doc);
  c.movePosition(QTextCursor::Start);
  c.insertText(tls ? "Connection phases (ms): from the connect call to the connection, and from "
                     "then to the end of the TLS handshake:"
                   : "Connection phases (ms): from the connect call to the connection:");
  c.insertBlock();
  QTextTableFormat format;
  format.setBorder(0.5);
  format.setCellPadding(2);
  format.setCellSpacing(0);
  QTextTable* table = c.insertTable(lines + 1, 7, format);
  const char* heads[] = {"", "Requests", "Min", "Median", "p90", "p99", "Max"};
  for (int col = 0; col < 7; ++col)
    table->cellAt(0, col).firstCursorPosition().insertText(heads[col]);
  int line = 1;
  auto row = [&](const QString& name, const TPercentiles& p) {
    const double values[] = {p.min, p.median, p.p90, p.p99, p.max};
    table->cellAt(line, 0).firstCursorPosition().insertText(name);
    table->cellAt(line, 1).firstCursorPosition().insertText(QString::number(p.count));
    for (int col = 0; col < 5; ++col) {
      table->cellAt(line, col + 2)
          .firstCursorPosition()
          .insertText(p.count == 0 ? QString("-") : QString::number(values[col], 'f', 2));
    }
    ++line;
  };
  for (const TPhaseRow& r : rows) {
    const QString name = QString::fromStdString(r.name);
    row(name + ", connect", r.connect);
    if (tls) row(name + ", TLS handshake", r.tls);
  }
}

}  // namespace

TReport makereport(const TTestReport& test, const QWidget& style) {
  TReport r;
  r.subtitle = QString::fromStdString(test.subtitle());
  // An opened result was not tested on this machine, nor at the time of printing.
  if (!test.openedfrom.empty())
    r.source = "Results opened from " + QString::fromStdString(test.openedfrom);
  // The drawings outlive this call: they keep their own copy of the chart data.
  const auto charts = std::make_shared<const TChartModel>(test.charts);
  const TChartFonts fonts = TChartFonts::from(style.font());
  r.chart1 = [charts, fonts](QPainter& p, const QRectF& rect) {
    paintrequestchart(p, rect, *charts, fonts);
  };
  r.ramp = test.ramp;
  if (r.ramp) {
    r.chart2 = [charts, fonts](QPainter& p, const QRectF& rect) {
      paintrampchart(p, rect, *charts, fonts);
    };
  }
  r.text = std::make_unique<QTextDocument>();
  r.text->setDefaultFont(style.font());
  appendresultlines(*r.text, test.results, 0, style.palette());
  // Both tables stand ahead of the text: the server time's first, then the phases.
  insertphasetable(*r.text, test.phases);
  insertservertable(*r.text, test.charts.requests());
  r.printed = QString::fromStdString(TLogModel::timestamp());
  return r;
}

void preparereportprinter(QPrinter& printer) {
  printer.setDocName("Pressbolt Report");
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                         QPageLayout::Millimeter);
}

int printreport(const TReport& report, QPrinter& printer) {
  const TPageGeometry g = geometry(printer);
  const std::unique_ptr<QTextDocument> doc = layouttext(report, printer, g);
  const double band = (report.ramp ? kBandWithRamp : kBandWithoutRamp) * g.unit;
  const std::vector<TTextSlice> slices = paginate(*doc, g.body - band, g.body);
  const int pages = static_cast<int>(slices.size());
  int from = 1, to = pages;
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    from = std::max(1, printer.fromPage());
    to = std::min(pages, printer.toPage() > 0 ? printer.toPage() : pages);
  }
  // A range beyond the report has nothing to print; an empty page would say otherwise.
  if (from > to) return pages;
  // Where the printer cannot make copies itself, the pages are sent as often as asked.
  const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
  QPainter p;
  if (!p.begin(&printer)) return 0;
  bool first = true;
  for (int copy = 0; copy < copies; ++copy) {
    for (int page = from; page <= to; ++page) {
      if (!first) printer.newPage();
      first = false;
      if (page == 1) drawtitleband(p, report, g);
      drawtextslice(p, *doc, slices[static_cast<size_t>(page - 1)], page == 1 ? band : 0, g);
      drawfooter(p, report, page, g);
    }
  }
  p.end();
  return pages;
}

void Printreportclick(QWidget& window, const std::function<TTestReport()>& test,
                      QPrinter& printer) {
  if (test().empty()) {
    QMessageBox::information(&window, QApplication::applicationName(),
                             "There is no test to report yet. Run a test, then print its report.");
    return;
  }
  preparereportprinter(printer);
  QPrintDialog dialog(&printer, &window);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  if (dialog.exec() != QDialog::Accepted) return;
  if (printreport(makereport(test(), window), printer) == 0)
    QMessageBox::critical(&window, QApplication::applicationName(),
                          "The report could not be printed: the printer did not start.");
}
