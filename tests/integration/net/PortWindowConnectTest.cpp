// Source ports from port windows on real loopback connections: many connections to one address
// and port get distinct ports, each from its own window of the system's range; a window whose
// ports are all taken moves on; without the option the kernel chooses as before.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "net/PortWindow.h"
#include "net/WSocket.h"

namespace {

struct TListener {
  int fd = -1;
  std::string port;
  bool ok = false;
  // On 127.0.0.1, or on ::1 with ipv6.
  explicit TListener(bool ipv6 = false) {
    fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    sockaddr_in6 a6{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_loopback;
    auto* sa = ipv6 ? reinterpret_cast<sockaddr*>(&a6) : reinterpret_cast<sockaddr*>(&a);
    socklen_t len = ipv6 ? sizeof a6 : sizeof a;
    ok = ::bind(fd, sa, len) == 0 && ::listen(fd, SOMAXCONN) == 0;
    getsockname(fd, sa, &len);
    port = std::to_string(ntohs(ipv6 ? a6.sin6_port : a.sin_port));
  }
  ~TListener() { ::close(fd); }
};

// The windows the sockets were given, by descriptor (the last one given counts).
std::map<int, TPortRange> given;
int setoptions = 0;
bool missing = false;

int recordingsetsockopt(int fd, int level, int name, const void* value, socklen_t len) {
  ++setoptions;
  if (missing) {
    errno = ENOPROTOOPT;
    return -1;
  }
  uint32_t v;
  std::memcpy(&v, value, sizeof v);
  given[fd] = {int(v & 0xffff), int(v >> 16)};
  return ::setsockopt(fd, level, name, value, len);
}

class PortWindowConnect : public ::testing::Test {
 protected:
  void SetUp() override {
    given.clear();
    setoptions = 0;
    missing = false;
    setportwindowcalls({recordingsetsockopt, nullptr});
    // Every socket of these tests takes a window, however few are open.
    setportwindowfrom(0);
  }
  void TearDown() override {
    setportwindowcalls({nullptr, nullptr});
    setportwindowfrom(DefaultPortWindowFrom);
  }

  struct TClient {
    std::unique_ptr<TWSocket> socket;
    int fd = -1;
    int port = 0;
    TPortRange window{};
  };

  // Connects n sockets to the listener (or to address and port) and returns each one's local
  // port and window.
  std::vector<TClient> connect(TEventLoop& loop, int n, const std::string& address = "127.0.0.1",
                               const std::string& port = "") {
    std::vector<TClient> clients(static_cast<size_t>(n));
    int connected = 0;
    for (auto& c : clients) {
      c.socket = std::make_unique<TWSocket>(loop);
      TClient* cp = &c;
      c.socket->OnSessionConnected = [&, cp](TWSocket* s, uint16_t error) {
        EXPECT_EQ(error, 0);
        cp->port = std::atoi(s->LocalPortText().c_str());
        if (++connected == n) loop.Stop();
      };
      c.socket->SetAddr(address);
      c.socket->SetPort(port.empty() ? listener.port : port);
      c.socket->Connect();
      c.fd = c.socket->HSocket();
      c.window = given.count(c.fd) != 0 ? given[c.fd] : TPortRange{};
    }
    loop.Run();
    return clients;
  }

