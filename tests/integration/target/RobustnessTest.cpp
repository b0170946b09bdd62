// pressbolt-target against awkward and many clients: bounded input, no stalls, no crash.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "RawClient.h"
#include "support/TargetServer.h"

namespace {

std::string statusline(const TReply& r) {
  return r.Bytes.substr(0, r.Bytes.find("\r\n"));
}

// The server still answers and its process is still there.
void expectalive(const TTargetServer& server) {
  EXPECT_EQ(kill(server.pid(), 0), 0);
  EXPECT_EQ(get(server.port(), "/size/10").body().size(), 10u);
}

TEST(TargetRobustness, OversizedHeaderIsRefusedWith431) {
  TTargetServer server;
  std::string request = "GET /size/10 HTTP/1.0\r\nX-Big: " + std::string(70000, 'x') + "\r\n\r\n";
  TReply r = exchange(server.port(), request);
  EXPECT_EQ(statusline(r), "HTTP/1.0 431 Request Header Fields Too Large");
  // A header that never ends is cut off the same way.
  int fd = connectto(server.port());
  sendall(fd, "GET /" + std::string(100000, 'y'));
  EXPECT_EQ(statusline(readall(fd)), "HTTP/1.0 431 Request Header Fields Too Large");
  expectalive(server);
}

TEST(TargetRobustness, MalformedRequestsAreBadRequests) {
  TTargetServer server;
  EXPECT_EQ(statusline(exchange(server.port(), "NONSENSE\r\n\r\n")), "HTTP/1.0 400 Bad Request");
  EXPECT_EQ(statusline(exchange(server.port(), "GET relative/path HTTP/1.0\r\n\r\n")),
            "HTTP/1.0 400 Bad Request");
  EXPECT_EQ(
      statusline(exchange(server.port(), "POST /echo HTTP/1.0\r\nContent-Length: -5\r\n\r\n")),
      "HTTP/1.0 400 Bad Request");
  EXPECT_EQ(statusline(exchange(server.port(),
                                "POST /echo HTTP/1.0\r\nContent-Length: 1\r\n"
                                "Content-Length: 2\r\n\r\nab")),
            "HTTP/1.0 400 Bad Request");
  EXPECT_EQ(statusline(exchange(server.port(),
                                "POST /echo HTTP/1.0\r\nContent-Length: 99999999999\r\n\r\n")),
            "HTTP/1.0 413 Content Too Large");
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary += static_cast<char>(i * 7);
  exchange(server.port(), binary + "\n\n");
  expectalive(server);
}

TEST(TargetRobustness, RequestsMayArriveByteByByteWithBareLineFeeds) {
  TTargetServer server;
  int fd = connectto(server.port());
  for (char c : std::string("GET /size/7 HTTP/1.0\nHost: x\n\n")) sendall(fd, std::string(1, c));
  TReply r = readall(fd);
  EXPECT_EQ(statusline(r), "HTTP/1.0 200 OK");
  EXPECT_EQ(r.body().size(), 7u);
}

TEST(TargetRobustness, HalfClosedClientStillGetsTheWholeAnswer) {
  TTargetServer server;
  TReply r = exchange(server.port(), "GET /size/300000 HTTP/1.0\r\n\r\n", true);
  EXPECT_EQ(r.Error, 0);
  EXPECT_EQ(r.body().size(), 300000u);
}

TEST(TargetRobustness, ClientsThatLeaveEarlyOrHangDoNotStallOthers) {
  TTargetServer server;
  // Leaves in the middle of a 1 GiB answer, after an incomplete request, and during a hang.
  int big = connectto(server.port());
  sendall(big, "GET /size/1073741824 HTTP/1.0\r\n\r\n");
  char buf[4096];
  ASSERT_GT(recv(big, buf, sizeof buf, 0), 0);
  int partial = connectto(server.port());
  sendall(partial, "GET /size/10 HTTP/1.0\r\nHost:");
  int hang = connectto(server.port());
  sendall(hang, "GET /hang HTTP/1.0\r\n\r\n");
  expectalive(server);
  close(big);
  close(partial);
  expectalive(server);
  close(hang);
  expectalive(server);
}

TEST(TargetRobustness, HangKeepsTheConnectionOpenUntilTheClientGoes) {
  TTargetServer server;
  int fd = connectto(server.port());
  sendall(fd, "GET /hang HTTP/1.0\r\n\r\n");
  // Meanwhile another client gets its whole answer: the hanging one is answered last, by closing.
  EXPECT_EQ(get(server.port(), "/size/10").body().size(), 10u);
  char c;
  EXPECT_EQ(recv(fd, &c, 1, MSG_DONTWAIT), -1);
  EXPECT_EQ(errno, EAGAIN);
  close(fd);
}

TEST(TargetRobustness, TwoThousandSimultaneousConnectionsAreAllAnswered) {
  rlimit rl{};
  getrlimit(RLIMIT_NOFILE, &rl);
  rl.rlim_cur = rl.rlim_max;
  setrlimit(RLIMIT_NOFILE, &rl);
  constexpr int kClients = 2000;
  ASSERT_GT(rl.rlim_cur, rlim_t(kClients + 100)) << "descriptor limit too low for this test";

  TTargetServer server;
  std::vector<int> fds;
  for (int i = 0; i < kClients; ++i) fds.push_back(connectto(server.port()));
  // All connections are open before the first request goes out.
  for (int fd : fds) sendall(fd, "GET /size/100 HTTP/1.0\r\n\r\n");
  int answered = 0;
  for (int fd : fds) {
    TReply r = readall(fd);
    if (statusline(r) == "HTTP/1.0 200 OK" && r.body().size() == 100) ++answered;
  }
  EXPECT_EQ(answered, kClients);
  expectalive(server);
}

}  // namespace
