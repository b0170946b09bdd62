#pragma once
// URL handling of the HTTP client: splitting a URL into its parts and deriving the document's file
// name. Where a "location" header sends the next request: Relocation.h.

#include <string>
#include <string_view>

struct TUrlParts {
  std::string scheme, user, password, host, port, path;
};

// Splits url into scheme, user, password, host, port and path (the path keeps its query). An url
// without "://" that begins with "/" is a path (scheme "http"); "http:" and "mailto:" prefixes
// are recognised without slashes. Missing parts are empty. An IPv6 host keeps its brackets
// ("http://[::1]:8080/" has host "[::1]" and port "8080"), so it stands in a Host line or an
// absolute URL as it is.
TUrlParts SplitURL(const std::string& url);

// Why a host as SplitURL gives it cannot be an IPv6 address (damaged brackets, or an address
// without them, which cannot be told from one with a port), or empty when nothing is wrong with
// it in that respect.
std::string hostproblem(const std::string& host);

// The host as two spellings of the same host compare: lower case, and an IPv6 address in the
// short form ("[0:0::1]" and "[::1]" are one host).
std::string hostkey(const std::string& host);

// The value of a "Host: " line: the host as it stands in a URL (an IPv6 address in brackets),
// then ":" and the port unless the port is empty or the scheme's default (80 for http, which an
// empty scheme means, and 443 for https). Servers build their redirects from it, and proxies check
// it against the request target.
std::string hostfield(std::string_view scheme, std::string_view host, std::string_view port);

// A file name for the document at a request target: the last segment without its query and
// fragment, or "document.htm" for an empty target or "/".
std::string documentname(const std::string& target);

// A path (or an absolute URL through a proxy) as it may stand on the request line: the fragment
// (from "#") is the browser's business and is cut, and a blank, control character, non-ASCII
// byte, quote or angle bracket is percent-encoded, so the line stays one line of three words.
std::string requesttarget(const std::string& target);

// Text up to and including the last "." plus ext ("." + ext appended when there is no ".").
std::string ChangeExtension(const std::string& name, const std::string& ext);

// Lower-cased extension of name including its dot, empty when there is none.
std::string extensionof(const std::string& name);
