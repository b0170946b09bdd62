#pragma once
// Reading and writing the files of the multiple-URL list: plain text, one URL per line.

#include <string>
#include <vector>

// Reads the lines of the file at path (LF or CR LF line ends; a last line without a line end
// counts; a UTF-8 byte-order mark at the start is skipped). Returns false and sets error to a
// message naming the file when it cannot be opened or read; lines is then untouched.
bool readurlfile(const std::string& path, std::vector<std::string>& lines, std::string& error);

// Writes every line followed by CR LF, replacing the file; no byte-order mark, unless the first
// line itself begins with one. Returns false and sets error when the
// file cannot be created or written.
bool writeurlfile(const std::string& path, const std::vector<std::string>& lines,
                  std::string& error);
