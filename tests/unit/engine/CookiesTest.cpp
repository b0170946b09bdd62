#include "engine/Cookies.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TestSupport.h"

TEST(Cookies, SetCookieValuesInOrderWhateverTheCaseAndSpacing) {
  std::vector<std::string> headers = {
      "HTTP/1.0 302 Found", "Set-Cookie: a=1",    "set-cookie:b=2", "SET-COOKIE: \t c=3; path=/",
      "Set-Cookie2: no=1",  "X-Set-Cookie: no=2", "Location: /x",   "Set-Cookie:"};
  EXPECT_EQ(setcookievalues(headers), (std::vector<std::string>{"a=1", "b=2", "c=3; path=/", ""}));
  std::string big(6000, 'v');
  EXPECT_EQ(setcookievalues({"Set-Cookie: " + big})[0].size(), 5000u);
}

TEST(Cookies, CacheLineAndRedirectForms) {
  EXPECT_EQ(joinvalues({"b=2", "c=3"}, "@@"), "b=2@@c=3");
  EXPECT_EQ(joinvalues({}, "@@"), "");
  EXPECT_EQ(joinvalues({"s=9"}, "\r\nCookie: "), "s=9");
  EXPECT_EQ(joinvalues({"a=1", "b=2"}, "\r\nCookie: "), "a=1\r\nCookie: b=2");
  EXPECT_EQ(cookiefromcacheline("b=2@@c=3"), "b=2\r\ncookie: c=3");
  EXPECT_EQ(cookiefromcacheline(""), "");
}

TEST(Cookies, ReadOnlyMeansNoWritePermissionBits) {
  TTempDir dir;
  std::string path = dir.file("cookies.txt");
  EXPECT_FALSE(fileisreadonly(path));  // missing
  writefile(path, "a=1\r\n");
  EXPECT_FALSE(fileisreadonly(path));
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_TRUE(fileisreadonly(path));  // also as root, who could still write it
}

TEST(Cookies, OneValuePerNameTheLatestWins) {
  EXPECT_EQ(latestpername({"hop=3", "a=1", "hop=2; path=/", " a =2", "b"}),
            (std::vector<std::string>{"hop=2; path=/", " a =2", "b"}));
}

TEST(Cookies, AValueWithACarriageReturnOrNulIsLeftOut) {
  std::vector<std::string> lines = {"Set-Cookie: a=1\rX-Evil: 1", "Set-Cookie: b=2",
                                    std::string("Set-Cookie: c=\0", 15)};
  EXPECT_EQ(setcookievalues(lines), std::vector<std::string>{"b=2"});
}
