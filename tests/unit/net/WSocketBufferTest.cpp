// Send chunks, the text resolvers and the descriptor limit: the socket layer's pure parts.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>

#include "PlainServer.h"
#include "net/FdLimit.h"
#include "net/SocketBuffer.h"
#include "net/SocketResolve.h"
#include "net/WSocket.h"
#include "support/FixedResolver.h"

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
  TFixedResolver names;
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

// The library's converter, with the rule that a blank anywhere makes the text a name.
bool referenceaddress(const std::string& text, in_addr& address) {
  if (text.empty() || text.find_first_of(" \t\r\n\v\f") != std::string::npos) return false;
  return inet_aton(text.c_str(), &address) != 0;
}

std::string referencetext(in_addr address) {
  char text[INET_ADDRSTRLEN];
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

TEST(SocketResolve, FastDottedPathsAgreeWithTheLibrary) {
  const char* tricky[] = {
      "0.0.0.0",    "255.255.255.255", "127.0.0.1",  "1.2.3.4",         "10.200.30.4", "256.1.1.1",
      "1.256.1.1",  "1.1.1.256",       "999.1.1.1",  "1000.1.1.1",      "1.2.3.1000",  "01.2.3.4",
      "1.02.3.4",   "1.2.3.04",        "010.0.0.1",  "00.0.0.0",        "0.0.0.00",    "0x7f.0.0.1",
      "0X7F.1",     "127.1",           "127.0.1",    "2130706433",      "0",           "1.2.3",
      "1.2.3.4.",   ".1.2.3.4",        "1..2.3",     "1.2.3.4.5",       "1.2.3.-4",    "+1.2.3.4",
      "1.2.3.4a",   "a.b.c.d",         "1.2.3.4 ",   " 1.2.3.4",        "1.2.3.4\t",   "1.2.3.",
      "4294967295", "4294967296",      "1.16777215", "1.16777216",      "1.2.65535",   "1.2.65536",
      "08.1.1.1",   "1.2.3.09",        "0.0.0.255",  "255.255.255.256", "localhost",   "",
  };
  for (const char* text : tricky) {
    in_addr fast{}, slow{};
    bool expected = referenceaddress(text, slow);
    EXPECT_EQ(dottedaddress(text, fast), expected) << text;
    if (expected) {
      EXPECT_EQ(fast.s_addr, slow.s_addr) << text;
    }
    // The plain form is taken only where the library reads the same address and writes the
    // same text back.
    in_addr plain{};
    if (plaindotted(text, plain)) {
      EXPECT_TRUE(expected) << text;
      EXPECT_EQ(plain.s_addr, slow.s_addr) << text;
      EXPECT_EQ(referencetext(plain), text);
    }
  }
  // Every byte value in every position, and a spread of whole addresses.
  for (uint32_t shift = 0; shift < 32; shift += 8) {
    for (uint32_t byte = 0; byte < 256; ++byte) {
      in_addr a{};
      a.s_addr = htonl((byte << shift) | (0x01010101u & ~(0xffu << shift)));
      std::string text = referencetext(a);
      EXPECT_EQ(dottedtext(a), text);
      in_addr back{};
      ASSERT_TRUE(plaindotted(text, back)) << text;
      EXPECT_EQ(back.s_addr, a.s_addr) << text;
    }
  }
  for (uint64_t v = 0; v <= 0xffffffffu; v += 0x01010101u / 7 + 12345) {
    in_addr a{};
    a.s_addr = htonl(uint32_t(v));
    EXPECT_EQ(dottedtext(a), referencetext(a));
  }
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
