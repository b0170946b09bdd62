// Where a "location" header sends the next request, with and without a proxy: every form of a URI
// reference, resolved against the URL of the current request.

#include "http/Relocation.h"

#include <gtest/gtest.h>

namespace {

struct RelocCase {
  const char* v;
  bool proxy;
  THttpTarget want;
};

std::string show(const THttpTarget& t) {
  return t.ConnectHost + " " + t.ConnectPort + " Host:" + t.TargetHost + " " + t.RequestTarget;
}

TEST(Relocate, WithoutAndWithProxy) {
  const THttpTarget direct{"old", "8080", "old", "/dir/start?x=1"};
  const THttpTarget proxied{"proxy", "3128", "old", "http://old:8080/dir/start?x=1"};
  const RelocCase cases[] = {
      // An absolute path stays on the same host and port.
      {"/next?a=1", false, {"old", "8080", "old", "/next?a=1"}},
      {"http://new:81/x", false, {"new", "81", "new", "/x"}},
      // An absolute URL without a port means port 80.
      {"http://new/x", false, {"new", "80", "new", "/x"}},
      // An absolute URL without a path is the named host's root.
      {"http://new:82", false, {"new", "82", "new", "/"}},
      {"http://new?q", false, {"new", "80", "new", "/?q"}},
      // A relative path is taken from the current one's directory, dot segments removed; it
      // never names a host.
      {"sub/x", false, {"old", "8080", "old", "/dir/sub/x"}},
      {"page.htm", false, {"old", "8080", "old", "/dir/page.htm"}},
      {"../up/./x", false, {"old", "8080", "old", "/up/x"}},
      {"../../../x", false, {"old", "8080", "old", "/x"}},
      // A query alone keeps the path; a fragment is never part of the target.
      {"?y=2", false, {"old", "8080", "old", "/dir/start?y=2"}},
      {"#part", false, {"old", "8080", "old", "/dir/start?x=1"}},
      // Scheme-relative: another host and port, the scheme stays http.
      {"//127.0.0.2:8081/b", false, {"127.0.0.2", "8081", "127.0.0.2", "/b"}},
      {"//new", false, {"new", "80", "new", "/"}},
      // User information in a location is never used.
      {"http://u:p@new:83/y", false, {"new", "83", "new", "/y"}},
      // A URL that names no host stays where it is.
      {"http://", false, {"old", "8080", "old", "/"}},
      {"http:///p", false, {"old", "8080", "old", "/p"}},
      // The lenient reading of the current scheme: a relative path.
      {"http:p", false, {"old", "8080", "old", "/dir/p"}},
      // Another scheme changes nothing here; the client refuses it.
      {"new:83/y", false, {"old", "8080", "old", "/dir/start?x=1"}},
      // Through a proxy only the request target and the host it names change.
      {"/next", true, {"proxy", "3128", "old", "http://old:8080/next"}},
      {"page.htm", true, {"proxy", "3128", "old", "http://old:8080/dir/page.htm"}},
      {"?y", true, {"proxy", "3128", "old", "http://old:8080/dir/start?y"}},
      {"http://new:81/x", true, {"proxy", "3128", "new", "http://new:81/x"}},
      {"//new:82/z", true, {"proxy", "3128", "new", "http://new:82/z"}},
      {"HTTP://New/", true, {"proxy", "3128", "New", "http://New/"}},
      // An IPv6 literal moves the connection there, brackets kept for the Host line.
      {"http://[::1]:84/z", false, {"[::1]", "84", "[::1]", "/z"}},
      {"//[::1]/z", false, {"[::1]", "80", "[::1]", "/z"}},
      {"http://[::1]", false, {"[::1]", "80", "[::1]", "/"}},
      {"http://[::1]:85/z", true, {"proxy", "3128", "[::1]", "http://[::1]:85/z"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(show(relocate(c.proxy ? proxied : direct, c.v, c.proxy)), show(c.want))
        << "location: " << c.v << (c.proxy ? " via proxy" : "");
  }
  EXPECT_EQ(relocate({"proxy", "3128", "old", "http://old/start"}, "/n", true).RequestTarget,
            "http://old/n");
  // An http URL without a host, against a proxied URL of another scheme: the old host, and a
  // path that cannot run into it.
  EXPECT_EQ(show(relocate({"proxy", "3128", "old", "ftp://old/dir/f"}, "http:x", true)),
            show({"proxy", "3128", "old", "http://old/x"}));
  // A name relative to an IPv6 host through a proxy keeps the host's brackets and port.
  EXPECT_EQ(relocate({"proxy", "3128", "[::1]", "http://[::1]:86/start"}, "/n", true).RequestTarget,
            "http://[::1]:86/n");
}

TEST(Relocate, HttpsGoesToPort443AndARelativeLocationKeepsTheCurrentScheme) {
  const THttpTarget plain{"old", "80", "old", "/a/b"};
  const THttpTarget secure{"old", "8443", "old", "/a/b"};
  EXPECT_EQ(show(relocate(plain, "https://new/x", false)), show({"new", "443", "new", "/x"}));
  EXPECT_EQ(show(relocate(plain, "HTTPS://new:444", false)), show({"new", "444", "new", "/"}));
  EXPECT_EQ(relocationurl(secure, "c?q", false, true), "https://old:8443/a/c?q");
  EXPECT_EQ(relocationurl(secure, "//new/z", false, true), "https://new/z");
  EXPECT_EQ(show(relocate(secure, "//new/z", false, true)), show({"new", "443", "new", "/z"}));
  EXPECT_EQ(show(relocate(secure, "http://new/z", false, true)), show({"new", "80", "new", "/z"}));
  // Through a proxy the https URL is the request target as it stands.
  EXPECT_EQ(show(relocate({"proxy", "3128", "old", "http://old/a"}, "https://new/s", true)),
            show({"proxy", "3128", "new", "https://new/s"}));
}

TEST(Relocate, TheUrlNamesTheSchemeTheClientChecks) {
  const THttpTarget direct{"old", "80", "old", "/a/b"};
  EXPECT_EQ(relocationurl(direct, "https://new/x#f", false), "https://new/x");
  EXPECT_EQ(relocationurl(direct, "FTP://new", false), "ftp://new/");
  EXPECT_EQ(relocationurl(direct, "new:83/y", false), "new:83/y");
  EXPECT_EQ(relocationurl(direct, "c", false), "http://old:80/a/c");
  EXPECT_EQ(relocationurl(direct, "//u:p@h:1/", false), "http://h:1/");
}

}  // namespace
