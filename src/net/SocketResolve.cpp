#include "net/SocketResolve.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <strings.h>
#include <cctype>
#include <cstring>

#include "net/NameResolver.h"
#include "net/WSocket.h"

namespace {

// Only ASCII digits, whatever the locale.
bool isdecimal(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool plaindotted(std::string_view text, in_addr& address) {
  const char* p = text.data();
  const char* end = p + text.size();
  uint32_t value = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (p == end || *p++ != '.')) return false;
    if (p == end || !isdecimal(*p)) return false;
    unsigned number = unsigned(*p++ - '0');
    // After a leading zero the classic converter reads octal: such text is not plain.
    if (number != 0) {
      while (p != end && isdecimal(*p)) {
        number = number * 10 + unsigned(*p++ - '0');
        if (number > 255) return false;
      }
    }
    value = value << 8 | number;
  }
  if (p != end) return false;
  address.s_addr = htonl(value);
  return true;
}

bool dottedaddress(const std::string& text, in_addr& address) {
  if (plaindotted(text, address)) return true;
  // The classic converter ignores whatever follows a blank; a host name never holds one.
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) return false;
  }
  return !text.empty() && inet_aton(text.c_str(), &address) != 0;
}

std::string dottedtext(in_addr address) {
  // Written by hand: the library's formatter goes through printf for every address.
  uint32_t value = ntohl(address.s_addr);
  char text[INET_ADDRSTRLEN];
  char* p = text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    unsigned byte = (value >> shift) & 0xff;
    if (byte >= 100) *p++ = char('0' + byte / 100);
    if (byte >= 10) *p++ = char('0' + byte / 10 % 10);
    *p++ = char('0' + byte % 10);
    if (shift > 0) *p++ = '.';
  }
  return std::string(text, size_t(p - text));
}

in_addr wsocketresolvehost(const std::string& host) {
  if (host.empty() || host.size() > 256) {
    throw ESocketException("WSocketResolveHost: '" + host + "' Invalid Hostname.");
  }
  in_addr address{};
  if (plaindotted(host, address)) return address;
  if (std::isdigit(static_cast<unsigned char>(host[0]))) {
    if (!dottedaddress(host, address)) {
      throw ESocketException("WSocketResolveHost: '" + host + "' Invalid IP address.");
    }
    return address;
  }
  if (const TNameResolver& resolve = nameresolver()) {
    std::vector<std::string> addresses;
    if (resolve(host, addresses) != 0 || addresses.empty() ||
        !dottedaddress(addresses.front(), address)) {
      throw ESocketException("WSocketResolveHost: Cannot convert host address '" + host + "'");
    }
    return address;
  }
  struct addrinfo hints {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* res = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) {
    throw ESocketException("WSocketResolveHost: Cannot convert host address '" + host + "'");
  }
  address = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
  freeaddrinfo(res);
  return address;
}

socklen_t addresslength(const TSocketAddress& a) {
  return a.sa.sa_family == AF_INET6 ? sizeof a.v6 : sizeof a.v4;
}

uint16_t addressport(const TSocketAddress& a) {
  return a.sa.sa_family == AF_INET6 ? a.v6.sin6_port : a.v4.sin_port;
}

void setaddressport(TSocketAddress& a, uint16_t port) {
  if (a.sa.sa_family == AF_INET6) {
    a.v6.sin6_port = port;
  } else {
    a.v4.sin_port = port;
  }
}

bool ipv6literal(std::string_view text, in6_addr& address) {
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  // The converter needs a terminated string; the longest form (with an IPv4 tail) fits here.
  char buf[INET6_ADDRSTRLEN];
  if (text.size() < 2 || text.size() >= sizeof buf || text.find(':') == std::string_view::npos) {
    return false;
  }
  text.copy(buf, text.size());
  buf[text.size()] = '\0';
  return inet_pton(AF_INET6, buf, &address) == 1;
}

std::string ipv6text(const in6_addr& address) {
  char text[INET6_ADDRSTRLEN];
  if (inet_ntop(AF_INET6, &address, text, sizeof text) == nullptr) return std::string();
  return text;
}

TSocketAddress wsocketresolveaddress(const std::string& host) {
  TSocketAddress a{};
  if (ipv6literal(host, a.v6.sin6_addr)) {
    a.v6.sin6_family = AF_INET6;
    return a;
  }
  // No name holds a bracket or a colon: such text is a damaged address, not something to ask a
  // name server about.
  if (host.find_first_of("[]:") != std::string::npos) {
    throw ESocketException("WSocketResolveHost: '" + host + "' Invalid IP address.");
  }
  a.v4.sin_family = AF_INET;
  a.v4.sin_addr = wsocketresolvehost(host);
  return a;
}

uint16_t wsocketresolveport(const std::string& port, const char* protoname) {
  if (port.empty() || port.size() >= 32)
    throw ESocketException("WSocketResolvePort: Invalid Port.");
  size_t i = 0;
  while (i < port.size() && port[i] == ' ') ++i;
  if (i < port.size() && isdecimal(port[i])) {
    long value = 0;
    for (; i < port.size() && isdecimal(port[i]); ++i) {
      value = value * 10 + (port[i] - '0');
      if (value > 65535) throw ESocketException("WSocketResolvePort: Invalid Port.");
    }
    return static_cast<uint16_t>(value);
  }
  struct servent entry {};
  struct servent* found = nullptr;
  char buf[1024];
  if (getservbyname_r(port.c_str(), protoname, &entry, buf, sizeof buf, &found) != 0 ||
      found == nullptr) {
    throw ESocketException("WSocketResolvePort: Cannot convert port '" + port + "'");
  }
  return ntohs(static_cast<uint16_t>(found->s_port));
}

int wsocketresolveproto(const std::string& proto) {
  if (proto.empty() || proto.size() >= 32) {
    throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  }
  // The two protocols every connection names are answered without reading the protocols file,
  // which would cost five system calls per connection.
  if (proto == "tcp") return IPPROTO_TCP;
  if (isdecimal(proto[0])) {
    int value = 0;
    for (size_t i = 0; i < proto.size() && isdecimal(proto[i]); ++i) {
      value = value * 10 + (proto[i] - '0');
      if (value > 255) break;
    }
    return value;
  }
  if (strcasecmp(proto.c_str(), "tcp") == 0) return IPPROTO_TCP;
  if (strcasecmp(proto.c_str(), "udp") == 0) return IPPROTO_UDP;
  struct protoent entry {};
  struct protoent* found = nullptr;
  char buf[1024];
  if (getprotobyname_r(proto.c_str(), &entry, buf, sizeof buf, &found) == 0 && found != nullptr) {
    return found->p_proto;
  }
  throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + proto + "'");
}
