#include "settings/UrlListFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

// Editors that save "UTF-8 with BOM" put these bytes before the first line; they are no part of it.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string failure(const char* what, const std::string& path, int err) {
  return std::string(what) + " \"" + path + "\": " + std::strerror(err);
}

}  // namespace

bool readurlfile(const std::string& path, std::vector<std::string>& lines, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = failure("Unable to read", path, errno);
    return false;
  }
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  // A directory opens but fails on reading (EISDIR).
  const bool failed = std::ferror(f);
  const int err = errno;
  std::fclose(f);
  if (failed) {
    error = failure("Unable to read", path, err);
    return false;
  }
  if (text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
  std::vector<std::string> read;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    read.push_back(line);
  }
  lines = std::move(read);
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
