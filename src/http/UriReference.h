#pragma once
// URI references as RFC 3986 reads them: taking one apart, removing dot segments and resolving a
// reference against a base URI. A "location" header names the next request this way: a full URL,
// "//host:port/path", "/path", "path" relative to the current one, or "?query" alone.

#include <string>
#include <string_view>

// The parts of a URI reference. A part that is absent differs from one that is empty ("//" has an
// empty authority, "x" none), so each optional part carries a flag. The fragment is never kept:
// it is the browser's business and never sent.
struct TUriParts {
  std::string scheme, authority, path, query;
  bool hasscheme = false, hasauthority = false, hasquery = false;
};

// Takes ref apart (RFC 3986 appendix B). Text before the first ":" is a scheme only when it is
// one by its syntax (a letter, then letters, digits, "+", "-" and "."), so "sub x:y" and ":x"
// are relative paths.
TUriParts parseuri(std::string_view ref);

// The path with its "." and ".." segments removed (RFC 3986 section 5.2.4).
std::string removedotsegments(std::string_view path);

// ref resolved against base (RFC 3986 section 5.2.2, in the lenient form that reads "http:x"
// against an http base as the relative "x", as browsers do). The result has no fragment.
TUriParts resolvereference(const TUriParts& base, const TUriParts& ref);

// The parts written out again: scheme ":", "//" authority, path, "?" query.
std::string composeuri(const TUriParts& u);

// composeuri(resolvereference(parseuri(base), parseuri(ref))).
std::string resolveuri(std::string_view base, std::string_view ref);
