#pragma once
// Reading and writing the files of the multiple-URL list: plain text, one URL per line.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Reads the lines of the file at path (LF or CR LF line ends; a last line without a line end
// counts; a UTF-8 byte-order mark at the start is skipped). Returns false and sets error to a
// message naming the file when it cannot be opened or read; lines is then untouched.
bool readurlfile(const std::string& path, std::vector<std::string>& lines, std::string& error);

// The first `most` lines of a URL list's text, split as readurlfile splits a file. Every line,
// kept or not, is first handed to check (with its number from 1), which may throw to refuse it:
// a file of a million lines is checked whole while only the lines a test uses are kept.
std::vector<std::string> firsturllines(std::string_view text, size_t most,
                                       const std::function<void(size_t, std::string_view)>& check);

// Writes every line followed by CR LF, replacing the file; no byte-order mark, unless the first
// line itself begins with one. Returns false and sets error when the
// file cannot be created or written.
bool writeurlfile(const std::string& path, const std::vector<std::string>& lines,
                  std::string& error);
