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

std::vector<std::string> firsturllines(std::string_view text, size_t most,
                                       const std::function<void(size_t, std::string_view)>& check) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::vector<std::string> lines;
  for (size_t number = 1; !text.empty(); ++number) {
    const size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    check(number, line);
    if (lines.size() < most) lines.emplace_back(line);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
  }
  return lines;
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
