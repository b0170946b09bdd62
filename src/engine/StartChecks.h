#pragma once
// Checks of the settings made before a test (and each run) starts: text that would change the
// request header, and key numbers that would not fit their type.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/TestSettings.h"

// True when text holds a CR, an LF or a NUL: any of them in a request field would end a header
// line early and let the rest of the text act as further headers or a second request.
bool hasheaderbreak(const std::string& text);

// Why these settings and URL lines may not start, or "" when they may start.
// Refused: a URL, agent, proxy or proxy port with a header break; an empty single URL or one that
// names no server; "Use Proxy" without a proxy; and a key offset whose highest
// key number (offset + users) would pass the largest 64-bit integer.
std::string startproblem(const TestSettings& s, const std::vector<std::string>& urls);

// startproblem() framed as the refusal dialog shows it, or "".
std::string startrefusal(const TestSettings& s, const std::vector<std::string>& urls);
