#include "http/HttpLines.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

void feed(TReceiveBuffer& b, const std::string& bytes) {
  int free = 0;
  char* at = b.Reserve(free);
  ASSERT_LE(int(bytes.size()), free);
  std::memcpy(at, bytes.data(), bytes.size());
  b.Commit(int(bytes.size()));
}

std::vector<std::string> lines(TReceiveBuffer& b) {
  std::vector<std::string> out;
  std::string line;
  while (b.TakeLine(line)) out.push_back(line);
  return out;
}

TEST(ReceiveBuffer, SplitsAtLfDroppingOneCr) {
  TReceiveBuffer b;
  feed(b, "a\r\nb\nc\r\r\n\r\npartial");
  EXPECT_EQ(lines(b), (std::vector<std::string>{"a", "b", "c\r", ""}));
  EXPECT_EQ(b.Count(), 7);
  EXPECT_STREQ(b.Data(), "partial");
  feed(b, " line\r\n");
  EXPECT_EQ(lines(b), (std::vector<std::string>{"partial line"}));
  EXPECT_EQ(b.Count(), 0);
}

TEST(ReceiveBuffer, ZeroByteHidesTheRest) {
  TReceiveBuffer b;
  feed(b, "one\r\nX-A: b\0c\r\nlater\r\n"s);
  EXPECT_EQ(lines(b), (std::vector<std::string>{"one"}));
  // Everything behind the zero byte stays, also when more complete lines arrive.
  feed(b, "more\r\n");
  EXPECT_TRUE(lines(b).empty());
  std::string all;
  b.TakeAll(all);
  EXPECT_EQ(all, "X-A: b\0c\r\nlater\r\nmore\r\n"s);
  EXPECT_EQ(b.Count(), 0);
}

TEST(ReceiveBuffer, FillsUpWithoutLineEnd) {
  TReceiveBuffer b;
  feed(b, std::string(5000, 'a'));
  std::string line;
  EXPECT_FALSE(b.TakeLine(line));
  feed(b, std::string(3192, 'a'));
  int free = -1;
  b.Reserve(free);
  EXPECT_EQ(free, 0);
  EXPECT_EQ(b.Count(), TReceiveBuffer::Capacity);
  EXPECT_EQ(b.Data()[TReceiveBuffer::Capacity], 0);
}

TEST(ReceiveBuffer, ConsumedBytesMakeRoomAgain) {
  TReceiveBuffer b;
  feed(b, std::string(8000, 'x') + "\n" + "tail");
  std::string line;
  ASSERT_TRUE(b.TakeLine(line));
  EXPECT_EQ(line.size(), 8000u);
  int free = 0;
  b.Reserve(free);
  EXPECT_EQ(free, TReceiveBuffer::Capacity - 4);
  EXPECT_STREQ(b.Data(), "tail");
}

// The storage goes back only when nothing is left in it; an empty buffer still reads as an empty
// text, and the next read takes storage again.
TEST(ReceiveBuffer, ReleaseKeepsUnconsumedBytes) {
  TReceiveBuffer b;
  EXPECT_STREQ(b.Data(), "");
  std::string line;
  EXPECT_FALSE(b.TakeLine(line));
  b.Release();
  feed(b, "head\r\nrest");
  b.Release();  // "rest" is still unconsumed
  EXPECT_EQ(lines(b), (std::vector<std::string>{"head"}));
  EXPECT_STREQ(b.Data(), "rest");
  b.TakeAll(line);
  EXPECT_EQ(line, "rest");
  b.Release();
  EXPECT_EQ(b.Count(), 0);
  EXPECT_STREQ(b.Data(), "");
  feed(b, "again\n");
  EXPECT_EQ(lines(b), (std::vector<std::string>{"again"}));
}

// Storage given back is taken again by the next buffer: nothing of what it held may show.
TEST(ReceiveBuffer, ReusedStorageStartsEmpty) {
  std::string line;
  {
    TReceiveBuffer first;
    feed(first, "old line\r\nold tail without end");
    EXPECT_EQ(lines(first), (std::vector<std::string>{"old line"}));
    first.TakeAll(line);
    first.Release();
  }
  TReceiveBuffer next;
  feed(next, "");
  EXPECT_EQ(next.Count(), 0);
  EXPECT_STREQ(next.Data(), "");
  EXPECT_FALSE(next.TakeLine(line));
  feed(next, "new");
  EXPECT_FALSE(next.TakeLine(line));
  EXPECT_STREQ(next.Data(), "new");
  feed(next, "\n");
  EXPECT_EQ(lines(next), (std::vector<std::string>{"new"}));
}

TEST(HeaderLine, StatusFieldsAndOthers) {
  EXPECT_EQ(viewheaderline("HTTP/1.0 200 OK").kind, THeaderKind::Status);
  EXPECT_EQ(viewheaderline("HTTP/1.1 404 Not Found").kind, THeaderKind::Status);
  EXPECT_EQ(viewheaderline("HTTP/2 200").kind, THeaderKind::Other);
  EXPECT_EQ(viewheaderline("http/1.0 200 OK").kind, THeaderKind::Other);
  EXPECT_EQ(viewheaderline("no colon here").kind, THeaderKind::Other);

  auto h = viewheaderline("Content-Type:  \t text/HTML; x=y: z");
  EXPECT_EQ(h.kind, THeaderKind::Field);
  EXPECT_EQ(h.name, "Content-Type");
  EXPECT_TRUE(samename(h.name, "content-type"));
  EXPECT_EQ(h.value, "text/HTML; x=y: z");
  EXPECT_EQ(viewheaderline("Content-Type:text/html").value, "text/html");
  EXPECT_EQ(viewheaderline("Location:").value, "");
  EXPECT_EQ(viewheaderline("Name : v").name, "Name ");
}

