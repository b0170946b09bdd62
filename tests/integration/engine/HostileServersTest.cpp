// 1000 users against each way a server can misbehave, a relocation loop and a 1 GB body: the
// test ends by itself, every request is counted exactly once, and memory stays bounded.

#include <gmock/gmock.h>

#include <fstream>
#include <map>
#include <regex>

#include "EngineFixture.h"

namespace {

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long statuskb(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// Peak resident memory from now on, in MB above what is resident now.
class TPeakRss {
 public:
  TPeakRss() {
    // Writing 5 resets the peak to the current size (Linux 4.0+).
    std::ofstream("/proc/self/clear_refs") << "5";
    base_ = statuskb("VmRSS");
  }
  long growthmb() const { return (statuskb("VmHWM") - base_) / 1024; }

 private:
  long base_;
};

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine (256 MB by default), so resident memory
// says nothing about our own there.
constexpr bool kRssMeaningful = false;
#else
constexpr bool kRssMeaningful = true;
#endif

class HostileServerTest : public EngineTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // Every user's request completed once: one "Done" line per request number 1 .. users.
  void expecteachcountedonce(int users) {
    std::map<int, int> done;
    static const std::regex re("TS: Request (\\d+) Done: .*");
    std::smatch m;
    for (const auto& line : logs.loglines()) {
      if (std::regex_match(line, m, re)) ++done[std::stoi(m[1])];
    }
    EXPECT_EQ(done.size(), static_cast<size_t>(users));
    for (const auto& [no, count] : done) EXPECT_EQ(count, 1) << "request " << no;
    EXPECT_EQ(engine.sofar.requestscounted, users);
    int tallied = 0;
    for (int i = 1; i <= engine.tally.statuscodecount(); ++i)
      tallied += engine.tally.statuscounts(i);
    EXPECT_EQ(tallied, users);
  }
};

}  // namespace

TEST_P(HostileServerTest, ThousandUsersEndWithEveryRequestCountedOnce) {
  host.s.url = target.url(GetParam());
  host.s.users = 1000;
  TPeakRss peak;
  runtest();
  ASSERT_TRUE(host.finished);
  expecteachcountedonce(1000);
  // 1000 clients, their log lines and buffers; a leak per hop or per header line shows as far more.
  if (kRssMeaningful) {
    EXPECT_LT(peak.growthmb(), 64) << GetParam();
  }
}

INSTANTIATE_TEST_SUITE_P(Routes, HostileServerTest,
                         ::testing::Values("/close", "/reset", "/halfheader/reset", "/longline",
                                           "/nul", "/headerless", "/status/500",
                                           "/trickle?bytes=20&ms=5", "/loop"));

TEST_F(EngineTest, OneGigabyteBodyStreamsThroughInBoundedMemory) {
  host.s.url = target.url("/size/1073741824");
  TPeakRss peak;
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_EQ(engine.runbytes, int64_t(1) << 30);
  EXPECT_EQ(engine.sofar.requestscounted, 1);
  if (kRssMeaningful) {
    EXPECT_LT(peak.growthmb(), 32);
  }
}
