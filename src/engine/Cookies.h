#pragma once
// Cookies carried by the load test: the Set-Cookie values of received header lines, the lines of
// the cookie cache file cookies.txt, and the Cookie property they become.

#include <string>
#include <vector>

// The Set-Cookie values of the header lines, in order: lines whose first 11 characters are
// "SET-COOKIE:" in any case; the value is the rest with leading blanks and tabs removed, at most
// 5000 characters. A value holding a CR or NUL is left out: it would end the Cookie line early.
std::vector<std::string> setcookievalues(const std::vector<std::string>& headerlines);

// The values with one per cookie name (the text before "="): a later value replaces an earlier one
// of the same name, so a chain of relocations that sets a cookie again and again sends it once.
std::vector<std::string> latestpername(const std::vector<std::string>& values);

// Joins the values with a separator ("@@" for a cache line, "\r\nCookie: " for a redirect).
std::string joinvalues(const std::vector<std::string>& values, const std::string& separator);

// A cache line made into the Cookie property: every "@@" becomes CR LF + "cookie: ".
std::string cookiefromcacheline(const std::string& line);

// True when the file exists and nobody may write it (its write permission bits are all clear),
// the counterpart of a read-only file attribute.
bool fileisreadonly(const std::string& path);
