// THttpCli through an HTTP proxy to an https target: the connection to the proxy asks for a tunnel
// to the origin (CONNECT), and once the proxy has opened it, the TLS handshake and the request
// run through it as they would on a direct connection. An http target through a proxy needs none
// of this: the proxy is handed the absolute URL (HttpProt.cpp).

#include "http/HttpProt.h"
#include "http/UrlSplit.h"
#include "net/ErrorCodes.h"

std::string THttpCli::TunnelAuthority() const {
  // Through a proxy the request target is the absolute URL, and the tunnel goes to its authority.
  const TUrlParts t = SplitURL(RequestTarget);
  return t.host + ":" + (t.port.empty() ? std::string("443") : t.port);
}

std::string THttpCli::TunnelTarget() const {
  const std::string path = SplitURL(RequestTarget).path;
  return path.empty() ? "/" : path;
}

void THttpCli::StartTunnel() {
  tunnel_ = std::make_unique<TProxyTunnel>();
  const std::string text = TProxyTunnel::Request(TunnelAuthority(), ProxyUsername, ProxyPassword);
  try {
    socket_.Send(text.data(), int(text.size()));
  } catch (const std::exception&) {
    // The close completes the request through the normal path.
    try {
      CloseConnection();
    } catch (const std::exception&) {
    }
  }
}

void THttpCli::TunnelDataAvailable() {
  // The answer is short, and nothing follows it before our TLS hello: a small read suffices.
  char buffer[1024];
  const int count = socket_.Receive(buffer, sizeof buffer);
  if (count <= 0) return;  // the close or reset reports itself (TunnelClosed)
  switch (tunnel_->Take(buffer, size_t(count))) {
    case TProxyTunnel::ptWaiting:
      return;
    case TProxyTunnel::ptOpen:
      if (tunnel_->Extra() > 0) {
        // A TLS server never speaks first: bytes before our hello are not the origin's.
        TunnelFailed("the proxy sent " + std::to_string(tunnel_->Extra()) +
                     " bytes after its answer to CONNECT, before the TLS handshake");
        return;
      }
      tunnel_.reset();
      StartTls();
      return;
    case TProxyTunnel::ptRefused:
      TunnelFailed("the proxy refused the tunnel to " + TunnelAuthority() + ": " +
                   tunnel_->StatusText());
      return;
    case TProxyTunnel::ptBad:
      TunnelFailed(tunnel_->Problem());
      return;
  }
}

void THttpCli::TunnelFailed(const std::string& reason) {
  if (requesterror_ == 0 && state_ != hsAborting)
    Fail(TunnelError, "Proxy tunnel failed: " + reason);
  tunnel_.reset();
  CloseConnection();
}

void THttpCli::TunnelClosed(uint16_t Error) {
  tunnel_.reset();
  if (requesterror_ != 0 || selfclosed_ || state_ == hsAborting) return;
  if (Error != 0) {
    Fail(TunnelError, "Proxy tunnel failed: " + ErrorDesc(Error) + " (Error #" +
                          std::to_string(Error) + ") before the proxy answered CONNECT");
  } else {
    Fail(TunnelError,
         "Proxy tunnel failed: the proxy closed the connection before answering CONNECT");
  }
}
