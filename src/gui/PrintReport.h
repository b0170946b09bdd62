#pragma once
// The printed report of a test: a title band with both result charts as vector pictures above
// the complete "Results" text, on portrait pages, each with a footer of page number, test title
// and time of printing. Positions are design pixels at 96 dots per inch, scaled to the printer.

#include <QPainter>
#include <QPrinter>
#include <QString>
#include <QTextDocument>
#include <functional>
#include <memory>

class THttpAsyForm;
class TPlotWidget;

struct TReport {
  QString title = "Pressbolt - Test Results";
  QString subtitle;  // Chart1's first title line; also the footer's centre
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
inline constexpr double kBandWithRamp = 529, kBandWithoutRamp = 307;
inline constexpr double kFooterHeight = 24;
inline constexpr double kMarginMm = 12.7;
}  // namespace reportdesign

// The report of the window as it stands: charts, Chart1's title, the results text, the time now.
TReport makereport(const THttpAsyForm& form);

// Sets up printer for the report: portrait, 12.7 mm margins, job name "Pressbolt Report".
void preparereportprinter(QPrinter& printer);

// Prints the pages of the report onto a set-up printer, honouring its page range and copies. The
// charts are drawn as vector drawings in black and white; on screen they keep their colours.
// Returns the report's page count, or 0 when the printer could not start.
int printreport(const TReport& report, QPrinter& printer);

// "Print Report": before any test there is nothing to report and a message says so; otherwise
// the print dialog is shown on printer, a cancel prints nothing, and the report is made and
// printed as the window stands when the dialog closes.
void Printreportclick(THttpAsyForm& form, QPrinter& printer);
