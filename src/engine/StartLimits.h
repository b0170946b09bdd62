#pragma once
// The limits of this machine that a test's users can reach before any server does: a socket is
// a descriptor, and every connection to one target address takes a local port of its own.

#include <string>
#include <vector>

struct TMachineLimits {
  long long fdlimit = -1;       // descriptors the process may hold (soft limit); below 0: no limit
  long long fdsopen = 0;        // descriptors it holds already
  int portlo = 0, porthi = -1;  // the local port range
  long long ports = -1;         // ports of that range not reserved; below 0: unknown
};

// This process's limits as they stand now.
TMachineLimits machinelimits();

// Descriptors a run holds besides its sockets: the first response, cookies.txt, users.txt, the
// POST body, the loop's own.
constexpr long long kSpareFds = 16;

// One warning per limit that users (the most simultaneous users of a run in this process) exceed,
// naming the limit and what raises it; none when they fit.
std::vector<std::string> limitwarnings(long long users, const TMachineLimits& m);
