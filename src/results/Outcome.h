#pragma once
// What a completed request says, from its status and socket code: the server's answer (ok, an
// error, a time-out), the operator's abort, or a failure of this machine (no descriptor, no local
// port, no buffer memory). The last two are counted and charted apart and never count against the
// server: not in its error rate, not in a threshold.

#include <cstdint>

// The socket code of a request that Abort ended.
constexpr int kAbortedSocketCode = 3;

enum TOutcome { ocOk, ocTimeout, ocError, ocAborted, ocClientError };

// The socket codes of this machine's own failures: descriptor table full (10024), local address
// or port in use or none free (10048, 10049), no buffer memory (10055).
bool isclientfailure(int socketcode);

// The class of a request: aborted and client failures first (they arrive as 404 with their
// socket code), then 200 ok, 0 time-out (no status line), anything else an error.
TOutcome outcomeof(int status, int socketcode);