// Every kind of line the receive path meets, with what it must make of it: a status line only by
// its exact first eight characters, a field split at its first colon with the value's leading
// blanks and tabs dropped, anything else left alone.
TEST(HeaderLine, TrickyLinesTakenApart) {
  const THeaderKind S = THeaderKind::Status, F = THeaderKind::Field, O = THeaderKind::Other;
  const struct {
    std::string line;
    THeaderKind kind;
    std::string name, value;
  } cases[] = {
      {"HTTP/1.0 200 OK", S, "", ""},
      {"HTTP/1.1", S, "", ""},
      {"HTTP/1.", O, "", ""},
      {"HTTP/1.2 200 OK", O, "", ""},
      {"http/1.1 200 OK", O, "", ""},
      {"HTTP/1.0: x", S, "", ""},
      {"Location: /a", F, "Location", "/a"},
      {"LOCATION:\t /b", F, "LOCATION", "/b"},
      {"location:", F, "location", ""},
      {"location: ", F, "location", ""},
      {":", F, "", ""},
      {": value", F, "", "value"},
      {"Name : v", F, "Name ", "v"},
      {"Content-Length:  \t  42", F, "Content-Length", "42"},
      {"X:\t", F, "X", ""},
      {"no colon", O, "", ""},
      {"", O, "", ""},
      {" leading: blank", F, " leading", "blank"},
      {"a:b:c", F, "a", "b:c"},
      {"K\xc4y: v\xe4lue", F, "K\xc4y", "v\xe4lue"},
      {"Www-Authenticate: Basic realm=\"x\"", F, "Www-Authenticate", "Basic realm=\"x\""},
  };
  for (const auto& c : cases) {
    THeaderView view = viewheaderline(c.line);
    EXPECT_EQ(view.kind, c.kind) << c.line;
    EXPECT_EQ(view.name, c.name) << c.line;
    EXPECT_EQ(view.value, c.value) << c.line;
  }
}

TEST(HeaderLine, NamesCompareWithoutCase) {
  for (const char* name : {"location", "content-length", "content-type", "www-authenticate"}) {
    std::string upper = name;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(samename(upper, name)) << upper;
    EXPECT_TRUE(samename(name, name)) << name;
    EXPECT_FALSE(samename(upper.substr(1), name)) << name;
    EXPECT_FALSE(samename(upper + " ", name)) << name;
  }
  // Only ASCII letters fold: "[" is "{" with the case bit, and bytes above 127 stay themselves.
  EXPECT_FALSE(samename("[", "{"));
  EXPECT_FALSE(samename("\xc4", "\xe4"));
  EXPECT_TRUE(samename("", ""));
}

TEST(HeaderLine, StatusCodeAndReason) {
  int code = -1;
  EXPECT_TRUE(statuscode("HTTP/1.0 302 Found", code));
  EXPECT_EQ(code, 302);
  EXPECT_EQ(reasonphrase("HTTP/1.0 302 Found"), "Found");
  EXPECT_TRUE(statuscode("HTTP/1.1 20", code));
  EXPECT_EQ(code, 20);
  EXPECT_EQ(reasonphrase("HTTP/1.1 20"), "");
  // Not three digits: read as a decimal number.
  EXPECT_TRUE(statuscode("HTTP/1.1  20 OK", code));
  EXPECT_EQ(code, 20);
  code = 7;
  EXPECT_FALSE(statuscode("HTTP/1.0 abc OK", code));
  EXPECT_FALSE(statuscode("HTTP/1.0", code));
  EXPECT_FALSE(statuscode("HTTP/1.0 2x0 OK", code));
  EXPECT_EQ(code, 7);
}

TEST(HeaderLine, Decimal) {
  int64_t v = 0;
  EXPECT_TRUE(decimal("123", v));
  EXPECT_EQ(v, 123);
  EXPECT_TRUE(decimal("  -5", v));
  EXPECT_EQ(v, -5);
  EXPECT_TRUE(decimal("9223372036854775807", v));
  EXPECT_EQ(v, INT64_MAX);
  EXPECT_TRUE(decimal("-9223372036854775808", v));
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_TRUE(decimal(" +7", v));
  EXPECT_EQ(v, 7);
  // The longest run of digits read directly, and leading zeros.
  EXPECT_TRUE(decimal("999999999999999999", v));
  EXPECT_EQ(v, 999999999999999999);
  EXPECT_TRUE(decimal("000000000000000000012", v));
  EXPECT_EQ(v, 12);
  v = 42;
  for (const char* bad : {"", " ", "+", "-", "+-5", "--5", "- 5", "12 ", "1a", "0x10",
                          "9223372036854775808", "-9223372036854775809", "\t1"}) {
    EXPECT_FALSE(decimal(bad, v)) << bad;
  }
  EXPECT_EQ(v, 42);
}

}  // namespace
