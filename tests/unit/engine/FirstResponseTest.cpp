#include "engine/FirstResponse.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/TestSupport.h"

namespace {
const std::string kRule(44, '-');
}

TEST(SourceView, LineEndsAreNormalisedAndCounted) {
  TSourceView v = sourceview("a\nbb\r\nccc");  // no final line end: one is added
  EXPECT_EQ(v.length, 12u);
  EXPECT_EQ(v.bytes, 9u);  // the body as it came
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

TEST(SourceView, PiecesGiveTheViewOfTheWhole) {
  // A CR LF split between two pieces is one line end; a lone CR at the very end is one too.
  for (const std::string& body :
       {std::string("a\r\nb\rc\n\nd\r"), std::string(40000, 'x') + "\r\ny", std::string("\n")}) {
    for (size_t step : {1u, 2u, 7u, 4096u}) {
      TSourceCounter counter;
      for (size_t i = 0; i < body.size(); i += step) {
        counter.add(body.data() + i, std::min(step, body.size() - i));
      }
      TSourceView whole = sourceview(body);
      EXPECT_EQ(counter.view().length, whole.length) << step;
      EXPECT_EQ(counter.view().bytes, body.size()) << step;
      EXPECT_EQ(counter.view().text, whole.text) << step;
    }
  }
}

TEST(FirstResponseFile, KeepsUpToItsLimitAndCountsEverything) {
  TTempDir dir;
  std::string error;
  auto file = TFirstResponseFile::Create(dir.file("temp.htm"), error, 10);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->Write("0123456", 7), 7);
  EXPECT_EQ(file->Write("789abc\n", 7), 7);  // crosses the limit
  EXPECT_EQ(file->Write("def", 3), 3);        // wholly past it
  ASSERT_TRUE(file->Close());
  EXPECT_EQ(readfile(dir.file("temp.htm")), "0123456789");
  EXPECT_TRUE(file->cut());
  EXPECT_EQ(file->received(), 17);
  EXPECT_EQ(file->source().text, sourceview("0123456789abc\ndef").text);

  EXPECT_FALSE(TFirstResponseFile::Create(dir.file("missing/temp.htm"), error));
  EXPECT_EQ(error, "No such file or directory");
}
