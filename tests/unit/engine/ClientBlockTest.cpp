// The run's clients in one block: no place handed out twice, the heap beyond the block, reuse
// across runs, and no huge-page advice even for a large block.

#include "engine/ClientBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The VmFlags line of the mapping that holds address p, from /proc/self/smaps.
std::string vmflagsof(const void* p) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<uintptr_t>(p);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    uintptr_t lo = 0, hi = 0;
    char dash = 0;
    std::istringstream range(line);
    if (line.find('-') < line.find(' ') && (range >> std::hex >> lo >> dash >> hi) && dash == '-') {
      inside = at >= lo && at < hi;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line;
    }
  }
  return "";
}

}  // namespace

TEST(ClientBlock, EveryLiveClientHasAPlaceOfItsOwnAndTheBlockComesBackForTheNextRun) {
  TEventLoop loop;
  TClientBlock block;
  block.reserve(50);
  ASSERT_GE(block.capacity(), 50u);
  std::vector<mythttpcli*> run1;
  for (int i = 0; i < 50; ++i) run1.push_back(block.create(loop));
  EXPECT_TRUE(std::all_of(run1.begin(), run1.end(), [&](auto* c) { return block.holds(c); }));
  EXPECT_EQ(std::set<mythttpcli*>(run1.begin(), run1.end()).size(), 50u);
  EXPECT_EQ(block.live(), 50u);
  mythttpcli* first = run1.front();

  // A reserve while clients live keeps the block as it is: the places already handed out are
  // never handed out again, and what does not fit comes from the heap.
  std::shuffle(run1.begin(), run1.end(), std::mt19937(7));
  for (int i = 0; i < 25; ++i) block.destroy(run1[static_cast<size_t>(i)]);
  block.reserve(10);
  std::vector<mythttpcli*> more;
  for (size_t i = 0; i < block.capacity(); ++i) more.push_back(block.create(loop));
  for (auto* c : more) {
    EXPECT_EQ(std::find(run1.begin() + 25, run1.end(), c), run1.end()) << "a live place again";
  }
  EXPECT_FALSE(block.holds(more.back())) << "beyond the block, the heap";
  for (size_t i = 25; i < run1.size(); ++i) block.destroy(run1[i]);
  for (auto* c : more) block.destroy(c);
  EXPECT_EQ(block.live(), 0u);

  // With every client gone, the next run starts at the front of the same block.
  block.reserve(50);
  mythttpcli* again = block.create(loop);
  EXPECT_EQ(again, first);
  again->requestno = 9;  // usable like any client
  block.destroy(again);
  block.destroy(nullptr);
}

// Huge pages cost a wave more CPU than they save on virtual machines (see ClientBlock.cpp).
TEST(ClientBlock, ALargerRunGetsALargerBlockWithoutHugePageAdvice) {
  TEventLoop loop;
  TClientBlock block;
  block.reserve(3);
  const size_t small = block.capacity();
  mythttpcli* one = block.create(loop);
  EXPECT_EQ(vmflagsof(one).find(" hg"), std::string::npos) << vmflagsof(one);
  block.destroy(one);
  const size_t large = (size_t(9) << 20) / sizeof(mythttpcli);  // about 9 MB of clients
  block.reserve(large);
  ASSERT_GE(block.capacity(), large);
  EXPECT_GT(block.capacity(), small);
  std::vector<mythttpcli*> all;
  for (size_t i = 0; i < large; ++i) all.push_back(block.create(loop));
  EXPECT_TRUE(block.holds(all.back()));
  EXPECT_EQ(vmflagsof(all[large / 2]).find(" hg"), std::string::npos) << vmflagsof(all[large / 2]);
  for (auto* c : all) block.destroy(c);
}
