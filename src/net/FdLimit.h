#pragma once
// The descriptor limit of the process: a test with thousands of users needs one socket each.

// Raises the soft RLIMIT_NOFILE to the hard limit and returns the soft limit now in force
// (-1 when it cannot be read). Programs call it once at start.
int raisefdlimit();

// The descriptors a load test of the most users needs: 20000 sockets and the program's own.
constexpr int kFdTableReserve = 20480;

// Grows the kernel's descriptor table of the process to hold `count` descriptors at once (at most
// the limit in force). Call it while the process still has one thread: once threads share the
// table, every doubling it makes as sockets are opened waits for the kernel's read-copy-update
// grace period, milliseconds in the middle of a run's start loop.
void reservefdtable(int count);
