#pragma once
// Writing a result file so that a failure never passes for success and never leaves half a file.

#include <string>

// Writes bytes to path. A regular file (or a new one, or one a link leads to) is written through
// a temporary file in the same directory, renamed into place only when every byte reached the
// disk, so a failure leaves any previous file intact; the link stays a link. Anything else (a
// device, a FIFO, a terminal) is written straight into and never replaced. Path "-", and a path
// that names one of this process's descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N), write
// to that descriptor. On failure returns false with error = "cannot write \"path\": reason".
bool writeoutput(const std::string& path, const std::string& bytes, std::string& error);

// The descriptor of this process that path names: 1 for "-" and /dev/stdout, N for /dev/fd/N
// or /proc/self/fd/N (also through links that lead there); -1 for any other path.
int outputdescriptor(const std::string& path);
