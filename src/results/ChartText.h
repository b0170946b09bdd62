#pragma once
// Fitting a chart's texts into the room they have: how wide a text is in the chart's two fonts,
// and shortening or wrapping it so that a chart never grows wider than it was given. Qt-free: the
// window measures with its fonts, the SVG writer with an estimate.

#include <functional>
#include <string>
#include <vector>

enum class TChartFont { title, text };

struct TChartMetrics {
  std::function<double(const std::string&)> titlewidth;  // bold title font
  std::function<double(const std::string&)> textwidth;   // everything else
  double titleheight = 15;
  double textheight = 13;

  double width(TChartFont f, const std::string& s) const {
    return f == TChartFont::title ? titlewidth(s) : textwidth(s);
  }
  // For writers without a font engine (SVG): glyphs of about 0.6 em, lines of 1.25 em.
  static TChartMetrics estimated(double titlepx, double textpx);
};

// text when it fits into width, else its longest prefix (whole UTF-8 characters) followed by "…".
std::string elidetext(const std::string& text, double width,
                      const std::function<double(const std::string&)>& measure);
// text broken at blanks into lines no wider than width (a word wider than a line is broken
// inside); when more than maxlines result, the last line kept is elided.
std::vector<std::string> wraptext(const std::string& text, double width, int maxlines,
                                  const std::function<double(const std::string&)>& measure);
