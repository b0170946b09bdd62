#pragma once
// A blocking loopback client for the target tests: sends raw bytes, reads until the server closes.

#include <string>
#include <vector>

struct TReply {
  std::string Bytes;  // everything received
  int Error = 0;      // errno of the read that ended it, 0 for an orderly close

  // The part before the empty line, the part after it, and one field's value ("" when absent).
  std::string head() const;
  std::string body() const;
  std::string field(const std::string& name) const;
  // Every value of a repeated field, in order.
  std::vector<std::string> fields(const std::string& name) const;
};

// A connected blocking socket to 127.0.0.1:port whose reads give up after 20 s; throws on failure.
int connectto(int port);
// Sends all bytes (throws on failure).
void sendall(int fd, const std::string& bytes);
// Reads until the peer closes or an error; closes fd.
TReply readall(int fd);
// Connects, sends request (and half-closes when asked), reads the whole answer.
TReply exchange(int port, const std::string& request, bool halfclose = false);
// "GET path HTTP/1.0\r\n\r\n" through exchange.
TReply get(int port, const std::string& path);
