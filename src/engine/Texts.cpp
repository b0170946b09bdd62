#include "engine/Texts.h"

#include <algorithm>
#include <iterator>

namespace {

struct TText {
  constexpr TText(int c, const char* t)
      : code(c), length(static_cast<uint16_t>(std::char_traits<char>::length(t))), text(t) {}
  int code;
  uint16_t length;  // counted when compiled, in room the entry has anyway
  const char* text;
};

constexpr TText kSocketTexts[] = {
    {0, "No Error"},
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Permission denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036,
     "Operation now in progress. This error is returned if any Windows Sockets API function is "
     "called while a blocking function is in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on nonsocket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Protocol not available."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050,
     "Network is down. This error may be reported at any time if the Windows Sockets "
     "implementation detects an underlying failure."},
    {10051, "Network is unreachable."},
    {10052, "Network dropped connection on reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send after socket shutdown."},
    {10059, "Too many references: cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10091, "Returned by WSAStartup(), indicating that the network subsystem is unusable."},
    {10092,
     "Returned by WSAStartup(), indicating that the Windows Sockets DLL cannot support this "
     "application."},
    {10093,
     "Winsock not initialized. This message is returned by any function except WSAStartup(), "
     "indicating that a successful WSAStartup() has not yet been performed."},
    {10101, "Disconnect."},
    {10120, "TLS handshake or record failed."},
    {10121, "Certificate verify failed."},
    {10122, "Proxy tunnel (CONNECT) failed."},
    {11001, "ICMP_BUFFER_TOO_SMALL"},
    {11002, "ICMP_NET_UNREACHABLE"},
    {11003, "ICMP_HOST_UNREACHABLE"},
    {11004, "ICMP_DEST_PROT_UNREACHABLE"},
    {11005, "ICMP_DEST_PORT_UNREACHABLE"},
    {11006, "ICMP_NO_RESOURCES"},
    {11007, "ICMP_BAD_OPTION"},
    {11008, "ICMP_W_ERROR"},
    {11009, "ICMP_PACKET_TOO_BIG"},
    {11010, "ICMP_REQ_TIMED_OUT"},
    {11011, "ICMP_BAD_REQ"},
    {11012, "ICMP_BAD_ROUTE"},
    {11013, "ICMP_TTL_EXPIRED_TRANSMIT"},
    {11014, "ICMP_TTL_EXPIRED_REASSEM"},
    {11015, "ICMP_PARAM_PROBLEM"},
    {11016, "ICMP_SOURCE_QUENCH"},
    {11017, "ICMP_OPTION_TOO_BIG"},
    {11018, "ICMP_BAD_DESTINATION"},
    {11019, "ICMP_ADDRESS_DELETED"},
    {11020, "ICMP_SPEC_MTU_CHANGE"},
    {11021, "ICMP_MTU_CHANGE"},
    {11022, "ICMP_UNLOAD"},
    {11050, "ICMP_GENERAL_FAILURE"},
    {11255, "ICMP_PENDING"},
    // The HTTP client's own code for an answer that ended before its Content-Length.
    {12001, "Body cut short: the connection closed before Content-Length bytes arrived."},
};

template <size_t N>
constexpr bool allfit(const TText (&table)[N]) {
  for (const TText& t : table) {
    if (t.length > kLongestText) return false;
  }
  return true;
}
static_assert(allfit(kSocketTexts), "a line buffer sized by kLongestText must hold every text");

template <size_t N>
std::string_view lookup(const TText (&table)[N], int code, std::string_view unknown) {
  auto it = std::find_if(std::begin(table), std::end(table),
                         [code](const TText& t) { return t.code == code; });
  return it == std::end(table) ? unknown : std::string_view(it->text, it->length);
}

}  // namespace

std::string_view socketview(uint16_t code) {
  return lookup(kSocketTexts, code, "(unknown errorcode)");
}

std::string sockettext(uint16_t code) {
  return std::string(socketview(code));
}

std::string replaceall(std::string text, const std::string& pattern,
                       const std::string& replacement) {
  if (pattern.empty()) return text;
  const size_t n = pattern.size();
  std::string out;
  out.reserve(text.size());
  if (replacement.size() >= n) {
    // Searching again from the start would never end when the replacement rebuilds the pattern
    // and could grow the text without bound when it does so with its neighbours; replaced text
    // is therefore not searched again.
    size_t from = 0;
    for (size_t pos = text.find(pattern); pos != std::string::npos;
         pos = text.find(pattern, from)) {
      out.append(text, from, pos - from);
      out += replacement;
      from = pos + n;
    }
    out.append(text, from, std::string::npos);
    return out;
  }
  // A shorter replacement shrinks the text at every step, so searching again from the start is
  // safe. Since the text before the first occurrence holds none, the next occurrence is the one
  // that ends first: feed characters through out and replace whenever out ends with the pattern,
  // putting the replacement back in front of the unread input.
  std::string input(text.rbegin(), text.rend());  // next character at the back
  while (!input.empty()) {
    out.push_back(input.back());
    input.pop_back();
    if (out.size() >= n && out.compare(out.size() - n, n, pattern) == 0) {
      out.resize(out.size() - n);
      input.append(replacement.rbegin(), replacement.rend());
    }
  }
  return out;
}
