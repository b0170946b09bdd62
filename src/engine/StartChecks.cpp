#include "engine/StartChecks.h"

#include <algorithm>
#include <limits>

#include "common/OutputText.h"
#include "http/UrlSplit.h"

namespace {

std::string breakrefusal(const std::string& what) {
  return what +
         " contains a line break or a zero byte (CR, LF or NUL), which would change the "
         "request header. Please remove it; the test was not started.";
}

// An address the requests could never reach; without this refusal each would fail on its own.
std::string hostrefusal(const std::string& what, const std::string& url,
                        const std::string& problem) {
  return what + " \"" + maskedurl(url) + "\" " + problem +
         ". Please correct it; the test was not started.";
}

// A port the connection could never use: every request would fail on its own with a socket
// error. Digits only count here; a service name is looked up when the request starts.
std::string portproblem(const std::string& port) {
  const std::string p = trimmed(port);
  if (p.empty() || p.find_first_not_of("0123456789") != std::string::npos) return std::string();
  const size_t digits = p.size() - std::min(p.find_first_not_of('0'), p.size());
  if (digits <= 5 && (digits == 0 || std::stol(p) <= 65535)) return std::string();
  return "names port " + p + ", above the highest port 65535";
}

}  // namespace

bool hasheaderbreak(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string startproblem(const TestSettings& s, const std::vector<std::string>& urls) {
  if (s.multipleurls) {
    for (size_t i = 0; i < urls.size(); ++i) {
      if (hasheaderbreak(urls[i])) return breakrefusal("URL#" + std::to_string(i + 1));
      const TUrlParts parts = SplitURL(trimmed(urls[i]));
      if (std::string v6 = hostproblem(parts.host); !v6.empty()) {
        return hostrefusal("URL#" + std::to_string(i + 1), urls[i], v6);
      }
      if (std::string port = portproblem(parts.port); !port.empty()) {
        return hostrefusal("URL#" + std::to_string(i + 1), urls[i], port);
      }
    }
  } else if (hasheaderbreak(s.url)) {
    return breakrefusal("The URL");
  } else if (trimmed(s.url).empty()) {
    // Every request would fail in its name lookup, and only the Log would say why.
    return "Please enter the URL to test, for example http://127.0.0.1:8080/; the test "
           "was not started.";
  } else if (trimmed(SplitURL(trimmed(s.url)).host).empty()) {
    return "The URL \"" + maskedurl(s.url) +
           "\" names no server. Please enter it with the server's name or address, for "
           "example http://127.0.0.1:8080/; the test was not started.";
  } else if (std::string v6 = hostproblem(SplitURL(trimmed(s.url)).host); !v6.empty()) {
    return hostrefusal("The URL", s.url, v6);
  } else if (std::string port = portproblem(SplitURL(trimmed(s.url)).port); !port.empty()) {
    return hostrefusal("The URL", s.url, port);
  }
  if (s.useagent && hasheaderbreak(s.agent)) return breakrefusal("The user agent");
  if (s.useproxy && (hasheaderbreak(s.proxy) || hasheaderbreak(s.proxyport))) {
    return breakrefusal("The proxy");
  }
  if (s.useproxy) {
    if (std::string v6 = hostproblem(SplitURL(trimmed(s.proxy)).host); !v6.empty()) {
      return "The proxy \"" + trimmed(s.proxy) + "\" " + v6 +
             ". Please correct it; the test was not started.";
    }
  }
  if (s.useproxy) {
    if (std::string port = portproblem(s.proxyport); !port.empty()) {
      return "The proxy port \"" + trimmed(s.proxyport) +
             "\" is above the highest port 65535. "
             "Please correct it; the test was not started.";
    }
  }
  if (s.useproxy && trimmed(s.proxy).empty()) {
    // The requests would go direct while the log and the chart name a proxy.
    return "\"Use Proxy\" is on, but no proxy is given. Please enter the proxy's name or "
           "address, or turn \"Use Proxy\" off; the test was not started.";
  }
  if (s.usekey) {
    // Every run numbers its users from offset + 1; a ramp run never has more than users.
    const int64_t top = std::numeric_limits<int64_t>::max() - s.users;
    if (s.keyoffset > top) {
      return "The key offset " + std::to_string(s.keyoffset) + " is too large: with " +
             std::to_string(s.users) + " users the key numbers would pass " +
             std::to_string(std::numeric_limits<int64_t>::max()) +
             ". Please enter a key offset of at most " + std::to_string(top) + ".";
    }
  }
  return std::string();
}

std::string startrefusal(const TestSettings& s, const std::vector<std::string>& urls) {
  std::string problem = startproblem(s, urls);
  // The dialog sets the message apart by blank lines.
  return problem.empty() ? problem : "\r\n\r\n" + problem + "\r\n\r\n";
}
