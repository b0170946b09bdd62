// The streams a client borrows: a body many readers share keeps one copy of its bytes, and each
// reader its own position.

#include "http/Stream.h"

#include <gtest/gtest.h>

namespace {

std::string readall(TStream& s, int64_t step) {
  std::string out;
  char buffer[16];
  for (int64_t n; (n = s.Read(buffer, step)) > 0;) out.append(buffer, size_t(n));
  return out;
}

TEST(SharedStream, ReadersShareTheBytesButNotThePosition) {
  auto body = std::make_shared<const std::string>("a=1&b=2&c=3");
  TSharedStream first(body), second(body);
  EXPECT_EQ(body.use_count(), 3);
  EXPECT_EQ(readall(first, 4), "a=1&b=2&c=3");
  EXPECT_EQ(first.Position(), 11);
  EXPECT_EQ(second.Position(), 0) << "one reader's progress is not another's";
  EXPECT_EQ(readall(second, 16), "a=1&b=2&c=3");
  // A relocated POST sends its body again from where it started.
  first.Seek(4);
  EXPECT_EQ(readall(first, 3), "b=2&c=3");
  first.Seek(-5);
  EXPECT_EQ(first.Position(), 0);
  first.Seek(99);
  EXPECT_EQ(first.Position(), 11);
  EXPECT_EQ(first.Write("zz", 2), 0);
  EXPECT_EQ(*body, "a=1&b=2&c=3") << "read-only";
}

}  // namespace
