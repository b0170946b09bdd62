// The reason texts of the HTTP status codes.

#include "results/StatusText.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr std::pair<int, std::string_view> kStatusTexts[] = {
    {100, "Continue"},
    {101, "Switching Protocols"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Moved Temporarily"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Request Entity Too Large"},
    {414, "Request URI Too Large"},
    {415, "Unsupported Media Type"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
};

constexpr bool allfit() {
  for (const auto& t : kStatusTexts) {
    if (t.second.size() > kLongestText) return false;
  }
  return true;
}
static_assert(allfit(), "a line buffer sized by kLongestText must hold every text");

}  // namespace

std::string_view statusview(int code) {
  auto it = std::find_if(std::begin(kStatusTexts), std::end(kStatusTexts),
                         [code](const auto& t) { return t.first == code; });
  return it == std::end(kStatusTexts) ? std::string_view("(unknown http result)") : it->second;
}

std::string statustext(int code) {
  return std::string(statusview(code));
}
