// users.txt and cookies.txt read line by line: line ends, the end of the file, and the byte order
// mark some editors write first.

#include "engine/LineReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

std::vector<std::string> lines(const std::string& bytes) {
  TTempDir dir;
  writefile(dir.file("f.txt"), bytes);
  TLineReader r;
  EXPECT_TRUE(r.open(dir.file("f.txt")));
  std::vector<std::string> out;
  while (!r.eof()) out.push_back(r.readln());
  EXPECT_EQ(r.readln(), "") << "reading past the end gives an empty line";
  return out;
}

using V = std::vector<std::string>;

TEST(LineReader, LinesEndAtLfWithACrBeforeItDropped) {
  EXPECT_EQ(lines("a@@1\r\nb@@2\nc"), (V{"a@@1", "b@@2", "c"}));
  EXPECT_EQ(lines(""), V{});
  EXPECT_EQ(lines("\r\n\r\n"), (V{"", ""}));
  EXPECT_EQ(lines("a\rb\n"), V{"a\rb"}) << "a CR inside a line stays for the caller to refuse";
}

TEST(LineReader, AByteOrderMarkAtTheStartIsSkipped) {
  EXPECT_EQ(lines("\xEF\xBB\xBFjoe@@pw\r\nann@@pw2\r\n"), (V{"joe@@pw", "ann@@pw2"}));
  EXPECT_EQ(lines("\xEF\xBB\xBF"), V{});
  // Only at the very start, and only the whole mark.
  EXPECT_EQ(lines("a\n\xEF\xBB\xBF"
                  "b\n"),
            (V{"a",
               "\xEF\xBB\xBF"
               "b"}));
  EXPECT_EQ(lines("\xEF\xBB"), V{"\xEF\xBB"});
  EXPECT_EQ(lines("ab"), V{"ab"});
}

TEST(LineReader, OnlyRegularFilesOpen) {
  TTempDir dir;
  TLineReader r;
  EXPECT_FALSE(r.open(dir.path()));
  EXPECT_FALSE(r.open(dir.file("missing.txt")));
  EXPECT_TRUE(r.eof());
}

}  // namespace
