#pragma once
// The tunnel through an HTTP proxy to an https origin: the CONNECT request, and a reader of the
// proxy's answer up to its empty line. Only the status line counts; the answer's header lines are
// skipped. Once the proxy has said yes, the connection carries the TLS of the origin.
//
// The answer has a reader of its own rather than the response parser's: it must stop at the empty
// line, take nothing of what follows, and report to nobody but the client.

#include <cstddef>
#include <string>
#include <string_view>

class TProxyTunnel {
 public:
  // An answer whose header is not over after this many bytes is no proxy's answer to CONNECT.
  static constexpr size_t MaxAnswerBytes = 16384;

  enum TStep {
    ptWaiting,  // the empty line has not come yet
    ptOpen,     // a 2xx: the tunnel stands
    ptRefused,  // another status: Status() and StatusText() say which
    ptBad       // not an HTTP answer, or one without end: Problem() says why
  };

  // The CONNECT request for authority ("host:port", an IPv6 host in brackets): the request line,
  // the Host line and, with a proxy user name, Proxy-Authorization, each ending in CR LF, then
  // the empty line.
  static std::string Request(std::string_view authority, std::string_view proxyuser,
                             std::string_view proxypassword);

  // Takes the next bytes of the answer. After ptWaiting more may be taken; after any other step
  // the answer is over, and Extra() is the count of the bytes of this call past its empty line.
  TStep Take(const char* data, size_t len);

  int Status() const { return status_; }
  // The status code and the reason as the proxy sent them: "407 Proxy Authentication Required".
  const std::string& StatusText() const { return statustext_; }
  const std::string& Problem() const { return problem_; }
  size_t Extra() const { return extra_; }

 private:
  TStep parse();

  std::string head_;  // the answer so far, up to its empty line
  std::string statustext_, problem_;
  int status_ = 0;
  size_t extra_ = 0;
  TStep step_ = ptWaiting;
};
