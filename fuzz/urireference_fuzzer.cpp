// URI references taken apart, written out again and resolved, on arbitrary text: no crash, every
// part comes back as it was written, dot segments go for good, and a resolved URL resolves to
// itself. The first line is the base, the rest the reference.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/Relocation.h"
#include "http/UriReference.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  std::string basetext = input.substr(0, newline);
  const std::string ref = newline == std::string::npos ? input : input.substr(newline + 1);

  // Taking apart and writing out loses nothing but the fragment.
  check(composeuri(parseuri(ref)) == ref.substr(0, ref.find('#')));

  const TUriParts r = parseuri(ref);
  const std::string once = removedotsegments(r.path);
  check(once.size() <= r.path.size());
  check(removedotsegments(once) == once);

  // A base as a client has one: absolute, with an authority.
  TUriParts base = parseuri(basetext);
  if (!base.hasscheme || !base.hasauthority) base = parseuri("http://h/" + basetext);
  const TUriParts t = resolvereference(base, r);
  check(t.hasscheme);
  const std::string url = composeuri(t);
  check(url.find('#') == std::string::npos);
  // What was resolved is absolute: resolved again against the same base it stays the same.
  if (!t.path.empty() && removedotsegments(t.path) == t.path) {
    check(composeuri(resolvereference(base, parseuri(url))) == url);
  }

  // Where a client goes next: an http URL with a host, a path and no credentials. The current
  // target is the base text itself, as a proxied request's absolute target would be.
  const THttpTarget current{"h", "81", "h", basetext.substr(0, basetext.find('#'))};
  for (bool proxy : {false, true}) {
    const std::string next = relocationurl(current, ref, proxy);
    check(next.find('#') == std::string::npos);
    const TUriParts n = parseuri(next);
    if (n.scheme == "http") {
      check(n.hasauthority && !n.authority.empty() && !n.path.empty() && n.path[0] == '/');
      check(n.authority.find('@') == std::string::npos);
      const THttpTarget t = relocate(current, ref, proxy);
      check(!t.ConnectHost.empty() && !t.TargetHost.empty() && !t.RequestTarget.empty());
    }
  }
  return 0;
}
