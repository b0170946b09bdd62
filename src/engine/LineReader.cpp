#include "engine/LineReader.h"

#include "common/Text.h"
#include "common/WholeFile.h"

bool TLineReader::open(const std::string& path) {
  std::string bytes;
  lines_.clear();
  next_ = 0;
  if (readwholefile(path, bytes) != 0) return false;
  lines_ = splitlines(bytes);
  return true;
}

std::string TLineReader::readln() {
  return eof() ? std::string() : std::move(lines_[next_++]);
}

TUserLine splituserline(const std::string& line) {
  size_t sep = line.find("@@");
  if (sep == std::string::npos) return {line, std::string()};
  return {line.substr(0, sep), line.substr(sep + 2)};
}
