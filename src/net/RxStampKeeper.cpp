#include "net/RxStampKeeper.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/net_tstamp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

TRxStampKeeper::TRxStampKeeper() {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  const int flags = SOF_TIMESTAMPING_RX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE;
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof self;
  if (setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPING, &flags, sizeof flags) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&self), &len) != 0 ||
      connect(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

TRxStampKeeper::~TRxStampKeeper() {
  if (fd_ >= 0) ::close(fd_);
}

bool TRxStampKeeper::probe() {
  char byte = 0;
  if (::send(fd_, &byte, 1, 0) != 1) return false;
  char data[8];
  iovec iov{data, sizeof data};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(scm_timestamping))];
  msghdr m{};
  m.msg_iov = &iov;
  m.msg_iovlen = 1;
  m.msg_control = control;
  m.msg_controllen = sizeof control;
  // Loopback delivers inside the send: the datagram is there, or it was lost.
  if (::recvmsg(fd_, &m, 0) < 0) return false;
  for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPING) continue;
    scm_timestamping stamps{};
    std::memcpy(&stamps, CMSG_DATA(c), sizeof stamps);
    if (stamps.ts[0].tv_sec != 0 || stamps.ts[0].tv_nsec != 0) return true;
  }
  return false;
}

bool TRxStampKeeper::Ready(int timeoutms) {
  if (ready_ || fd_ < 0) return ready_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutms);
  while (!(ready_ = probe())) {
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return ready_;
}
