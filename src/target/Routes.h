#pragma once
// The routes of pressbolt-target: what to answer to a parsed request. Pure, no I/O: the connection
// sends the result.

#include <cstdint>
#include <string>
#include <string_view>

#include "target/Request.h"

// What the connection does once the response bytes have gone out.
enum class TAfter {
  close,    // close the sending side and wait for the client to close
  reset,    // abort the connection with a reset
  trickle,  // send TrickleBytes more pattern bytes, one every TrickleMs
  hang,     // send nothing more and keep the connection until the client goes
};

struct TResponse {
  int Status = 0;            // for the log; 0 when no status line is sent
  std::string Head;          // bytes sent first: status line and fields, or raw bytes
  int64_t PatternBytes = 0;  // then this many bytes of the body pattern (see patternspan)
  TAfter After = TAfter::close;
  int64_t TrickleBytes = 0;
  int TrickleMs = 10;
  int DelayMs = 0;  // the whole response waits this long after the request has been read
};

// Largest /size/N served (1 GiB); larger sizes are a 400.
constexpr int64_t kMaxSize = int64_t(1) << 30;
// Largest request body kept for /echo; a larger announced body is a 413.
constexpr int64_t kMaxEchoBody = int64_t(16) << 20;

// True when the route answers with the request's body, so the connection must keep it.
bool keepsbody(const TRequest& rq);

// The answer to rq; raw is the request exactly as received (header and body), used by /echo.
TResponse route(const TRequest& rq, std::string_view raw);

// Plain answers for requests that never reach a route: 400, 413, 431 and the like.
TResponse simple(int status, const std::string& body);

// The reason phrase of a status code, "Unknown" for codes without one.
const char* reasonphrase(int status);

// Body bytes starting at offset: a repeating run of printable ASCII characters, returned as a
// view of at most max bytes into a static block, so any size streams without being held.
std::string_view patternspan(int64_t offset, size_t max);

// Standard Base64 with padding.
std::string base64(std::string_view s);
