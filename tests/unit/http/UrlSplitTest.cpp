#include "http/UrlSplit.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
  const char* url;
  TUrlParts want;
};

std::string show(const TUrlParts& p) {
  return "scheme=" + p.scheme + " user=" + p.user + " password=" + p.password + " host=" + p.host +
         " port=" + p.port + " path=" + p.path;
}

TEST(SplitURL, EveryBranch) {
  const SplitCase cases[] = {
      {"", {}},
      // "://" present: the scheme is whatever precedes it.
      {"http://h", {"http", "", "", "h", "", ""}},
      {"http://h:8080/a/b.htm?x=1", {"http", "", "", "h", "8080", "/a/b.htm?x=1"}},
      {"ftp://u:p@h:21/f", {"ftp", "u", "p", "h", "21", "/f"}},
      {"http://u@h/x", {"http", "u", "", "h", "", "/x"}},
      {"http://u:p@h/x", {"http", "u", "p", "h", "", "/x"}},
      {"http://u:p:q@h:1/x", {"http", "u", "p:q", "h", "1", "/x"}},
      {"http://a@b@h/x", {"http", "a@b", "", "h", "", "/x"}},
      {"http://h:/x", {"http", "", "", "h", "", "/x"}},
      {"x://h/p://q", {"x", "", "", "h", "", "/p://q"}},
      {"http://", {"http", "", "", "", "", ""}},
      {"http:///x", {"http", "", "", "", "", "/x"}},
      // Leading "/": a path, or "//" starting an authority after the first character.
      {"/index.htm", {"http", "", "", "", "", "/index.htm"}},
      {"/", {"http", "", "", "", "", ""}},
      {"//h/x", {"http", "", "", "", "", "/h/x"}},
      // "http:" without slashes.
      {"http:foo/bar", {"http", "", "", "", "", "foo/bar"}},
      {"HTTP:/x/y", {"http", "", "", "", "", "/x/y"}},
      {"http:x/", {"http", "", "", "", "", "/"}},
      {"http:/", {"http", "", "", "", "", ""}},
      {"http:", {"http", "", "", "", "", ""}},
      // "mailto:"
      {"mailto:joe@example.org", {"mailto", "joe", "", "example.org", "", ""}},
      {"MAILTO:a:b@c", {"mailto", "a", "b", "c", "", ""}},
      // No scheme at all.
      {"h", {"", "", "", "h", "", ""}},
      {"h:81/x", {"", "", "", "h", "81", "/x"}},
      {"page.htm", {"", "", "", "page.htm", "", ""}},
      {"u@h", {"", "u", "", "h", "", ""}},
      {"u:p@h", {"", "u", "p", "h", "", ""}},
      {"dir/page.htm", {"", "", "", "dir", "", "/page.htm"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(show(SplitURL(c.url)), show(c.want)) << "url: " << c.url;
  }
}

TEST(SplitURL, Ipv6LiteralsKeepTheirBrackets) {
  const SplitCase cases[] = {
      {"http://[::1]:8080/a?x=1", {"http", "", "", "[::1]", "8080", "/a?x=1"}},
      {"http://[::1]/", {"http", "", "", "[::1]", "", "/"}},
      {"http://[::1]", {"http", "", "", "[::1]", "", ""}},
      {"http://[2001:db8::7]:81", {"http", "", "", "[2001:db8::7]", "81", ""}},
      {"http://u:p@[::1]:82/x", {"http", "u", "p", "[::1]", "82", "/x"}},
      {"http://u:p:q@[::ffff:127.0.0.1]/", {"http", "u", "p:q", "[::ffff:127.0.0.1]", "", "/"}},
      {"[::1]:83/y", {"", "", "", "[::1]", "83", "/y"}},
      // Damaged: whatever follows the "[" stays in the host, which then reads as no address.
      {"http://[::1", {"http", "", "", "[::1", "", ""}},
      {"http://[::1]x/", {"http", "", "", "[::1]x", "", "/"}},
      {"http://[::1]x:80/", {"http", "", "", "[::1]x:80", "", "/"}},
      {"http://[zz]/", {"http", "", "", "[zz]", "", "/"}},
      // Without brackets the last ":" is taken for the port, as for any host.
      {"http://::1:8080/", {"http", "", "", "::1", "8080", "/"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(show(SplitURL(c.url)), show(c.want)) << "url: " << c.url;
  }
}

TEST(SplitURL, HostProblemsOfIpv6) {
  for (const char* good : {"[::1]", "[2001:DB8::7]", "[::ffff:127.0.0.1]", "localhost", "127.0.0.1",
                           "example.org", ""}) {
    EXPECT_EQ(hostproblem(good), "") << good;
  }
  for (const char* damaged : {"[::1", "[::1]x", "[zz]", "[]", "[127.0.0.1]", "[fe80::1%25lo]",
                              "::1]", "[1:2]", "[::1]x:80"}) {
    EXPECT_NE(hostproblem(damaged).find("no valid IPv6 address in brackets"), std::string::npos)
        << damaged;
  }
  for (const char* bare : {"::1", ":", "2001:db8::7"}) {
    EXPECT_NE(hostproblem(bare).find("without brackets"), std::string::npos) << bare;
  }
}

TEST(SplitURL, HostKeyComparesSpellingsOfOneHost) {
  EXPECT_EQ(hostkey("[0:0:0:0:0:0:0:1]"), hostkey("[::1]"));
  EXPECT_EQ(hostkey("[2001:DB8::7]"), "[2001:db8::7]");
  EXPECT_EQ(hostkey("LocalHost"), "localhost");
  EXPECT_NE(hostkey("[::1]"), hostkey("[::2]"));
  EXPECT_NE(hostkey("[::1]"), hostkey("127.0.0.1"));
  EXPECT_EQ(hostkey("[zz]"), "[zz]");
}

TEST(HostField, ThePortOnlyWhenItIsNotTheSchemesDefault) {
  EXPECT_EQ(hostfield("http", "127.0.0.1", "18081"), "127.0.0.1:18081");
  EXPECT_EQ(hostfield("http", "example.test", "80"), "example.test");
  EXPECT_EQ(hostfield("HTTP", "example.test", "080"), "example.test");
  EXPECT_EQ(hostfield("", "example.test", "80"), "example.test");
  EXPECT_EQ(hostfield("http", "example.test", ""), "example.test");
  EXPECT_EQ(hostfield("http", "example.test", "443"), "example.test:443");
  EXPECT_EQ(hostfield("https", "example.test", "443"), "example.test");
  EXPECT_EQ(hostfield("https", "example.test", "80"), "example.test:80");
  EXPECT_EQ(hostfield("ftp", "example.test", "80"), "example.test:80");
  EXPECT_EQ(hostfield("http", "[::1]", "8080"), "[::1]:8080");
  EXPECT_EQ(hostfield("http", "[::1]", "80"), "[::1]");
  EXPECT_EQ(hostfield("http", "example.test", "8"), "example.test:8");
  EXPECT_EQ(hostfield("http", "example.test", "800"), "example.test:800");
}

TEST(DocumentName, DerivedFromTarget) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "document.htm"},
      {"/", "document.htm"},
      {"/a/b.htm?x=1", "b.htm"},
      {"/dir/", "dir"},
      {"/index.htm", "index.htm"},
      {"/?x=1", ""},
      {"/a?x=/b", "b"},
      {"noslash", "noslash"},
      {"http://h/x/y.gif", "y.gif"},
      // The fragment is never sent and names nothing, even when it holds slashes.
      {"/a/b.htm#part", "b.htm"},
      {"/a/b.htm?x=1#f", "b.htm"},
      {"/a/b.htm#x/y.gif", "b.htm"},
      {"/#top", "document.htm"},
      {"#top", "document.htm"},
      {"http://[::1]:8/d/e.txt", "e.txt"},
  };
  for (const auto& [target, want] : cases) EXPECT_EQ(documentname(target), want) << target;
  std::string longname(300, 'n');
  EXPECT_EQ(documentname("/" + longname + "?q"), std::string(255, 'n'));
}

TEST(DocumentName, ExtensionChange) {
  EXPECT_EQ(ChangeExtension("doc.exe", "htm"), "doc.htm");
  EXPECT_EQ(ChangeExtension("a.b.EXE", "htm"), "a.b.htm");
  EXPECT_EQ(ChangeExtension("doc", "htm"), "doc.htm");
  EXPECT_EQ(extensionof("DOC.Exe"), ".exe");
  EXPECT_EQ(extensionof("doc"), "");
}

TEST(RequestTarget, FragmentCutAndUnsafeBytesEncoded) {
  const std::pair<std::string, std::string> cases[] = {
      {"/index.html", "/index.html"},
      {"/a b", "/a%20b"},
      {"/page#section", "/page"},
      {"/q?x=1 2#f g", "/q?x=1%202"},
      {"#only", ""},
      {"/already%20encoded", "/already%20encoded"},
      {"/\"<>\x7F\t", "/%22%3C%3E%7F%09"},
      {"/gr\xC3\xBC\xC3\x9F", "/gr%C3%BC%C3%9F"},
      {"/keep/?a=b&c=d;e,f+g:h@i!$'()*~", "/keep/?a=b&c=d;e,f+g:h@i!$'()*~"},
      {"http://origin:81/a b#x", "http://origin:81/a%20b"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(requesttarget(in), out) << in;
}

}  // namespace
