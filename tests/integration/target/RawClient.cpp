#include "RawClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string TReply::head() const {
  size_t end = Bytes.find("\r\n\r\n");
  return end == std::string::npos ? Bytes : Bytes.substr(0, end + 2);
}

std::string TReply::body() const {
  size_t end = Bytes.find("\r\n\r\n");
  return end == std::string::npos ? "" : Bytes.substr(end + 4);
}

std::vector<std::string> TReply::fields(const std::string& name) const {
  std::vector<std::string> out;
  std::string h = head();
  size_t pos = h.find("\r\n");  // skip the status line
  while (pos != std::string::npos && pos + 2 < h.size()) {
    size_t start = pos + 2;
    pos = h.find("\r\n", start);
    std::string line = h.substr(start, pos - start);
    size_t colon = line.find(':');
    if (colon == std::string::npos || lower(line.substr(0, colon)) != lower(name)) continue;
    size_t v = line.find_first_not_of(' ', colon + 1);
    out.push_back(v == std::string::npos ? "" : line.substr(v));
  }
  return out;
}

std::string TReply::field(const std::string& name) const {
  std::vector<std::string> all = fields(name);
  return all.empty() ? "" : all.front();
}

int connectto(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  timeval tv{20, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    int e = errno;
    close(fd);
    throw std::runtime_error(std::string("connect: ") + std::strerror(e));
  }
  return fd;
}

void sendall(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error(std::string("send: ") + std::strerror(errno));
    done += static_cast<size_t>(n);
  }
}

TReply readall(int fd) {
  TReply r;
  char buf[65536];
  while (true) {
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n > 0) {
      r.Bytes.append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      r.Error = errno;
      break;
    }
  }
  close(fd);
  return r;
}

TReply exchange(int port, const std::string& request, bool halfclose) {
  int fd = connectto(port);
  try {
    sendall(fd, request);
  } catch (...) {
    close(fd);
    throw;
  }
  if (halfclose) shutdown(fd, SHUT_WR);
  return readall(fd);
}

TReply get(int port, const std::string& path) {
  return exchange(port, "GET " + path + " HTTP/1.0\r\n\r\n");
}
