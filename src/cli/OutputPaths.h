#pragma once
// Which file an output path names in the end, so that two spellings of one file ("d/r.out" and
// "d/./r.out", a relative and an absolute path, a link and its target) are known as one.

#include <string>

// The absolute path of the file path names: "." and ".." resolved, links followed where they
// exist (the last component too), the rest taken as written.
std::string resolvedoutput(const std::string& path);

// The directory the engine writes the log files and temp.htm into for a given --output-dir
// (empty: the program's own choice, worked out without creating anything).
std::string logdirfor(const std::string& outputdir);
