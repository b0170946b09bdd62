// The multiple-URL list file and a UTF-8 byte-order mark: skipped before the first line only,
// and a list whose first line begins with the mark's bytes still reads back as written.

#include "settings/UrlListFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

std::vector<std::string> readlines(const std::string& path) {
  std::vector<std::string> lines;
  std::string error;
  EXPECT_TRUE(readurlfile(path, lines, error)) << error;
  return lines;
}

const std::string kMark = "\xEF\xBB\xBF";

TEST(UrlListFile, AByteOrderMarkBeforeTheFirstLineIsNoPartOfIt) {
  TTempDir dir;
  const std::string path = dir.file("urls.txt");
  writefile(path, kMark + "http://127.0.0.1/a\r\nhttp://127.0.0.1/b\r\n");
  EXPECT_EQ(readlines(path),
            (std::vector<std::string>{"http://127.0.0.1/a", "http://127.0.0.1/b"}));
  // Only at the very start: elsewhere the bytes belong to the line.
  writefile(path, "x\n" + kMark + "y\n");
  EXPECT_EQ(readlines(path), (std::vector<std::string>{"x", kMark + "y"}));
  // A file holding the mark alone holds no line.
  writefile(path, kMark);
  EXPECT_TRUE(readlines(path).empty());
}

TEST(UrlListFile, AFirstLineBeginningWithTheMarkReadsBackWhole) {
  TTempDir dir;
  const std::string path = dir.file("urls.txt");
  const std::vector<std::string> lines{kMark + "http://127.0.0.1/", "http://127.0.0.1/b"};
  std::string error;
  ASSERT_TRUE(writeurlfile(path, lines, error)) << error;
  EXPECT_EQ(readlines(path), lines);
  // An ordinary list is written without a mark.
  ASSERT_TRUE(writeurlfile(path, {"http://127.0.0.1/"}, error)) << error;
  EXPECT_EQ(readfile(path), "http://127.0.0.1/\r\n");
}

}  // namespace
