// Send chunks, the text resolvers and the descriptor limit: the socket layer's pure parts.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>

#include "net/FdLimit.h"
#include "net/SocketBuffer.h"
#include "net/SocketResolve.h"
#include "net/WSocket.h"

namespace {

TEST(SocketBuffer, ChunkWritesWhatFitsAndRewindsWhenRead) {
  TBuffer b(0);
  EXPECT_EQ(b.BufSize(), 1514);
  std::string big(2000, 'x');
  EXPECT_EQ(b.Write(big.data(), 2000), 1514);
  EXPECT_EQ(b.Write("y", 1), 0);
  b.Remove(1000);
  int len = 0;
  const char* p = b.Peek(len);
  EXPECT_EQ(len, 514);
  EXPECT_EQ(p[0], 'x');
  b.Remove(10000);  // at most the unread bytes
  EXPECT_EQ(b.Count(), 0);
  // Fully read: both counts are back at the start, so the whole block is free again.
  EXPECT_EQ(b.Write(big.data(), 2000), 1514);
}

TEST(SocketBuffer, ResizeKeepsWrittenBytes) {
  TBuffer b(8);
  b.Write("abcdefgh", 8);
  b.SetBufSize(4);  // never below what is written
  EXPECT_EQ(b.BufSize(), 8);
  b.SetBufSize(16);
  EXPECT_EQ(b.Write("ij", 2), 2);
  int len = 0;
  const char* p = b.Peek(len);
  EXPECT_EQ(std::string(p, static_cast<size_t>(len)), "abcdefghij");
}

TEST(SocketBuffer, FiveThousandBytesMakeFourChunks) {
  TSendBufferList list;
  std::string data(5000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  list.Append(data.data(), 5000);
  EXPECT_EQ(list.Chunks(), 4);
  EXPECT_EQ(list.Bytes(), 5000);
  std::string back;
  std::vector<int> sizes;
  while (list.First() != nullptr) {
    int len = 0;
    const char* p = list.First()->Peek(len);
    sizes.push_back(len);
    back.append(p, static_cast<size_t>(len));
    list.PopFirst();
  }
  EXPECT_EQ(sizes, (std::vector<int>{1514, 1514, 1514, 458}));
  EXPECT_EQ(back, data);
}

TEST(SocketBuffer, AppendFillsTheLastChunkFirst) {
  TSendBufferList list;
  list.Append("abc", 3);
  list.Append(std::string(1511, 'd').data(), 1511);
  EXPECT_EQ(list.Chunks(), 1);
  list.Append("e", 1);
  EXPECT_EQ(list.Chunks(), 2);
  EXPECT_FALSE(list.Single());
  list.Clear();
  EXPECT_EQ(list.Chunks(), 0);
  EXPECT_EQ(list.First(), nullptr);
}

std::string thrown(const std::function<void()>& f) {
  try {
    f();
  } catch (const ESocketException& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

TEST(SocketResolve, PortsProtocolsAndHosts) {
  EXPECT_EQ(wsocketresolveport("80", "tcp"), 80);
  EXPECT_EQ(wsocketresolveport(" 8080x", "tcp"), 8080);  // reading stops at the first non-digit
  EXPECT_EQ(wsocketresolveport("65535", "tcp"), 65535);
  EXPECT_EQ(wsocketresolveport("http", "tcp"), 80);
  EXPECT_EQ(thrown([] { wsocketresolveport("65536", "tcp"); }),
            "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(thrown([] { wsocketresolveport("", "tcp"); }), "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(thrown([] { wsocketresolveport(std::string(32, '1'), "tcp"); }),
            "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(thrown([] { wsocketresolveport("nosuchservice", "tcp"); }),
            "WSocketResolvePort: Cannot convert port 'nosuchservice'");

  EXPECT_EQ(wsocketresolveproto("tcp"), 6);
  EXPECT_EQ(wsocketresolveproto("udp"), 17);
  EXPECT_EQ(wsocketresolveproto("17"), 17);
  EXPECT_EQ(thrown([] { wsocketresolveproto(""); }), "WSocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(thrown([] { wsocketresolveproto("bogus"); }),
            "WSocketResolveProto: Cannot convert protocol 'bogus'");

  EXPECT_EQ(dottedtext(wsocketresolvehost("127.0.0.1")), "127.0.0.1");
  EXPECT_EQ(dottedtext(wsocketresolvehost("255.255.255.255")), "255.255.255.255");
  EXPECT_EQ(dottedtext(wsocketresolvehost("localhost")), "127.0.0.1");
  EXPECT_EQ(thrown([] { wsocketresolvehost(""); }), "WSocketResolveHost: '' Invalid Hostname.");
  EXPECT_EQ(thrown([] { wsocketresolvehost(std::string(257, 'a')); }),
            "WSocketResolveHost: '" + std::string(257, 'a') + "' Invalid Hostname.");
  EXPECT_EQ(thrown([] { wsocketresolvehost("1.2.3.4.5"); }),
            "WSocketResolveHost: '1.2.3.4.5' Invalid IP address.");
  EXPECT_EQ(thrown([] { wsocketresolvehost("no-such-host.invalid"); }),
            "WSocketResolveHost: Cannot convert host address 'no-such-host.invalid'");
}

TEST(SocketResolve, DottedAddressesOnly) {
  in_addr a{};
  EXPECT_TRUE(dottedaddress("10.1.2.3", a));
  EXPECT_EQ(dottedtext(a), "10.1.2.3");
  EXPECT_FALSE(dottedaddress("localhost", a));
  EXPECT_FALSE(dottedaddress("127.0.0.1 trailing", a));
  EXPECT_FALSE(dottedaddress("", a));
}

TEST(FdLimit, SoftLimitRisesToTheHardLimit) {
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  rlimit lowered = before;
  lowered.rlim_cur = 256;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  int now = raisefdlimit();
  rlimit after{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &after), 0);
  EXPECT_EQ(static_cast<rlim_t>(now), after.rlim_cur);
  if (before.rlim_max != RLIM_INFINITY) {
    EXPECT_EQ(after.rlim_cur, before.rlim_max);
  }
  EXPECT_GT(now, 256);
  setrlimit(RLIMIT_NOFILE, &before);
}

}  // namespace
