#include "engine/StartChecks.h"

#include <limits>

#include "engine/EngineText.h"
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

}  // namespace

bool hasheaderbreak(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string startproblem(const TestSettings& s, const std::vector<std::string>& urls) {
  if (s.multipleurls) {
    for (size_t i = 0; i < urls.size(); ++i) {
      if (hasheaderbreak(urls[i])) return breakrefusal("URL#" + std::to_string(i + 1));
      if (std::string v6 = hostproblem(SplitURL(trimmed(urls[i])).host); !v6.empty()) {
        return hostrefusal("URL#" + std::to_string(i + 1), urls[i], v6);
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
  if (s.useproxy && trimmed(s.proxy).empty()) {
    // The requests would go direct while the log and the chart name a proxy.
    return "\"Use Proxy\" is on, but no proxy is given. Please enter the proxy's name or "
           "address, or turn \"Use Proxy\" off; the test was not started.";
  }
  if (s.useproxy && testshttps(s, urls)) {
    // The tunnel (CONNECT) is not built yet; TLS to the proxy itself would only fail each request.
    return "An https URL cannot be tested through a proxy yet. Please turn \"Use Proxy\" off; "
           "the test was not started.";
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
