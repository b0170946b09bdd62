#pragma once
// The log's texts for the numbers a finished request reports (the status texts, which the run
// summaries list as well, come from results/StatusText.h), and the text substitution the
// launcher uses for key numbers and cookie lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "results/StatusText.h"

// Text of a request's completion error code (Winsock numbers; 11001 .. 11255 read as the names of
// the ICMP status codes; 12001 is the HTTP client's body cut short); "(unknown errorcode)" for
// any other code. Callers pass the code zero-extended from 16 bits.
std::string sockettext(uint16_t code);

// The same text without a copy, for a line written once per request. None is longer than
// kLongestText.
std::string_view socketview(uint16_t code);

// The text with every occurrence of pattern replaced, leftmost first. A replacement shorter than
// the pattern that forms a new occurrence with the text around it is replaced again, as if the
// search started over after each replacement; a longer or equal one is never searched again, so
// the call always ends and takes linear time. An empty pattern leaves the text unchanged.
std::string replaceall(std::string text, const std::string& pattern,
                       const std::string& replacement);
