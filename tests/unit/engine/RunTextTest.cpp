// The lines that sum up a run, and the warnings of a start whose users this machine cannot serve.

#include <gmock/gmock.h>

#include "engine/RunText.h"
#include "engine/StartLimits.h"
#include "results/RunSummary.h"

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

// A ramp step's label is the server's error rate; requests this machine failed are said apart.
TEST(RunText, RampLabelsLeaveThisMachinesFailuresOutOfTheServersErrors) {
  EXPECT_EQ(ramplabel(0, 20), "ok");
  EXPECT_EQ(ramplabel(3, 20), "15% Errors");
  // 4 of 20 failed here: 3 errors among the 16 the server answered.
  EXPECT_EQ(ramplabel(7, 20, 4), "19% Errors, 20% client errors");
  EXPECT_EQ(ramplabel(4, 20, 4), "ok, 20% client errors");
  EXPECT_EQ(ramplabel(20, 20, 20), "ok, 100% client errors");
}

// The "Created ..." line shows a stored rate as it was stored, and none for a loop of no time.
TEST(RunText, CreatedLineTakesAStoredRate) {
  EXPECT_EQ(createdline(3, 0.0234567L),
            "Created 3 requests in 0.023ms (equals ~127895 requests per second)");
  EXPECT_EQ(createdline(3, 0.023L, 127895),
            "Created 3 requests in 0.023ms (equals ~127895 requests per second)");
  EXPECT_EQ(createdline(0, 0), "Created 0 requests in 0ms");
  EXPECT_EQ(startrate(0, 0), -1);
  EXPECT_EQ(runsfoot(2, 1.25L, 2880001),
            "  Average Request Processing Time after 2 runs: 1 msec (equals ~2880001 requests/h)");
  EXPECT_EQ(rampfoot(4, 0, 0),
            "  Average Request Processing Time for 4 simultaneous users: 0 msec");
}

// A ramp step's foot and points are its own; a load test's wait line is that of every run.
TEST(RunText, RunFootPlotsARampStepsOwnMeans) {
  // Five users, one answered 500, waits averaging 19.6 ms, 20 ms overall: a mean of 4 ms.
  TRunRecords r;
  r.users = 5;
  r.overallms = 20;
  r.ended = true;
  const double waits[] = {10, 20, 30, 17, 21};
  for (int i = 0; i < 5; ++i) {
    TRequestOutcome o;
    o.user = i + 1;
    o.wait = waits[i];
    o.status = i == 2 ? 500 : 200;
    r.add(o, 0);
  }
  TLogModel logs;
  TChartModel charts;
  TRunsSoFar sofar;
  showsummary(runsummary(r, true, charts.foot(), sofar), logs, charts);
  ASSERT_THAT(charts.rampwaits(), SizeIs(1));
  EXPECT_EQ(charts.rampwaits()[0].y, 19.6L);
  EXPECT_EQ(charts.ramps()[0].label, "20% Errors");
  EXPECT_EQ(charts.foot()[3], "  Average User Wait Time: 20 msec for 5 simultaneous users");
  TChartModel load;
  // A first run of 5 requests that waited 49 ms in all and took 4 ms each.
  sofar = TRunsSoFar{49, 5, 4, 1};
  showsummary(runsummary(r, false, load.foot(), sofar), logs, load);
  EXPECT_THAT(load.rampwaits(), IsEmpty());
  EXPECT_EQ(load.foot()[2],
            "  Average Request Processing Time after 2 runs: 4 msec (equals ~900000 requests/h)");
  EXPECT_EQ(load.foot()[3], "  Average User Wait Time: 15 msec for 5 simultaneous users");
}

TEST(StartLimits, WarnsOncePerLimitTheUsersExceed) {
  TMachineLimits m;
  m.fdlimit = 1024;
  m.fdsopen = 8;
  m.portlo = 32768;
  m.porthi = 60999;
  m.ports = 28232;
  EXPECT_THAT(limitwarnings(1000, m), IsEmpty());
  const auto fds = limitwarnings(1001, m);
  ASSERT_THAT(fds, SizeIs(1));
  EXPECT_THAT(fds[0], HasSubstr("1001 simultaneous users need a descriptor each, but the "
                                "open-files limit of 1024 (ulimit -n) leaves room for 1000 "
                                "sockets"));
  EXPECT_THAT(fds[0], HasSubstr("Raise the hard limit"));
  m.fdlimit = -1;  // unlimited
  EXPECT_THAT(limitwarnings(28232, m), IsEmpty());
  const auto ports = limitwarnings(28233, m);
  ASSERT_THAT(ports, SizeIs(1));
  EXPECT_THAT(ports[0], HasSubstr("the local port range 32768-60999 holds 28232 free ports"));
  EXPECT_THAT(ports[0], HasSubstr("sysctl net.ipv4.ip_local_port_range"));
  m.fdlimit = 100;
  EXPECT_THAT(limitwarnings(30000, m), SizeIs(2));
  // This machine's own figures can be read.
  const TMachineLimits here = machinelimits();
  EXPECT_GT(here.fdsopen, 2);
  EXPECT_GT(here.ports, 0);
}
