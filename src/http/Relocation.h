#pragma once
// Where a "location" header sends the next request: its value resolved as a URI reference against
// the URL of the current request, and the connection, "Host: " value and request target that
// follow from that URL.

#include <string>

// Where a request goes: the connection's end point, the "Host: " value and the request target.
struct THttpTarget {
  std::string ConnectHost, ConnectPort, TargetHost, RequestTarget;
};

// The absolute URL that the location value v names: v resolved against the current request's URL
// (http:// + ConnectHost:ConnectPort + RequestTarget without a proxy, https:// when secure says the
// current connection is https; RequestTarget itself through a proxy). It carries no fragment and
// no user information, its path is at least "/", and a location that names no host (as
// "http:///x" does) keeps the current one. Its scheme is lower case; one other than http and https
// is the caller's to refuse.
std::string relocationurl(const THttpTarget& current, const std::string& v, bool viaproxy,
                          bool secure = false);

// The target of the request that follows a "location" header with the value v. Without a proxy
// the connection and "Host: " move to the URL's host and port (80, or 443 for https, unless it
// names one) and the request target is its path and query; whether the next connection speaks TLS
// is the URL's scheme, the caller's to note. Through a proxy the connection stays, "Host: " names
// the URL's host and the request target is the whole URL. A URL of another scheme than http and
// https leaves current as it is.
THttpTarget relocate(const THttpTarget& current, const std::string& v, bool viaproxy,
                     bool secure = false);
