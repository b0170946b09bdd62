// The multiple-URL list file on arbitrary bytes: it reads, it writes back, and the copy reads as
// the same lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "MemFile.h"
#include "settings/UrlListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemFile file(data, size);
  std::vector<std::string> lines;
  std::string error;
  check(readurlfile(file.path(), lines, error));
  size_t bytes = 0;
  for (const auto& line : lines) {
    check(line.find('\n') == std::string::npos);
    bytes += line.size();
  }
  check(bytes <= size);
  TMemFile copy("", 0);
  check(writeurlfile(copy.path(), lines, error));
  std::vector<std::string> again;
  check(readurlfile(copy.path(), again, error));
  check(again == lines);
  return 0;
}
