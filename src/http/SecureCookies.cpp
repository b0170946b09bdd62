#include "http/SecureCookies.h"

#include <string_view>
#include <vector>

#include "http/HttpLines.h"

namespace {

// Whether one Set-Cookie value has the attribute Secure.
bool issecure(std::string_view value) {
  size_t semi = value.find(';');
  while (semi != std::string_view::npos) {
    size_t next = value.find(';', semi + 1);
    std::string_view attr = value.substr(
        semi + 1, next == std::string_view::npos ? std::string_view::npos : next - semi - 1);
    while (!attr.empty() && (attr.front() == ' ' || attr.front() == '\t')) attr.remove_prefix(1);
    while (!attr.empty() && (attr.back() == ' ' || attr.back() == '\t')) attr.remove_suffix(1);
    if (attr.size() == 6 && samename(attr, "secure")) return true;
    semi = next;
  }
  return false;
}

}  // namespace

std::string withoutsecure(const std::string& cookie) {
  if (cookie.empty()) return cookie;
  // Each piece: its separator (empty for the first) and its value.
  struct TPiece {
    std::string_view separator, value;
  };
  std::vector<TPiece> pieces;
  const std::string_view text(cookie);
  size_t start = 0;
  std::string_view separator;
  bool dropped = false;
  for (;;) {
    size_t at = start;
    size_t found = std::string_view::npos;
    while ((at = text.find("\r\n", at)) != std::string_view::npos) {
      if (text.size() - at >= 10 && samename(text.substr(at + 2, 7), "cookie:")) {
        found = at;
        break;
      }
      at += 2;
    }
    const std::string_view value = text.substr(
        start, found == std::string_view::npos ? std::string_view::npos : found - start);
    if (issecure(value)) {
      dropped = true;
    } else {
      pieces.push_back({separator, value});
    }
    if (found == std::string_view::npos) break;
    size_t valuestart = found + 9;
    while (valuestart < text.size() && text[valuestart] == ' ') ++valuestart;
    separator = text.substr(found, valuestart - found);
    start = valuestart;
  }
  if (!dropped) return cookie;
  std::string out;
  for (const TPiece& p : pieces) {
    // The first value kept needs no separator of its own.
    if (!out.empty()) out.append(p.separator);
    out.append(p.value);
  }
  return out;
}
