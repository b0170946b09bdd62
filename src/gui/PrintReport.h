#pragma once
// The printed report of a test: a title band with both result charts as vector pictures above
// the complete "Results" text, on portrait pages, each with a footer of page number, test title
// and time of printing. Positions are design pixels at 96 dots per inch, scaled to the printer.

#include <QPainter>
#include <QPrinter>
#include <QString>
#include <QTextDocument>
#include <QWidget>
#include <functional>
#include <memory>

#include "results/TestReport.h"

struct TReport {
  QString title = "Pressbolt - Test Results";
  QString subtitle;  // Chart1's first title line; also the footer's centre
  QString source;    // below the subtitle: the file an opened result came from, else empty
  // Draw the charts into a rectangle of design pixels; chart2 only with ramp.
  std::function<void(QPainter&, const QRectF&)> chart1, chart2;
  bool ramp = false;
  std::unique_ptr<QTextDocument> text;
  QString printed;  // date and time of printing
};

// Design sizes of the report, in pixels at 96 dpi.
namespace reportdesign {
inline constexpr double kPictureWidth = 697, kPictureHeight = 217;
inline constexpr double kTitleTop = 0, kSubtitleTop = 32, kPicture1Top = 80, kPicture2Top = 304;
inline constexpr double kSourceTop = 56;
inline constexpr double kBandWithRamp = 529, kBandWithoutRamp = 307;
inline constexpr double kFooterHeight = 24;
inline constexpr double kMarginMm = 12.7;
}  // namespace reportdesign

// The pages' content for a test: its charts and results text in the font and colours of style
// (the window that shows them), Chart1's title as the subtitle, the time now.
TReport makereport(const TTestReport& test, const QWidget& style);

// Sets up printer for the report: portrait, 12.7 mm margins, job name "Pressbolt Report".
void preparereportprinter(QPrinter& printer);

// Prints the pages of the report onto a set-up printer, honouring its page range and copies. The
// charts are drawn as vector drawings in black and white; on screen they keep their colours.
// Returns the report's page count, or 0 when the printer could not start.
int printreport(const TReport& report, QPrinter& printer);

// "Print Report" of window: before any test there is nothing to report and a message says so;
// otherwise the print dialog is shown on printer, a cancel prints nothing, and the report of the
// test as test() gives it when the dialog closes is printed.
void Printreportclick(QWidget& window, const std::function<TTestReport()>& test, QPrinter& printer);
