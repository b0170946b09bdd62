#pragma once
// A client on its own event loop with every event recorded, run until its request is done.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../../unit/http/HttpEventLog.h"
#include "http/HttpProt.h"
#include "net/EventLoop.h"

struct TClientSession {
  TEventLoop loop;
  THttpCli cli{loop};
  THttpEventLog log;

  TClientSession() { log.Attach(cli); }

  // Runs the loop until pred holds; false when a generous guard time passed first (a hang).
  bool rununtil(const std::function<bool()>& pred) {
    TTimer guard(loop);
    bool expired = false;
    guard.Start(30000, [&] { expired = true; });
    while (!pred() && !expired) loop.RunOnce(true);
    guard.Stop();
    return pred();
  }
  // Runs until OnRequestDone, then lets the loop settle so nothing fires later.
  bool finish() {
    bool done = rununtil([this] { return log.Done > 0; });
    loop.RunOnce(false);
    return done;
  }
  // The events of a complete successful GET of the client's current target, with one DocData
  // entry when a document came.
  std::vector<std::string> getsequence(const std::vector<std::string>& commands,
                                       const std::vector<std::string>& headers, bool doc) {
    std::vector<std::string> e = {"State hsStarting",  "State hsDnsLookup", "State hsConnecting",
                                  "State hsConnected", "SessionConnected",  "State hsWaitingHeader",
                                  "RequestHeaderBegin"};
    for (const auto& c : commands) e.push_back("Command " + c);
    e.push_back("RequestHeaderEnd");
    e.push_back("Command ");
    e.push_back("HeaderBegin");
    for (const auto& h : headers) e.push_back("HeaderData " + h);
    e.push_back("State hsWaitingBody");
    e.push_back("HeaderEnd");
    if (doc) {
      e.push_back("DocBegin");
      e.push_back("DocData");
      e.push_back("DocEnd");
    }
    e.push_back("State hsReady");
    e.push_back("RequestDone 1 0");
    return e;
  }
};

// "%XX" for everything but unreserved characters, for URLs inside query parameters.
inline std::string urlencode(const std::string& s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}
