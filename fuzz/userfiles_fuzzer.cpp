// users.txt and cookies.txt on arbitrary bytes: every line is read, nothing is lost between the
// user name and the password, and no line that holds a header break is passed on.

#include <cstddef>
#include <cstdint>
#include <string>

#include "MemFile.h"
#include "engine/Cookies.h"
#include "engine/LineReader.h"
#include "engine/StartChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemFile file(data, size);
  TLineReader reader;
  check(reader.open(file.path()));
  size_t bytes = 0, lines = 0;
  while (!reader.eof()) {
    std::string line = reader.readln();
    ++lines;
    bytes += line.size();
    check(line.find('\n') == std::string::npos);
    TUserLine user = splituserline(line);
    check(user.username.find("@@") == std::string::npos);
    if (line.find("@@") != std::string::npos) {
      check(user.username + "@@" + user.password == line);
    } else {
      check(user.username == line && user.password.empty());
    }
    if (!hasheaderbreak(line)) {
      // Only the cache's own separator may break the Cookie line.
      std::string cookie = cookiefromcacheline(line);
      size_t at = 0;
      while ((at = cookie.find('\n', at)) != std::string::npos) {
        check(cookie.compare(at - 1, 10, "\r\ncookie: ") == 0);
        ++at;
      }
    }
    check(lines <= size + 1);
  }
  check(bytes <= size);
  check(reader.readln().empty());
  return 0;
}
