#include "results/ChartModel.h"

#include <gtest/gtest.h>

TEST(ChartModel, PointLabelsByOutcome) {
  EXPECT_EQ(TChartModel::pointlabel(200), "");
  EXPECT_EQ(TChartModel::pointlabel(0), "TimeOut");
  EXPECT_EQ(TChartModel::pointlabel(404), "E404");
  EXPECT_EQ(TChartModel::pointlabel(302), "E302");
}

TEST(ChartModel, GenerationsTellViewsToRedraw) {
  TChartModel m;
  m.addrequest(1, 2, 200);
  m.addramp(5, 10, "ok");
  m.addrampwait(5, 12);
  auto gen = m.requestgeneration(), rampgen = m.rampgeneration(), rev = m.textrevision();
  m.setfoot(1, "5 simultaneous users");
  EXPECT_GT(m.textrevision(), rev);
  m.setfoot(7, "ignored");
  EXPECT_EQ(m.foot()[1], "5 simultaneous users");
  m.clearrequests();
  EXPECT_TRUE(m.requests().empty());
  EXPECT_GT(m.requestgeneration(), gen);
  EXPECT_EQ(m.rampgeneration(), rampgen);
  m.clear();
  EXPECT_TRUE(m.ramps().empty() && m.rampwaits().empty());
  EXPECT_EQ(m.foot()[1], "");
}
