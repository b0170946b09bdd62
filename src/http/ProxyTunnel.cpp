#include "http/ProxyTunnel.h"

#include "http/HttpCodec.h"

namespace {

// The proxy's words go into the log as one line of readable text, and not at any length.
std::string printable(std::string_view s, size_t most) {
  std::string out;
  for (char c : s.substr(0, most)) {
    const unsigned char u = static_cast<unsigned char>(c);
    out += u < 0x20 || u == 0x7f ? '?' : c;
  }
  if (s.size() > most) out += "...";
  return out;
}

bool isdigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string TProxyTunnel::Request(std::string_view authority, std::string_view proxyuser,
                                  std::string_view proxypassword) {
  std::string text;
  text.reserve(64 + 2 * authority.size());
  text.append("CONNECT ").append(authority).append(" HTTP/1.0\r\n");
  text.append("Host: ").append(authority).append("\r\n");
  if (!proxyuser.empty()) {
    std::string pair;
    pair.append(proxyuser).append(":").append(proxypassword);
    text.append("Proxy-Authorization: Basic ").append(EncodeBase64(pair)).append("\r\n");
  }
  text.append("\r\n");
  return text;
}

TProxyTunnel::TStep TProxyTunnel::Take(const char* data, size_t len) {
  if (step_ != ptWaiting) return step_;
  // Where an end could begin: a line end of the earlier bytes may be the first half of it.
  const size_t from = head_.size() >= 2 ? head_.size() - 2 : 0;
  head_.append(data, len);
  size_t end = std::string::npos;
  for (size_t i = from; i + 1 < head_.size(); ++i) {
    if (head_[i] != '\n') continue;
    if (head_[i + 1] == '\n') {
      end = i + 2;
    } else if (head_[i + 1] == '\r' && i + 2 < head_.size() && head_[i + 2] == '\n') {
      end = i + 3;
    }
    if (end != std::string::npos) break;
  }
  if (end == std::string::npos) {
    if (head_.size() <= MaxAnswerBytes) return ptWaiting;
    problem_ = "the proxy's answer to CONNECT did not end within " +
               std::to_string(MaxAnswerBytes) + " bytes";
    extra_ = 0;
    step_ = ptBad;
    return step_;
  }
  // The earlier bytes held no end, so whatever follows it came with this call.
  extra_ = head_.size() - end;
  head_.resize(end);
  step_ = parse();
  return step_;
}

TProxyTunnel::TStep TProxyTunnel::parse() {
  std::string_view line(head_);
  line = line.substr(0, line.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // "HTTP/1.1 200 Connection established": a version, a code of three digits, a reason.
  std::string_view rest = line;
  bool ok = rest.size() >= 8 && rest.substr(0, 5) == "HTTP/" && isdigit(rest[5]) &&
            rest[6] == '.' && isdigit(rest[7]);
  if (ok) {
    rest.remove_prefix(8);
    const size_t code = rest.find_first_not_of(' ');
    ok = code != std::string_view::npos && code > 0 && rest.size() >= code + 3 &&
         isdigit(rest[code]) && isdigit(rest[code + 1]) && isdigit(rest[code + 2]) &&
         (rest.size() == code + 3 || rest[code + 3] == ' ');
    if (ok) rest.remove_prefix(code);
  }
  if (!ok) {
    problem_ = "the proxy's answer to CONNECT is not HTTP: \"" + printable(line, 80) + "\"";
    return ptBad;
  }
  status_ = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
  std::string_view reason = rest.substr(3);
  const size_t start = reason.find_first_not_of(' ');
  reason = start == std::string_view::npos ? std::string_view() : reason.substr(start);
  statustext_ = std::string(rest.substr(0, 3));
  if (!reason.empty()) statustext_ += " " + printable(reason, 120);
  return status_ >= 200 && status_ <= 299 ? ptOpen : ptRefused;
}
