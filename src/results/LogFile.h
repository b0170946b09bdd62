#pragma once
// Where the files of a test go, and writing the two log files. The window and the command line
// both save from the log model through these, so they write identical files.

#include <string>
#include <vector>

#include "results/LogModel.h"

// File names of the two logs written at the end of a test.
inline constexpr const char* resultsfilename = "Pressbolt Results.log";
inline constexpr const char* detailedfilename = "Pressbolt Detailed Results.log";

// Directory of the running program file (/proc/self/exe) with a trailing "/"; "./" when the
// link cannot be read.
std::string programdir();

// $XDG_DATA_HOME/pressbolt/ (an absolute XDG_DATA_HOME only; else ~/.local/share/pressbolt/),
// with a trailing "/". Not created.
std::string datadir();

// Directory for the log files and temp.htm: programdir() when it is writable, else datadir(),
// created if missing. When the fallback is taken, *note (if given) receives a line for the log
// saying where the files go; otherwise it is emptied.
std::string outputdir(std::string* note = nullptr);
// The same choice for a given preferred directory (with its trailing "/").
std::string outputdirfor(const std::string& preferred, std::string* note = nullptr);

// Writes each line followed by CR LF, creating the file or overwriting it, never appending.
// On failure returns false with error = "Cannot create file \"path\". " + the system's reason
// (or "Cannot write file ..." when writing failed part way).
bool savelines(const std::string& path, const std::vector<std::string>& lines, std::string& error);

// The "Results" view as a file: the lines' texts without bold or colour, as savelines writes.
bool saveresults(const std::string& path, const std::vector<TResultLine>& lines,
                 std::string& error);
