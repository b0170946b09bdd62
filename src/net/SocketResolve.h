#pragma once
// Text to address, port and protocol numbers for the socket layer. Each resolver throws
// ESocketException with the text the socket reports ("WSocketResolvePort: Invalid Port." ...).

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>

// Exactly four decimal numbers 0..255 without leading zeros ("127.0.0.1"): the form a lookup
// returns, so the text is already the dotted text of the address. Anything else is false.
bool plaindotted(std::string_view text, in_addr& address);
// A dotted IPv4 address in any form the classic converter takes ("127.0.0.1", "127.1").
bool dottedaddress(const std::string& text, in_addr& address);
// Dotted text of an address.
std::string dottedtext(in_addr address);
// Host (dotted or a name, looked up in a blocking call) -> address.
in_addr wsocketresolvehost(const std::string& host);

// A socket address of either family, as connect, bind and sendto take it; the port is in network
// order at the same place in both.
union TSocketAddress {
  sockaddr sa;
  sockaddr_in v4;
  sockaddr_in6 v6;
};
// The length the socket calls expect for a's family.
socklen_t addresslength(const TSocketAddress& a);
// The port of a (network order), and setting it.
uint16_t addressport(const TSocketAddress& a);
void setaddressport(TSocketAddress& a, uint16_t port);
// An IPv6 address, bare ("::1") or in the brackets a URL writes it in ("[::1]"). A zone
// ("fe80::1%eth0") is not taken: nothing here could say which interface a test means.
bool ipv6literal(std::string_view text, in6_addr& address);
// The usual short text of an IPv6 address ("::1"), without brackets.
std::string ipv6text(const in6_addr& address);
// Host -> address of its family: an IPv6 literal (with or without brackets) is itself; anything
// else goes through wsocketresolvehost, so names keep being looked up as IPv4. Text with a
// bracket or colon that is no IPv6 address is refused as an invalid address, never looked up.
TSocketAddress wsocketresolveaddress(const std::string& host);
// Port (decimal or a service name of protocol protoname) -> port number in host order.
uint16_t wsocketresolveport(const std::string& port, const char* protoname);
// Protocol ("tcp", "udp" or a number) -> protocol number.
int wsocketresolveproto(const std::string& proto);
