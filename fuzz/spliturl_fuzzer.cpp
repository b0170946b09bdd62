// URL splitting, document names and relocation targets on arbitrary text: no crash, and the
// parts always come from the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/Relocation.h"
#include "http/UrlSplit.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string url(reinterpret_cast<const char*>(data), size);
  TUrlParts p = SplitURL(url);
  for (const std::string* part : {&p.user, &p.password, &p.host, &p.port, &p.path}) {
    check(contains(url, *part));
  }
  check(p.host.find('/') == std::string::npos && p.port.find('/') == std::string::npos);
  check(p.path.size() <= url.size());
  if (!p.path.empty()) check(url.compare(url.size() - p.path.size(), p.path.size(), p.path) == 0);

  std::string name = documentname(url);
  check(name.size() <= 255 || name == "document.htm");
  check(name.find('?') == std::string::npos);
  ChangeExtension(name, "htm");

  // The input split in two: an old target and a location value.
  size_t half = size / 2;
  THttpTarget old{"h", "81", "h", url.substr(0, half)};
  std::string v = url.substr(half);
  for (bool proxy : {false, true}) {
    THttpTarget t = relocate(old, v, proxy);
    if (proxy) check(t.ConnectHost == "h" && t.ConnectPort == "81" && !t.TargetHost.empty());
    if (!proxy) check(!t.ConnectHost.empty() && !t.ConnectPort.empty());
  }
  return 0;
}
