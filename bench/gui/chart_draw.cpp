// The request chart with 20000 points, on the offscreen platform: the longest time the event loop
// is blocked while the points arrive in the window's batches (added and painted), and the time of
// one full redraw (screen, and the paint routine used for print and copy). As a peer in the same
// run, the same batches drawn by redrawing the whole chart each time, as a plot without its
// cached image would.
//
// usage: bench_chart_draw [POINTS] [BATCH]   (defaults 20000 and 500; ROUNDS=3 in the environment)

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "gui/ResultCharts.h"

namespace {

double ms(const QElapsedTimer& t) {
  return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// Requests of runs of 1000 users: started together within a few ms, completed in any order.
std::vector<TChartPoint> completions(int n) {
  std::mt19937 rng(42);
  std::vector<TChartPoint> pts;
  for (int i = 0; i < n; ++i) {
    const long double run = (i / 1000) * 1500.0L;
    const long double x = run + (i % 1000) * 0.004L;
    const long double y = 5 + std::uniform_real_distribution<double>(0, 800)(rng);
    pts.push_back({x, y, i % 7 == 0 ? 404 : (i % 31 == 0 ? 0 : 200)});
  }
  for (size_t at = 0; at < pts.size(); at += 1000)
    std::shuffle(pts.begin() + long(at), pts.begin() + long(std::min(pts.size(), at + 1000)), rng);
  return pts;
}

struct TRound {
  double longestbatch = 0, medianbatch = 0, fullscreen = 0, fullpaint = 0, peerlongest = 0;
  int redraws = 0;
};

TRound round(int points, int batch) {
  TRound r;
  const std::vector<TChartPoint> pts = completions(points);
  TResultCharts charts;
  charts.resize(549, 380);  // the graph panel at the window's designed size
  charts.show();
  QCoreApplication::processEvents();
  std::vector<double> batches;
  for (size_t at = 0; at < pts.size(); at += size_t(batch)) {
    std::vector<TChartPoint> b(pts.begin() + long(at),
                               pts.begin() + long(std::min(pts.size(), at + size_t(batch))));
    QElapsedTimer t;
    t.start();
    charts.addRequestPoints(b);
    charts.chart1()->repaint();
    batches.push_back(ms(t));
  }
  std::sort(batches.begin(), batches.end());
  r.longestbatch = batches.back();
  r.medianbatch = batches[batches.size() / 2];
  r.redraws = charts.chart1()->fullredraws();

  // A resize invalidates the cached image: the next paint draws everything.
  charts.resize(550, 380);
  QCoreApplication::processEvents();
  charts.resize(549, 380);
  QElapsedTimer t;
  t.start();
  charts.chart1()->repaint();
  r.fullscreen = ms(t);

  QImage img(charts.chart1()->size(), QImage::Format_RGB32);
  t.restart();
  {
    QPainter p(&img);
    charts.chart1()->paintchart(p, img.rect());
  }
  r.fullpaint = ms(t);

  // The peer: every batch redraws the whole chart through the paint routine.
  TChartModel grown;
  for (size_t at = 0; at < pts.size(); at += size_t(batch)) {
    for (size_t i = at; i < std::min(pts.size(), at + size_t(batch)); ++i)
      grown.addrequest(pts[i].x, pts[i].y, pts[i].statuscode);
    QElapsedTimer u;
    u.start();
    QPainter p(&img);
    const TChartFonts f = charts.chart1()->fonts();
    const TRequestChartLayout l = layoutrequestchart(grown, img.width(), img.height(), f.metrics());
    paintrequestframe(p, l, f);
    paintrequestpoints(p, l, grown);
    r.peerlongest = std::max(r.peerlongest, ms(u));
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int points = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int batch = argc > 2 ? std::atoi(argv[2]) : 500;
  const int rounds = std::getenv("ROUNDS") != nullptr ? std::atoi(std::getenv("ROUNDS")) : 3;
  std::vector<TRound> all;
  for (int i = 0; i < rounds; ++i) all.push_back(round(points, batch));
  auto median = [&](double TRound::*field) {
    std::vector<double> v;
    for (const auto& r : all) v.push_back(r.*field);
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double longest = median(&TRound::longestbatch), peer = median(&TRound::peerlongest);
  std::printf("chart_draw: %d points in batches of %d, median of %d rounds\n", points, batch,
              rounds);
  std::printf("  longest batch (add + paint):      %8.2f ms   (target < 16 ms)\n", longest);
  std::printf("  median batch:                     %8.2f ms\n", median(&TRound::medianbatch));
  std::printf("  full redraw on screen:            %8.2f ms   (target < 50 ms)\n",
              median(&TRound::fullscreen));
  std::printf("  paint routine (print, copy):      %8.2f ms\n", median(&TRound::fullpaint));
  const double mid = median(&TRound::medianbatch);
  std::printf(
      "  peer, whole chart every batch:    %8.2f ms longest (%.1fx the longest batch, %.0fx the "
      "median)\n",
      peer, longest > 0 ? peer / longest : 0.0, mid > 0 ? peer / mid : 0.0);
  std::printf("  full redraws while adding:        %8d\n", all.front().redraws);
  return 0;
}
