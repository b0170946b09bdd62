#include "http/HeaderList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The lines share one block of text: each must come back exactly as added, empty ones and
// repeated ones included, also after the list was emptied and filled again.
TEST(HeaderList, LinesComeBackAsAdded) {
  THeaderList list;
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list, std::vector<std::string>{});
  const std::vector<std::string> lines = {"HTTP/1.0 200 OK",     "",    "X: 1", "X: 1",
                                          std::string(600, 'v'), "last"};
  for (int round = 0; round < 2; ++round) {
    for (const auto& line : lines) list.push_back(line);
    ASSERT_EQ(list.size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(list[i], lines[i]) << i;
    EXPECT_EQ(list.front(), "HTTP/1.0 200 OK");
    EXPECT_EQ(list.back(), "last");
    EXPECT_EQ(list, lines);
    EXPECT_EQ(std::vector<std::string>(list), lines);
    list.clear();
    EXPECT_TRUE(list.empty());
  }
}

// Equality looks at the lines, not at how their text happens to be cut.
TEST(HeaderList, EqualityAndCopiesKeepTheLineBoundaries) {
  EXPECT_FALSE((THeaderList{"ab", "c"} == THeaderList{"a", "bc"}));
  EXPECT_FALSE((THeaderList{"ab", "c"} == std::vector<std::string>{"a", "bc"}));
  EXPECT_FALSE((THeaderList{"a"} == std::vector<std::string>{"a", ""}));
  EXPECT_TRUE((THeaderList{"a", ""} == std::vector<std::string>{"a", ""}));

  THeaderList list{"one", "two", "three"};
  std::vector<std::string> firsttwo(list.begin(), list.begin() + 2);
  EXPECT_EQ(firsttwo, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(list.end() - list.begin(), 3);
  std::vector<std::string> copy;
  copy = list;
  EXPECT_EQ(copy, (std::vector<std::string>{"one", "two", "three"}));
  THeaderList other = list;
  list.push_back("four");
  EXPECT_EQ(other.size(), 3u);  // a copy has text of its own
  EXPECT_EQ(other.back(), "three");
}

// A list grows, moves and is copied over lists of other sizes without losing a line, also when
// the line it takes is one of its own and the list must grow for it.
TEST(HeaderList, GrowingMovingAndCopyingKeepEveryLine) {
  THeaderList list;
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    if (i == 16 || i == 32 || i % 10 == 9) {  // 16 and 32: the list is full of lines
      std::string own(list[size_t(i / 2)]);
      list.push_back(list[size_t(i / 2)]);
      expected.push_back(own);
    } else {
      expected.push_back(std::string(size_t(i * 7 % 50), char('a' + i % 26)));
      list.push_back(expected.back());
    }
  }
  EXPECT_EQ(list, expected);

  THeaderList moved(std::move(list));
  EXPECT_EQ(moved, expected);
  THeaderList small{"x"};
  small = moved;  // larger than its block
  EXPECT_EQ(small, expected);
  THeaderList target{"y", "z"};
  target = std::move(moved);
  EXPECT_EQ(target, expected);
  THeaderList big = target;
  const THeaderList one{"one"};
  big = one;  // smaller: into the block it has
  EXPECT_EQ(big, std::vector<std::string>{"one"});
  big.push_back("two");
  EXPECT_EQ(big, (std::vector<std::string>{"one", "two"}));
}

}  // namespace