  TListener listener;
};

TEST_F(PortWindowConnect, ManyConnectionsToOneAddressGetDistinctPortsFromTheirWindows) {
  TEventLoop loop;
  {
    const int n = 300;
    TPortRange range = portwindows().Range();
    auto clients = connect(loop, n);
    std::set<int> ports;
    std::set<int> windows;
    for (const auto& c : clients) {
      ASSERT_GT(c.port, 0);
      ports.insert(c.port);
      EXPECT_GE(c.window.lo, range.lo);
      EXPECT_LE(c.window.hi, range.hi);
      EXPECT_LE(c.window.hi - c.window.lo + 1, TPortWindows::DefaultWidth);
      EXPECT_GE(c.port, c.window.lo);
      EXPECT_LE(c.port, c.window.hi);
      windows.insert(c.window.lo);
    }
    EXPECT_EQ(ports.size(), size_t(n));
    // The windows move on from socket to socket (they start again only after the whole range).
    EXPECT_GE(windows.size(), size_t(n) - 1);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST_F(PortWindowConnect, IPv6ConnectionsDrawFromTheSameWindows) {
  TListener v6(true);
  if (!v6.ok) GTEST_SKIP() << "this machine has no IPv6 loopback address (::1 cannot be bound)";
  TEventLoop loop;
  {
    const int n = 40;
    auto clients = connect(loop, n, "::1", v6.port);
    std::set<int> ports;
    for (const auto& c : clients) {
      ASSERT_GT(c.port, 0);
      ports.insert(c.port);
      EXPECT_GE(c.port, c.window.lo);
      EXPECT_LE(c.port, c.window.hi);
      EXPECT_GT(c.window.hi, 0);
    }
    EXPECT_EQ(ports.size(), size_t(n));
  }
  EXPECT_EQ(loop.Close(), 0);
}

// Binds every port of a window on loopback, so connect() cannot take any of them.
struct TTakenWindow {
  std::vector<int> fds;
  TPortRange window{};
  bool Take(TPortRange w) {
    window = w;
    for (int p = w.lo; p <= w.hi; ++p) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(uint16_t(p));
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      fds.push_back(fd);
      if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
    }
    return true;
  }
  void Release() {
    for (int fd : fds) ::close(fd);
    fds.clear();
  }
  ~TTakenWindow() { Release(); }
};

TEST_F(PortWindowConnect, AWindowInUseMovesOn) {
  TEventLoop loop;
  {
    // A window whose ports are all free now (other programs use ports of this range too).
    TPortRange range = portwindows().Range();
    const int width = TPortWindows::DefaultWidth;
    TTakenWindow taken;
    bool ok = false;
    // Search the whole range: parallel tests and other programs hold ports of it too.
    for (int lo = range.hi - 2 * width + 1; !ok && lo >= range.lo; lo -= 2 * width) {
      taken.Release();
      ok = taken.Take({lo, lo + width - 1});
    }
    ASSERT_TRUE(ok) << "no free window of " << width << " ports";
    portwindows().MoveTo(taken.window.lo);
    auto clients = connect(loop, 1);
    EXPECT_EQ(clients[0].window, (TPortRange{taken.window.hi + 1, taken.window.hi + width}));
    EXPECT_GT(clients[0].port, taken.window.hi);
    EXPECT_LE(clients[0].port, taken.window.hi + width);
    EXPECT_EQ(setoptions, 2);
  }
  EXPECT_EQ(loop.Close(), 0);
}

TEST_F(PortWindowConnect, WithoutTheOptionTheKernelChooses) {
  missing = true;
  TEventLoop loop;
  {
    auto clients = connect(loop, 20);
    std::set<int> ports;
    for (const auto& c : clients) ports.insert(c.port);
    EXPECT_EQ(ports.size(), 20u);
    EXPECT_EQ(ports.count(0), 0u);
    EXPECT_EQ(setoptions, 1);  // asked once, then never again
  }
  EXPECT_EQ(loop.Close(), 0);
}

}  // namespace

namespace {

TEST_F(PortWindowConnect, WindowsStartOnlyOnceManyConnectionsAreOpen) {
  setportwindowfrom(5);
  TEventLoop loop;
  {
    auto first = connect(loop, 5);
    // Few connections open: the kernel chooses, and no socket was asked for a window.
    EXPECT_EQ(setoptions, 0);
    for (const auto& c : first) EXPECT_GT(c.port, 0);
    auto more = connect(loop, 3);
    EXPECT_EQ(setoptions, 3);
    for (const auto& c : more) {
      EXPECT_GE(c.port, c.window.lo);
      EXPECT_LE(c.port, c.window.hi);
    }
    // Closed connections no longer count.
    first.clear();
    more.clear();
    auto again = connect(loop, 1);
    EXPECT_EQ(setoptions, 3);
  }
  EXPECT_EQ(loop.Close(), 0);
}

}  // namespace
