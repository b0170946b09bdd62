// Port windows without a network: the /proc texts, the walk through the range, and what a connect
// does when a window is full or the kernel lacks the option (played by replaced calls).

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "net/PortWindow.h"

namespace {

TEST(PortWindowText, SystemRange) {
  TPortRange r{};
  EXPECT_TRUE(parseportrange("32768\t60999\n", r));
  EXPECT_EQ(r, (TPortRange{32768, 60999}));
  for (const char* bad : {"", "x", "1000", "600 500", "0 10", "1 70000", "1 2 3", "10 20x"}) {
    TPortRange untouched{1, 2};
    EXPECT_FALSE(parseportrange(bad, untouched)) << bad;
    EXPECT_EQ(untouched, (TPortRange{1, 2})) << bad;
  }
}

TEST(PortWindowText, ReservedPortsSortedMergedAndMalformedSkipped) {
  EXPECT_TRUE(parsereservedports("\n").empty());
  std::vector<TPortRange> want{{1000, 1011}, {2000, 2000}};
  EXPECT_EQ(parsereservedports("2000,1000-1005,1003-1010, 1011\n"), want);
  EXPECT_EQ(parsereservedports("abc,5-,7-3,1000-1011,2000"), want);
}

TEST(PortWindows, MoveOnThroughTheRangeAndStartAgain) {
  TPortWindows w({100, 139}, {}, 16);
  EXPECT_EQ(w.Next(), (TPortRange{100, 115}));
  EXPECT_EQ(w.Next(), (TPortRange{116, 131}));
  EXPECT_EQ(w.Next(), (TPortRange{132, 139}));  // the last one is narrower
  EXPECT_EQ(w.Next(), (TPortRange{100, 115}));
  w.MoveTo(5);
  EXPECT_EQ(w.Next(), (TPortRange{100, 115}));
  w.MoveTo(139);
  EXPECT_EQ(w.Next(), (TPortRange{139, 139}));
}

TEST(PortWindows, WindowsWhollyReservedArePassedOver) {
  TPortWindows w({100, 163}, {{116, 140}}, 16);
  EXPECT_EQ(w.Next(), (TPortRange{100, 115}));
  EXPECT_EQ(w.Next(), (TPortRange{132, 147}));  // 116-131 is reserved; 132-147 only partly
  EXPECT_EQ(w.Next(), (TPortRange{148, 163}));
  EXPECT_EQ(w.Next(), (TPortRange{100, 115}));

  // Nothing to choose: the walk still ends, with a window the kernel will refuse.
  TPortWindows all({100, 131}, {{90, 200}}, 16);
  EXPECT_EQ(all.Next(), (TPortRange{116, 131}));
}

// Replaced calls: what the connect asked for, and scripted answers.
struct TScript {
  std::vector<uint32_t> windows;  // option values set, in order
  int connects = 0;
  int setsockopterrno = 0;
  std::vector<int> connecterrnos;  // per call; past the end: EINPROGRESS
};
TScript script;

int fakesetsockopt(int, int level, int name, const void* value, socklen_t len) {
  EXPECT_EQ(level, IPPROTO_IP);
  EXPECT_EQ(name, 51);
  EXPECT_EQ(len, sizeof(uint32_t));
  uint32_t v;
  std::memcpy(&v, value, sizeof v);
  script.windows.push_back(v);
  if (script.setsockopterrno != 0) {
    errno = script.setsockopterrno;
    return -1;
  }
  return 0;
}

int fakeconnect(int, const sockaddr*, socklen_t) {
  size_t i = size_t(script.connects++);
  errno = i < script.connecterrnos.size() ? script.connecterrnos[i] : EINPROGRESS;
  return -1;
}

uint32_t value(int lo, int hi) {
  return uint32_t(hi) << 16 | uint32_t(lo);
}

class PortWindowConnect : public ::testing::Test {
 protected:
  void SetUp() override {
    script = TScript{};
    setportwindowcalls({fakesetsockopt, fakeconnect});
    lo = portwindows().Range().lo;
    portwindows().MoveTo(lo);
  }
  void TearDown() override { setportwindowcalls({nullptr, nullptr}); }
  int connect() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    return connectfromwindow(3, a);
  }
  int lo = 0;
};

TEST_F(PortWindowConnect, EachSocketGetsTheNextWindow) {
  EXPECT_EQ(connect(), -1);
  EXPECT_EQ(errno, EINPROGRESS);
  EXPECT_EQ(connect(), -1);
  EXPECT_EQ(script.windows, (std::vector<uint32_t>{value(lo, lo + 15), value(lo + 16, lo + 31)}));
  EXPECT_EQ(script.connects, 2);
}

TEST_F(PortWindowConnect, AFullWindowMovesOnAndOtherFailuresDoNot) {
  script.connecterrnos = {EADDRNOTAVAIL, EADDRINUSE, EINPROGRESS, ECONNREFUSED};
  EXPECT_EQ(connect(), -1);
  EXPECT_EQ(errno, EINPROGRESS);
  EXPECT_EQ(script.windows, (std::vector<uint32_t>{value(lo, lo + 15), value(lo + 16, lo + 31),
                                                   value(lo + 32, lo + 47)}));
  EXPECT_EQ(connect(), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  EXPECT_EQ(script.connects, 4);  // a refusal is the connect's answer, not a full window
}

TEST_F(PortWindowConnect, WhenNoWindowHelpsTheKernelChoosesAndItsAnswerStands) {
  script.connecterrnos.assign(MaxPortWindowTries + 1, EADDRNOTAVAIL);
  EXPECT_EQ(connect(), -1);
  EXPECT_EQ(errno, EADDRNOTAVAIL);
  ASSERT_EQ(script.windows.size(), size_t(MaxPortWindowTries + 1));
  EXPECT_EQ(script.windows.back(), 0u);  // the system's whole range again
  EXPECT_EQ(script.connects, MaxPortWindowTries + 1);
}

TEST_F(PortWindowConnect, AKernelWithoutTheOptionIsAskedOnce) {
  script.setsockopterrno = ENOPROTOOPT;
  EXPECT_EQ(connect(), -1);
  EXPECT_EQ(errno, EINPROGRESS);
  EXPECT_EQ(connect(), -1);
  EXPECT_EQ(script.windows.size(), 1u);
  EXPECT_EQ(script.connects, 2);
}

TEST_F(PortWindowConnect, AnotherRefusalOfTheOptionLeavesOnlyThatSocketToTheKernel) {
  script.setsockopterrno = EINVAL;
  connect();
  connect();
  EXPECT_EQ(script.windows.size(), 2u);
  EXPECT_EQ(script.connects, 2);
}

}  // namespace
