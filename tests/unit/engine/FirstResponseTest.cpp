#include "engine/FirstResponse.h"

#include <gtest/gtest.h>

namespace {
const std::string kRule(44, '-');
}

TEST(SourceView, LineEndsAreNormalisedAndCounted) {
  TSourceView v = sourceview("a\nbb\r\nccc");  // no final line end: one is added
  EXPECT_EQ(v.length, 12u);
  EXPECT_EQ(v.text, "HTML Source (12 Bytes)\r\n" + kRule + "\r\na\r\nbb\r\nccc\r\n");
  EXPECT_EQ(sourceview("").length, 0u);
}

TEST(SourceView, CutAt31000Characters) {
  std::string exact(30998, 'x');  // + CR LF = 31000: shown whole
  TSourceView v = sourceview(exact);
  EXPECT_EQ(v.length, 31000u);
  EXPECT_EQ(v.text.rfind("HTML Source (31000 Bytes)\r\n", 0), 0u);
  EXPECT_EQ(v.text.find("truncated"), std::string::npos);

  TSourceView cut = sourceview(std::string(30999, 'y'));
  EXPECT_EQ(cut.length, 31001u);
  std::string head =
      "HTML Source (31001 Bytes) truncated to 31kb by Pressbolt\r\n" + kRule + "\r\n";
  EXPECT_EQ(cut.text, head + std::string(30999, 'y') + "\r" + "\r\ntruncated by Pressbolt");
}

TEST(SourceView, TextEndsAtFirstZeroByte) {
  TSourceView v = sourceview(std::string("ab\0cd\n", 6));
  EXPECT_EQ(v.length, 7u);
  EXPECT_EQ(v.text, "HTML Source (7 Bytes)\r\n" + kRule + "\r\nab");
}
