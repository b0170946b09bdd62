// URI references taken apart and resolved: RFC 3986's own examples (section 5.4) are the table.

#include "http/UriReference.h"

#include <gtest/gtest.h>

namespace {

std::string show(const TUriParts& u) {
  auto part = [](bool has, const std::string& s) { return has ? "[" + s + "]" : std::string("-"); };
  return part(u.hasscheme, u.scheme) + " " + part(u.hasauthority, u.authority) + " [" + u.path +
         "] " + part(u.hasquery, u.query);
}

TEST(UriReference, PartsTellAbsentFromEmpty) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://a/b/c/d;p?q#f", "[http] [a] [/b/c/d;p] [q]"},
      {"HTTP://a:81", "[HTTP] [a:81] [] -"},
      {"//127.0.0.2:8080/b", "- [127.0.0.2:8080] [/b] -"},
      {"//", "- [] [] -"},
      {"/abs?", "- - [/abs] []"},
      {"sub/x", "- - [sub/x] -"},
      {"?y", "- - [] [y]"},
      {"#s", "- - [] -"},
      {"", "- - [] -"},
      {"g:h", "[g] - [h] -"},
      // Only a scheme by its syntax is one: these are relative paths.
      {"sub x:y", "- - [sub x:y] -"},
      {":x", "- - [:x] -"},
      {"1a:b", "- - [1a:b] -"},
      {"a/b:c", "- - [a/b:c] -"},
      {"mailto:u@h", "[mailto] - [u@h] -"},
      {"//u:p@[::1]:80?q#f", "- [u:p@[::1]:80] [] [q]"},
  };
  for (const auto& [in, want] : cases) {
    EXPECT_EQ(show(parseuri(in)), want) << in;
    const std::string text(in);
    EXPECT_EQ(composeuri(parseuri(in)), text.substr(0, text.find('#'))) << in;
  }
}

TEST(UriReference, DotSegmentsRemoved) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/b/c/./../../g", "/a/g"},
      {"mid/content=5/../6", "mid/6"},
      {"/..", "/"},
      {"/.", "/"},
      {"/a/..", "/"},
      {"/a/.", "/a/"},
      {"../../x", "x"},
      {".", ""},
      {"..", ""},
      {"/a//../b", "/a/b"},
      {"/a/..b/.c/...", "/a/..b/.c/..."},
      {"", ""},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(removedotsegments(in), want) << in;
}

TEST(UriReference, ResolvedAsTheStandardShows) {
  const char* base = "http://a/b/c/d;p?q";
  const std::pair<const char*, const char*> cases[] = {
      // Normal examples.
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q"},  // the fragment is never kept
      {"g#s", "http://a/b/c/g"},
      {"g?y#s", "http://a/b/c/g?y"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      // Abnormal examples.
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g"},
      {"g#s/../x", "http://a/b/c/g"},
      // The lenient reading, as browsers have it: the base's own scheme makes a relative one.
      {"http:g", "http://a/b/c/g"},
      {"HTTP:g", "http://a/b/c/g"},
  };
  for (const auto& [ref, want] : cases) EXPECT_EQ(resolveuri(base, ref), want) << ref;
  // A base with an authority and no path merges below "/".
  EXPECT_EQ(resolveuri("http://a", "g"), "http://a/g");
  EXPECT_EQ(resolveuri("http://a?q", "?r"), "http://a?r");
}

}  // namespace
