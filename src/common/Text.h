#pragma once

#include <string>
#include <string_view>
#include <vector>

// Small text helpers every room shares. ASCII only on purpose: header names, keys and options are
// ASCII, and the C library's locale must never change how a protocol word compares.

// s without leading and trailing characters from blanks. A view into s: nothing is copied.
std::string_view trim(std::string_view s, std::string_view blanks = " \t");

// s with A-Z turned into a-z; every other byte, UTF-8 included, as it is.
std::string asciilower(std::string_view s);

// The lines of a text file's bytes: lines end at LF, a CR before the LF is dropped, a last line
// without a line end counts, and a UTF-8 byte order mark at the start is skipped (editors that
// save "UTF-8 with BOM" put it before the first line, which it is no part of).
std::vector<std::string> splitlines(std::string_view text);
