// The status and error texts of the log, and the substitution the launcher relies on.

#include "engine/Texts.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/OutputText.h"

namespace {

const std::vector<std::pair<int, std::string>> kStatus = {
    {100, "Continue"},
    {101, "Switching Protocols"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Moved Temporarily"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Request Entity Too Large"},
    {414, "Request URI Too Large"},
    {415, "Unsupported Media Type"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
};

const std::vector<std::pair<int, std::string>> kSocket = {
    {0, "No Error"},
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Permission denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036,
     "Operation now in progress. This error is returned if any Windows Sockets API function is "
     "called while a blocking function is in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on nonsocket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Protocol not available."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050,
     "Network is down. This error may be reported at any time if the Windows Sockets "
     "implementation detects an underlying failure."},
    {10051, "Network is unreachable."},
    {10052, "Network dropped connection on reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send after socket shutdown."},
    {10059, "Too many references: cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10091, "Returned by WSAStartup(), indicating that the network subsystem is unusable."},
    {10092,
     "Returned by WSAStartup(), indicating that the Windows Sockets DLL cannot support this "
     "application."},
    {10093,
     "Winsock not initialized. This message is returned by any function except WSAStartup(), "
     "indicating that a successful WSAStartup() has not yet been performed."},
    {10101, "Disconnect."},
    {10120, "TLS handshake or record failed."},
    {10121, "Certificate verify failed."},
    {10122, "Proxy tunnel (CONNECT) failed."},
    {11001, "ICMP_BUFFER_TOO_SMALL"},
    {11002, "ICMP_NET_UNREACHABLE"},
    {11003, "ICMP_HOST_UNREACHABLE"},
    {11004, "ICMP_DEST_PROT_UNREACHABLE"},
    {11005, "ICMP_DEST_PORT_UNREACHABLE"},
    {11006, "ICMP_NO_RESOURCES"},
    {11007, "ICMP_BAD_OPTION"},
    {11008, "ICMP_W_ERROR"},
    {11009, "ICMP_PACKET_TOO_BIG"},
    {11010, "ICMP_REQ_TIMED_OUT"},
    {11011, "ICMP_BAD_REQ"},
    {11012, "ICMP_BAD_ROUTE"},
    {11013, "ICMP_TTL_EXPIRED_TRANSMIT"},
    {11014, "ICMP_TTL_EXPIRED_REASSEM"},
    {11015, "ICMP_PARAM_PROBLEM"},
    {11016, "ICMP_SOURCE_QUENCH"},
    {11017, "ICMP_OPTION_TOO_BIG"},
    {11018, "ICMP_BAD_DESTINATION"},
    {11019, "ICMP_ADDRESS_DELETED"},
    {11020, "ICMP_SPEC_MTU_CHANGE"},
    {11021, "ICMP_MTU_CHANGE"},
    {11022, "ICMP_UNLOAD"},
    {11050, "ICMP_GENERAL_FAILURE"},
    {11255, "ICMP_PENDING"},
    {12001, "Body cut short: the connection closed before Content-Length bytes arrived."},
};

TEST(StatusText, EveryCodeOfTheTable) {
  ASSERT_EQ(kStatus.size(), 37u);
  for (const auto& [code, text] : kStatus) EXPECT_EQ(statustext(code), text) << code;
}

TEST(StatusText, EveryOtherCodeIsUnknown) {
  std::set<int> listed;
  for (const auto& [code, text] : kStatus) listed.insert(code);
  // Neighbours of every entry and the whole plausible range: no ranges, no masking.
  for (int code = -1; code <= 1000; ++code) {
    if (!listed.count(code)) {
      EXPECT_EQ(statustext(code), "(unknown http result)") << code;
    }
  }
  EXPECT_EQ(statustext(200 + 65536), "(unknown http result)");
}

TEST(SocketText, EveryCodeOfTheTable) {
  ASSERT_EQ(kSocket.size(), 70u);
  for (const auto& [code, text] : kSocket) {
    EXPECT_EQ(sockettext(static_cast<uint16_t>(code)), text) << code;
  }
}

TEST(SocketText, EveryOtherCodeIsUnknown) {
  std::set<int> listed;
  for (const auto& [code, text] : kSocket) listed.insert(code);
  for (int code = 0; code <= 0xFFFF; ++code) {
    if (!listed.count(code)) {
      EXPECT_EQ(sockettext(static_cast<uint16_t>(code)), "(unknown errorcode)") << code;
    }
  }
}

TEST(SocketText, CodesTheLogMeetsMost) {
  EXPECT_EQ(sockettext(3), "(unknown errorcode)");        // an aborted request
  EXPECT_EQ(sockettext(11001), "ICMP_BUFFER_TOO_SMALL");  // host not found
  EXPECT_NE(sockettext(10035), sockettext(10036));
}

struct TReplaceCase {
  std::string text, pattern, replacement, expected;
};

TEST(ReplaceAll, Table) {
  const std::vector<TReplaceCase> cases = {
      // What the launcher does with them.
      {"http://h/?id=@@", "@@", "1001", "http://h/?id=1001"},
      {"/@@/x?a=@@&b=@@", "@@", "7", "/7/x?a=7&b=7"},
      {"a=1@@b=2@@c=3", "@@", "\r\ncookie: ", "a=1\r\ncookie: b=2\r\ncookie: c=3"},
      {"a=1\r\ncookie: b=2", "\r\n", "<cr/lf>", "a=1<cr/lf>cookie: b=2"},
      {"http://h/x", "@@", "5", "http://h/x"},
      {"", "@@", "5", ""},
      {"@@", "@@", "", ""},
      // An odd run of the pattern: the leftover character stays.
      {"@@@", "@@", "12", "12@"},
      // A shorter replacement that rebuilds the pattern with its neighbours is replaced again,
      // as a search from the start would do.
      {"@@@", "@@", "@", "@"},
      {"aabb", "ab", "", ""},
      {"xaabbx", "ab", "", "xx"},
      // The degenerate inputs end: an empty pattern changes nothing, a replacement that holds
      // the pattern is applied once per original occurrence.
      {"abc", "", "x", "abc"},
      {"a@@b@@", "@@", "@@@@", "a@@@@b@@@@"},
      {"aa", "a", "aa", "aaaa"},
      // Growing together with the neighbours would double the text per character.
      {"aaab", "ab", "bba", "aabba"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(replaceall(c.text, c.pattern, c.replacement), c.expected)
        << "text=" << c.text << " pattern=" << c.pattern << " replacement=" << c.replacement;
  }
}

TEST(ReplaceAll, LongTextsStayLinear) {
  // A quadratic implementation would take minutes here.
  std::string many(2'000'000, '@');
  EXPECT_EQ(replaceall(many, "@@", "\r\n").size(), many.size());
  EXPECT_EQ(replaceall(many, "@@", "1"), std::string(1'000'000, '1'));
  EXPECT_EQ(replaceall(std::string(1'000'000, 'a') + "b", "ab", ""), std::string(999'999, 'a'));
}

}  // namespace

// The log lines are composed by appending numbers in place; they must read exactly as the
// to_string texts they replace, at the edges too.
TEST(AppendNumber, WritesWhatToStringWrites) {
  for (long long v :
       {0LL, 7LL, -1LL, 10LL, 10062LL, 65535LL, -2147483648LL, LLONG_MAX, LLONG_MIN}) {
    std::string s = "x";
    appendnumber(s, v);
    EXPECT_EQ(s, "x" + std::to_string(v));
  }
  for (long double v : {0.0L, 0.5L, 1.5L, 2.5L, -0.5L, -1.5L, 123.49L, 1e15L + 0.5L}) {
    std::string s = "Done: ";
    appendrounded(s, v);
    EXPECT_EQ(s, "Done: " + rounded(v)) << static_cast<double>(v);
  }
  // Halves go to the even neighbour.
  EXPECT_EQ(rounded(2.5L), "2");
  EXPECT_EQ(rounded(3.5L), "4");
  EXPECT_EQ(rounded(-0.5L), "0");
  EXPECT_EQ(rounded(-1.5L), "-2");
  EXPECT_EQ(rounded(1234.4999L), "1234");
}
