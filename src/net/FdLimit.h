#pragma once
// The descriptor limit of the process: a test with thousands of users needs one socket each.

// Raises the soft RLIMIT_NOFILE to the hard limit and returns the soft limit now in force
// (-1 when it cannot be read). Programs call it once at start.
int raisefdlimit();
