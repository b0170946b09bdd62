#pragma once
// Text to address, port and protocol numbers for the socket layer. Each resolver throws
// ESocketException with the text the socket reports ("WSocketResolvePort: Invalid Port." ...).

#include <netinet/in.h>

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
// Port (decimal or a service name of protocol protoname) -> port number in host order.
uint16_t wsocketresolveport(const std::string& port, const char* protoname);
// Protocol ("tcp", "udp" or a number) -> protocol number.
int wsocketresolveproto(const std::string& proto);
