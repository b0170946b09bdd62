#include "results/ChartText.h"

#include <cmath>

#include "common/Text.h"

namespace {

const char* const kEllipsis = "\xe2\x80\xa6";

bool continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offsets at which a UTF-8 character starts, plus the end.
std::vector<size_t> charstarts(const std::string& s) {
  std::vector<size_t> at;
  for (size_t i = 0; i < s.size(); ++i)
    if (!continuation(s[i])) at.push_back(i);
  at.push_back(s.size());
  return at;
}

}  // namespace

TChartMetrics TChartMetrics::estimated(double titlepx, double textpx) {
  TChartMetrics m;
  auto count = [](const std::string& s) { return static_cast<double>(charstarts(s).size() - 1); };
  m.titlewidth = [=](const std::string& s) { return count(s) * titlepx * 0.62; };
  m.textwidth = [=](const std::string& s) { return count(s) * textpx * 0.58; };
  m.titleheight = std::ceil(titlepx * 1.25);
  m.textheight = std::ceil(textpx * 1.25);
  return m;
}

std::string elidetext(const std::string& text, double width,
                      const std::function<double(const std::string&)>& measure) {
  if (measure(text) <= width) return text;
  const std::vector<size_t> at = charstarts(text);
  // The longest prefix that fits with the ellipsis: widths grow with the prefix.
  size_t lo = 0, hi = at.size() - 1;
  while (lo < hi) {
    const size_t mid = (lo + hi + 1) / 2;
    if (measure(text.substr(0, at[mid]) + kEllipsis) <= width)
      lo = mid;
    else
      hi = mid - 1;
  }
  return std::string(trim(std::string_view(text).substr(0, at[lo]), " ")) + kEllipsis;
}

std::vector<std::string> wraptext(const std::string& text, double width, int maxlines,
                                  const std::function<double(const std::string&)>& measure) {
  std::vector<std::string> lines;
  std::string line;
  auto flush = [&] {
    if (!line.empty()) lines.push_back(line);
    line.clear();
  };
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    size_t end = text.find(' ', i);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(i, end - i);
    i = end;
    const std::string joined = line.empty() ? word : line + " " + word;
    if (measure(joined) <= width) {
      line = joined;
      continue;
    }
    flush();
    // A word wider than the whole line is broken where it must be.
    while (measure(word) > width) {
      const std::vector<size_t> at = charstarts(word);
      size_t n = 1;
      while (n + 1 < at.size() && measure(word.substr(0, at[n + 1])) <= width) ++n;
      lines.push_back(word.substr(0, at[n]));
      word.erase(0, at[n]);
    }
    line = word;
  }
  flush();
  if (maxlines > 0 && static_cast<int>(lines.size()) > maxlines) {
    std::string rest;
    for (size_t k = static_cast<size_t>(maxlines) - 1; k < lines.size(); ++k)
      rest += (rest.empty() ? "" : " ") + lines[k];
    lines.resize(static_cast<size_t>(maxlines) - 1);
    lines.push_back(elidetext(rest, width, measure));
  }
  return lines;
}
