#include "settings/UrlListFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>

#include "common/Text.h"
#include "common/WholeFile.h"

namespace {

// The mark splitlines skips at the start of a file.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string failure(const char* what, const std::string& path, int err) {
  return std::string(what) + " \"" + path + "\": " + std::strerror(err);
}

}  // namespace

bool readurlfile(const std::string& path, std::vector<std::string>& lines, std::string& error) {
  std::string text;
  // The user names the file: a pipe is read as well.
  const int err = readwholefile(path, text, TFileKinds::AnyReadable);
  if (err != 0) {
    error = failure("Unable to read", path, err);
    return false;
  }
  lines = splitlines(text);
  return true;
}

bool writeurlfile(const std::string& path, const std::vector<std::string>& lines,
                  std::string& error) {
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = failure("Unable to write", path, errno ? errno : EACCES);
    return false;
  }
  // A first line that begins with the mark's bytes gets a mark of its own, so that reading the
  // file back gives the line whole.
  if (!lines.empty() && lines.front().starts_with(kByteOrderMark)) out << kByteOrderMark;
  for (const auto& l : lines) out << l << "\r\n";
  out.flush();
  if (!out) {
    error = failure("Unable to write", path, errno ? errno : EIO);
    return false;
  }
  return true;
}
