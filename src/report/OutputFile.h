#pragma once
// Writing a result file so that a failure never passes for success and never leaves half a file.

#include <string>

// Writes bytes to path through a temporary file in the same directory, renamed into place only
// when every byte reached the disk, so a failure leaves any previous file intact. A link is written
// through: the file it names is replaced. Path "-" writes
// to stdout and flushes it. On failure returns false with error = "cannot write \"path\": reason".
bool writeoutput(const std::string& path, const std::string& bytes, std::string& error);
